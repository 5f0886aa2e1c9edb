#include "catalogue/serial_option_tables.h"

namespace setup {
namespace {

constexpr PortOption kPorts[SerialOptionTables::kPortCount] = {
    {"LPT1", "LPT1:"}, {"LPT2", "LPT2:"}, {"LPT3", "LPT3:"}, {"COM1", "COM1:"},
    {"COM2", "COM2:"}, {"COM3", "COM3:"}, {"COM4", "COM4:"},
};
constexpr const char* kBauds[SerialOptionTables::kBaudCount] = {
    "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200",
};
constexpr const char* kDataBits[SerialOptionTables::kDataBitsCount] = {"5", "6", "7", "8"};
constexpr const char* kStopBits[SerialOptionTables::kStopBitsCount] = {"1", "1.5", "2"};
constexpr LetterOption kParities[SerialOptionTables::kParityCount] = {
    {"Even", "E"}, {"Mark", "M"}, {"None", "N"}, {"Odd", "O"}, {"Space", "S"},
};
constexpr LetterOption kFlows[SerialOptionTables::kFlowCount] = {
    {"None", " "},
    {"XonXoff", "x"},
    {"Hardware", "p"},
};

}  // namespace

const PortOption& SerialOptionTables::port(int index) {
    return kPorts[index];
}
const char* SerialOptionTables::baud(int index) {
    return kBauds[index];
}
const char* SerialOptionTables::dataBits(int index) {
    return kDataBits[index];
}
const char* SerialOptionTables::stopBits(int index) {
    return kStopBits[index];
}
const LetterOption& SerialOptionTables::parity(int index) {
    return kParities[index];
}
const LetterOption& SerialOptionTables::flow(int index) {
    return kFlows[index];
}

}  // namespace setup
