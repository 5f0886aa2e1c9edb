// A line of UTF-16 text of fixed room, for what the programs write to a
// console, a log or the installation log; text that does not fit is cut.
#pragma once

#include <windows.h>

namespace setup {

// A line of UTF-16 text with room for a path and the system's error words.
class WideLine {
public:
    static constexpr int kCapacity = 2048;

    void append(const WCHAR* text, int length = -1);
    void appendUtf8(const char* text);
    void appendAnsi(const char* text);
    void appendNumber(DWORD value);
    const WCHAR* c_str() const { return text_; }
    int size() const { return length_; }

private:
    WCHAR text_[kCapacity] = {};
    int length_ = 0;
};

}  // namespace setup
