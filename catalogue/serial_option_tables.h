// The option lists of the settings page's port section, in list order.
// Each list position indexes its table directly.
#pragma once

namespace setup {

struct PortOption {
    const char* listText;  // "COM1"
    const char* portName;  // "COM1:", as the spooler names the port
};

struct LetterOption {
    const char* listText;    // "None"
    const char* modeLetter;  // letter used in the NT port mode string
};

class SerialOptionTables {
public:
    static constexpr int kPortCount = 7;
    static constexpr int kBaudCount = 9;
    static constexpr int kDataBitsCount = 4;
    static constexpr int kStopBitsCount = 3;
    static constexpr int kParityCount = 5;
    static constexpr int kFlowCount = 3;
    // Ports from this index on are serial ports (COM1 to COM4).
    static constexpr int kFirstSerialPort = 3;

    static bool isSerialPort(int portIndex) { return portIndex >= kFirstSerialPort; }

    // Every index must lie inside its table.
    static const PortOption& port(int index);
    static const char* baud(int index);
    static const char* dataBits(int index);
    static const char* stopBits(int index);
    static const LetterOption& parity(int index);
    static const LetterOption& flow(int index);
};

}  // namespace setup
