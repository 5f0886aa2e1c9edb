// UTF-16 <-> UTF-8 without the system's help: Windows 95 converts neither
// way, and the tool's command line, log and pipes need both on every Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace setup {

// Converts `length` UTF-16 units; a lone surrogate becomes U+FFFD. Writes at
// most size - 1 bytes and a NUL, never splitting a character; returns the
// bytes written, or size when the text did not fit (what fitted is kept).
std::size_t utf16ToUtf8(const std::uint16_t* text, std::size_t length, char* out, std::size_t size);

// Converts NUL-terminated UTF-8; malformed bytes become U+FFFD. The same
// contract in UTF-16 units.
std::size_t utf8ToUtf16(const char* text, std::uint16_t* out, std::size_t size);

}  // namespace setup
