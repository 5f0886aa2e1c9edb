// The two forms serial settings are recorded in: the 28-byte DCB image the
// Windows 9x port driver reads from the registry, and the NT port mode string.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bounded_text.h"

namespace setup {

constexpr std::size_t kDcbSize = 28;  // sizeof(DCB), the same on every Windows

struct DcbBytes {
    std::uint8_t bytes[kDcbSize];
};

// The template used when the state of the first serial port cannot be read:
// all zero except DCBlength.
DcbBytes blankDcbTemplate();

// A DCB image: baud rate, data bits and the flow-control flag bytes set from
// the choices; Parity and StopBits zero; everything else kept from the
// template (the current state of COM1).
class SerialDcbRecord {
public:
    SerialDcbRecord(const DcbBytes& portTemplate, int baudIndex, int dataBitsIndex, int flowIndex);

    const std::uint8_t* data() const { return image_.bytes; }
    static constexpr std::size_t size() { return kDcbSize; }

private:
    DcbBytes image_;
};

// "baud,parity,data bits,stop bits,flow", e.g. "9600,N,8,1,p".
class PortModeString {
public:
    PortModeString(int baudIndex, int parityIndex, int dataBitsIndex, int stopBitsIndex,
                   int flowIndex);

    const char* c_str() const { return text_.c_str(); }
    std::size_t size() const { return text_.size(); }

private:
    BoundedText<32> text_;
};

}  // namespace setup
