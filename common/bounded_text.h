// Fixed-capacity, always NUL-terminated text. Appending what does not fit
// leaves the text as it was and marks it as overflowed, so a caller can refuse
// to use a truncated path instead of silently writing somewhere else.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace setup {

// BoundedText's append, shared by every capacity: appends the parts to the
// NUL-terminated text of `length` in `data` (of `capacity` bytes) and returns
// true, or returns false and leaves text and length as they were when the
// parts do not fit together.
bool appendAllOrNone(char* data, std::size_t capacity, std::size_t& length,
                     std::initializer_list<const char*> parts);

template <std::size_t Capacity>
class BoundedText {
    static_assert(Capacity > 0, "room for the terminating NUL is needed");

public:
    BoundedText() = default;
    BoundedText(std::initializer_list<const char*> parts) { append(parts); }

    // Appends all the parts, or, when together they do not fit, none of them.
    bool append(std::initializer_list<const char*> parts) {
        if (!overflowed_ && !appendAllOrNone(data_, Capacity, length_, parts)) overflowed_ = true;
        return !overflowed_;
    }

    bool append(const char* part) { return append({part}); }

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
