#include "common/wide_line.h"

#include "common/utf8.h"

namespace setup {

void WideLine::append(const WCHAR* text, int length) {
    if (!text) return;
    for (int i = 0; (length < 0 ? text[i] != 0 : i < length); ++i) {
        if (length_ + 1 >= kCapacity) break;
        text_[length_++] = text[i];
    }
    text_[length_] = 0;
}

void WideLine::appendUtf8(const char* text) {
    WCHAR wide[kCapacity];
    const std::size_t n =
        utf8ToUtf16(text ? text : "", reinterpret_cast<std::uint16_t*>(wide), kCapacity);
    append(wide, static_cast<int>(n < static_cast<std::size_t>(kCapacity) ? n : kCapacity - 1));
}

void WideLine::appendAnsi(const char* text) {
    WCHAR wide[kCapacity];
    const int n = MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, wide, kCapacity);
    if (n > 1) append(wide, n - 1);
}

void WideLine::appendNumber(DWORD value) {
    WCHAR digits[12];
    int n = 0;
    do {
        digits[11 - n++] = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    append(digits + 12 - n, n);
}

}  // namespace setup
