// Fixed-capacity, always NUL-terminated text. Appending what does not fit
// leaves the text as it was and marks it as overflowed, so a caller can refuse
// to use a truncated path instead of silently writing somewhere else.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace setup {

template <std::size_t Capacity>
class BoundedText {
    static_assert(Capacity > 0, "room for the terminating NUL is needed");

public:
    BoundedText() = default;
    BoundedText(std::initializer_list<const char*> parts) { append(parts); }

    // Appends each part in turn; stops at the first that does not fit.
    bool append(std::initializer_list<const char*> parts) {
        for (const char* part : parts) {
            if (!append(part)) return false;
        }
        return true;
    }

    bool append(const char* part) {
        if (overflowed_) return false;
        const std::size_t n = std::strlen(part);
        if (n >= Capacity - length_) {
            overflowed_ = true;
            return false;
        }
        std::memcpy(data_ + length_, part, n);
        length_ += n;
        data_[length_] = '\0';
        return true;
    }

    bool ok() const { return !overflowed_; }
    const char* c_str() const { return data_; }
    std::size_t size() const { return length_; }
    static constexpr std::size_t capacity() { return Capacity; }

private:
    char data_[Capacity] = {};
    std::size_t length_ = 0;
    bool overflowed_ = false;
};

// The longest path the ANSI file functions accept, terminator included.
constexpr std::size_t kMaxPath = 260;
using PathText = BoundedText<kMaxPath>;

}  // namespace setup
