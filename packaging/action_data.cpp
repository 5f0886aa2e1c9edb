#include "packaging/action_data.h"

#include <cstring>

#include "catalogue/model_catalogue.h"
#include "catalogue/names.h"
#include "catalogue/serial_option_tables.h"

namespace setup {
namespace {

constexpr const char* kNames[kActionPropertyCount] = {
    "MODEL",
    "PORT",
    "DEFAULT",
    "REMEMBEREDMODEL",
    "REMEMBEREDPORT",
    "REMEMBEREDDEFAULT",
    "TolmarPackageModel",
};
constexpr char kInstall[] = "install";
constexpr char kRemove[] = "remove";
constexpr int kFields = 5;

// Appends text whole, or nothing.
bool append(char* out, std::size_t size, std::size_t& used, const char* text, std::size_t n) {
    if (n >= size - used) return false;
    std::memcpy(out + used, text, n);
    used += n;
    out[used] = '\0';
    return true;
}
bool append(char* out, std::size_t size, std::size_t& used, const char* text) {
    return append(out, size, used, text, std::strlen(text));
}

}  // namespace

const char* propertyName(ActionProperty property) {
    return kNames[static_cast<int>(property)];
}

const char* checkProperty(ActionProperty property, const char* value, ActionRequest& request) {
    if (std::strlen(value) > kMaxPropertyValue) return "is too long";
    if (*value == '\0') return nullptr;
    switch (property) {
        case ActionProperty::Model:
        case ActionProperty::RememberedModel:
        case ActionProperty::PackageModel:
            request.modelIndex = findModel(value);
            if (request.modelIndex < 0) {
                return "is not a printer model of this package (TolmarDeploy help lists them)";
            }
            break;
        case ActionProperty::Port:
        case ActionProperty::RememberedPort:
            request.portIndex = findPort(value);
            if (request.portIndex < 0) return "is not one of LPT1 to LPT3 and COM1 to COM4";
            break;
        case ActionProperty::Default:
        case ActionProperty::RememberedDefault:
            if (std::strcmp(value, "0") != 0 && std::strcmp(value, "1") != 0) {
                return "must be 1, 0 or empty";
            }
            request.setAsDefault = value[0] == '1';
            break;
    }
    return nullptr;
}

void describeValue(const char* value, char* out, std::size_t size) {
    static const char kHex[] = "0123456789ABCDEF";
    constexpr char kCut[] = "...";
    if (size == 0) return;
    std::size_t used = 0;
    out[0] = '\0';
    for (const char* c = value; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        char piece[5] = {static_cast<char>(byte), '\0'};
        if (byte < 0x20 || byte >= 0x7F) {
            piece[0] = '\\';
            piece[1] = 'x';
            piece[2] = kHex[byte >> 4];
            piece[3] = kHex[byte & 15];
            piece[4] = '\0';
        }
        // Room is kept for the mark that says the value goes on.
        const std::size_t n = std::strlen(piece);
        if (used + n + sizeof kCut > size) {
            if (used + sizeof kCut <= size) append(out, size, used, kCut);
            return;
        }
        append(out, size, used, piece, n);
    }
}

ActionRequest settingsToRun(const ActionRequest& given, const ActionRequest& remembered,
                            bool maintenance, bool administrator, bool& kept) {
    kept = false;
    if (!maintenance || administrator) return given;
    kept = given.portIndex != remembered.portIndex || given.setAsDefault != remembered.setAsDefault;
    ActionRequest settings = remembered;
    settings.modelIndex = given.modelIndex;
    return settings;
}

bool isPackageTool(const char* toolPath, const char* programFiles) {
    static const char kRest[] = "\\Tolmar Printer Driver\\TolmarDeploy.exe";
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    std::size_t folder = std::strlen(programFiles);
    while (folder > 0 && programFiles[folder - 1] == '\\') --folder;
    if (folder == 0 || std::strlen(toolPath) != folder + sizeof kRest - 1) return false;
    for (std::size_t i = 0; toolPath[i] != '\0'; ++i) {
        const char expected = i < folder ? programFiles[i] : kRest[i - folder];
        if (lower(toolPath[i]) != lower(expected)) return false;
    }
    return true;
}

bool encodeActionData(ActionCommand command, const ActionRequest& request, const char* toolPath,
                      char* out, std::size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    if (!ModelCatalogue::contains(request.modelIndex) || request.portIndex < 0 ||
        request.portIndex >= SerialOptionTables::kPortCount || *toolPath == '\0') {
        return false;
    }
    std::size_t used = 0;
    const char* fields[kFields] = {
        command == ActionCommand::Install ? kInstall : kRemove,
        ModelCatalogue::row(request.modelIndex).modelName,
        SerialOptionTables::port(request.portIndex).listText,
        request.setAsDefault ? "1" : "0",
        toolPath,
    };
    for (int i = 0; i < kFields; ++i) {
        if ((i > 0 && !append(out, size, used, "\t")) || !append(out, size, used, fields[i])) {
            out[0] = '\0';
            return false;
        }
    }
    return true;
}

bool decodeActionData(char* data, DecodedActionData& decoded) {
    const char* fields[kFields] = {};
    char* start = data;
    // The path is the last field and taken whole, whatever it holds.
    for (int i = 0; i < kFields - 1; ++i) {
        char* tab = std::strchr(start, '\t');
        if (!tab) return false;
        *tab = '\0';
        fields[i] = start;
        start = tab + 1;
    }
    fields[kFields - 1] = start;
    DecodedActionData read;
    if (std::strcmp(fields[0], kInstall) == 0) {
        read.command = ActionCommand::Install;
    } else if (std::strcmp(fields[0], kRemove) == 0) {
        read.command = ActionCommand::Remove;
    } else {
        return false;
    }
    if (*fields[1] == '\0' || *fields[2] == '\0' || *fields[3] == '\0' || *fields[4] == '\0' ||
        checkProperty(ActionProperty::Model, fields[1], read.request) ||
        checkProperty(ActionProperty::Port, fields[2], read.request) ||
        checkProperty(ActionProperty::Default, fields[3], read.request)) {
        return false;
    }
    read.toolPath = fields[4];
    decoded = read;
    return true;
}

int installArguments(const DecodedActionData& data, const char* out[kMaxToolArguments]) {
    int n = 0;
    out[n++] = data.toolPath;
    out[n++] = kInstall;
    out[n++] = "--model";
    out[n++] = ModelCatalogue::row(data.request.modelIndex).modelName;
    out[n++] = "--port";
    out[n++] = SerialOptionTables::port(data.request.portIndex).listText;
    if (data.request.setAsDefault) out[n++] = "--default";
    return n;
}

int removeArguments(const DecodedActionData& data, const char* out[kMaxToolArguments]) {
    int n = 0;
    out[n++] = data.toolPath;
    out[n++] = kRemove;
    out[n++] = "--model";
    out[n++] = ModelCatalogue::row(data.request.modelIndex).modelName;
    return n;
}

bool appendArgument(char* line, std::size_t size, const char* argument) {
    std::size_t used = std::strlen(line);
    const std::size_t before = used;
    auto put = [&](char c, std::size_t count) {
        for (; count > 0; --count) {
            if (!append(line, size, used, &c, 1)) return false;
        }
        return true;
    };
    bool fits = used == 0 || put(' ', 1);
    if (*argument != '\0' && std::strpbrk(argument, " \t\"") == nullptr) {
        fits = fits && append(line, size, used, argument);
    } else {
        // Backslashes double only before a quote, the closing one included.
        fits = fits && put('"', 1);
        std::size_t backslashes = 0;
        for (const char* c = argument; fits && *c != '\0'; ++c) {
            if (*c == '\\') {
                ++backslashes;
                continue;
            }
            fits = put('\\', *c == '"' ? backslashes * 2 + 1 : backslashes) && put(*c, 1);
            backslashes = 0;
        }
        fits = fits && put('\\', backslashes * 2) && put('"', 1);
    }
    if (!fits) line[before] = '\0';
    return fits;
}

}  // namespace setup
