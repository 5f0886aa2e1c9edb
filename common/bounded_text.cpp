#include "common/bounded_text.h"

#include <cstring>

namespace setup {

bool appendAllOrNone(char* data, std::size_t capacity, std::size_t& length,
                     std::initializer_list<const char*> parts) {
    std::size_t total = 0;
    for (const char* part : parts) {
        total += std::strlen(part);
        if (total >= capacity - length) return false;
    }
    for (const char* part : parts) {
        const std::size_t n = std::strlen(part);
        std::memcpy(data + length, part, n);
        length += n;
    }
    data[length] = '\0';
    return true;
}

}  // namespace setup
