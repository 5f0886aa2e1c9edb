#include "framework/string_table.h"

namespace setup {

bool findStringInBlock(const std::uint8_t* block, std::size_t size, unsigned index,
                       StringInBlock* found) {
    if (index >= kStringsPerBlock) return false;
    const std::size_t units = size / 2;  // an odd last byte belongs to no unit
    std::size_t at = 0;
    for (unsigned i = 0;; ++i) {
        if (at >= units) return false;
        const std::size_t length = static_cast<std::size_t>(block[2 * at] | block[2 * at + 1] << 8);
        if (length > units - at - 1) return false;
        if (i == index) {
            found->offset = at + 1;
            found->length = length;
            return true;
        }
        at += 1 + length;
    }
}

}  // namespace setup
