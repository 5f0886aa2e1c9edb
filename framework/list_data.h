// Reading a dialog's list data resource (type 240): records of a 16-bit
// control id, a 16-bit message, a 32-bit length counting the terminating NUL
// and the 8-bit text, ended by a zero control id.
#pragma once

#include <cstddef>
#include <cstdint>

namespace setup {

// The messages are stored with their 16-bit Windows numbers.
constexpr std::uint16_t kListDataAddString16 = 0x0403;  // CB_ADDSTRING of 16-bit Windows
constexpr std::uint16_t kListBoxAddString16 = 0x0401;   // LB_ADDSTRING of 16-bit Windows

struct ListDataRecord {
    std::uint16_t controlId;
    std::uint16_t message;
    const char* text;  // NUL-terminated within the resource
};

// Calls visit(record) for each record in order. Returns false, having
// visited only the complete records before it, when a record runs past the
// end of the data or its text is not terminated where its length says.
template <typename Visit>
bool forEachListDataRecord(const std::uint8_t* data, std::size_t size, Visit&& visit) {
    std::size_t at = 0;
    const auto read16 = [&](std::size_t offset) {
        return static_cast<std::uint16_t>(data[offset] | data[offset + 1] << 8);
    };
    for (;;) {
        if (size - at < 2) return false;
        const std::uint16_t controlId = read16(at);
        if (controlId == 0) return true;
        if (size - at < 8) return false;
        const std::uint16_t message = read16(at + 2);
        const std::uint32_t length = static_cast<std::uint32_t>(read16(at + 4)) |
                                     static_cast<std::uint32_t>(read16(at + 6)) << 16;
        at += 8;
        if (length == 0 || length > size - at || data[at + length - 1] != 0) return false;
        visit(ListDataRecord{controlId, message, reinterpret_cast<const char*>(data + at)});
        at += length;
    }
}

}  // namespace setup
