#include "common/utf8.h"

namespace setup {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

}  // namespace

std::size_t utf16ToUtf8(const std::uint16_t* text, std::size_t length, char* out,
                        std::size_t size) {
    if (size == 0) return 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        char bytes[4];
        std::size_t n = 0;
        if (c < 0x80) {
            bytes[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes[n++] = static_cast<char>(0xF0 | (c >> 18));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (used + n >= size) {
            out[used] = '\0';
            return size;
        }
        for (std::size_t k = 0; k < n; ++k) out[used++] = bytes[k];
    }
    out[used] = '\0';
    return used;
}

std::size_t utf8ToUtf16(const char* text, std::uint16_t* out, std::size_t size) {
    if (size == 0) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t used = 0;
    while (*p) {
        std::uint32_t c = *p++;
        int more = 0;
        std::uint32_t minimum = 0;
        if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            c &= 0x07;
            minimum = 0x10000;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            c &= 0x0F;
            minimum = 0x800;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            c &= 0x1F;
            minimum = 0x80;
        } else if (c >= 0x80) {
            c = kReplacement;
        }
        for (int k = 0; k < more; ++k) {
            if ((*p & 0xC0) != 0x80) {
                c = kReplacement;
                more = 0;
                minimum = 0;
                break;
            }
            c = (c << 6) | (*p++ & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
        const std::size_t n = c >= 0x10000 ? 2 : 1;
        if (used + n >= size) {
            out[used] = 0;
            return size;
        }
        if (n == 2) {
            c -= 0x10000;
            out[used++] = static_cast<std::uint16_t>(0xD800 + (c >> 10));
            out[used++] = static_cast<std::uint16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[used++] = static_cast<std::uint16_t>(c);
        }
    }
    out[used] = 0;
    return used;
}

}  // namespace setup
