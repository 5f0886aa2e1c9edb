#include "catalogue/serial_records.h"

#include "catalogue/serial_option_tables.h"

namespace setup {
namespace {

// Field offsets inside the DCB image.
constexpr std::size_t kDcbLengthOffset = 0;
constexpr std::size_t kBaudRateOffset = 4;
constexpr std::size_t kFlagsOffset = 8;
constexpr std::size_t kByteSizeOffset = 18;
constexpr std::size_t kParityOffset = 19;
constexpr std::size_t kStopBitsOffset = 20;

// The low two bytes of the flag word for each flow-control choice.
struct FlowFlags {
    std::uint8_t low;   // fBinary, fDtrControl = enable, fOutxCtsFlow for hardware
    std::uint8_t high;  // fOutX/fInX for XON/XOFF, fRtsControl = handshake for hardware
};
constexpr FlowFlags kNoFlowControl = {0x11, 0x00};
constexpr FlowFlags kXonXoff = {0x11, 0x03};
constexpr FlowFlags kHardware = {0x15, 0x20};

void putLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The option strings are our own decimal constants; leading digits are read
// as StrToIntA would read them.
std::uint32_t decimalValue(const char* text) {
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + (*text - '0');
    return value;
}

}  // namespace

DcbBytes blankDcbTemplate() {
    DcbBytes blank = {};
    putLittleEndian32(blank.bytes + kDcbLengthOffset, kDcbSize);
    return blank;
}

SerialDcbRecord::SerialDcbRecord(const DcbBytes& portTemplate, int baudIndex, int dataBitsIndex,
                                 int flowIndex)
    : image_(portTemplate) {
    putLittleEndian32(image_.bytes + kBaudRateOffset,
                      decimalValue(SerialOptionTables::baud(baudIndex)));
    const FlowFlags flags = flowIndex == 0 ? kNoFlowControl : flowIndex == 1 ? kXonXoff : kHardware;
    image_.bytes[kFlagsOffset] = flags.low;
    image_.bytes[kFlagsOffset + 1] = flags.high;
    image_.bytes[kByteSizeOffset] =
        static_cast<std::uint8_t>(decimalValue(SerialOptionTables::dataBits(dataBitsIndex)));
    // The 9x record always says no parity and one stop bit; the choices of
    // those two lists only reach the NT mode string.
    image_.bytes[kParityOffset] = 0;
    image_.bytes[kStopBitsOffset] = 0;
}

PortModeString::PortModeString(int baudIndex, int parityIndex, int dataBitsIndex, int stopBitsIndex,
                               int flowIndex) {
    using T = SerialOptionTables;
    text_.append({T::baud(baudIndex), ",", T::parity(parityIndex).modeLetter, ",",
                  T::dataBits(dataBitsIndex), ",", T::stopBits(stopBitsIndex), ",",
                  T::flow(flowIndex).modeLetter});
}

}  // namespace setup
