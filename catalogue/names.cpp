#include "catalogue/names.h"

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"

namespace setup {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool sameTextIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

int findModel(const char* name) {
    for (int i = 0; i < ModelCatalogue::kCount; ++i) {
        if (sameTextIgnoringCase(name, ModelCatalogue::row(i).modelName)) return i;
    }
    return -1;
}

int findPort(const char* name) {
    for (int i = 0; i < SerialOptionTables::kPortCount; ++i) {
        const PortOption& port = SerialOptionTables::port(i);
        if (sameTextIgnoringCase(name, port.listText) || sameTextIgnoringCase(name, port.portName))
            return i;
    }
    return -1;
}

}  // namespace setup
