// Finding one string in a block of the string table resource (type 6).
// Strings are stored sixteen to a block: each is a 16-bit length and that
// many UTF-16 units, with no terminator; string id lies in block id / 16 + 1
// at index id % 16. Plain C++ over the block's bytes, so its edges are tested
// on the host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace setup {

constexpr unsigned kStringsPerBlock = 16;

// Where a string lies in its block, in 16-bit units from the block's start.
struct StringInBlock {
    std::size_t offset = 0;
    std::size_t length = 0;  // 0: the string is empty (not in the table)
};

// The string at `index` (0 to 15) of a block of `size` bytes. Returns false,
// and leaves *found alone, when the index is out of range or a length before
// the string, or the string itself, runs past the end of the block.
bool findStringInBlock(const std::uint8_t* block, std::size_t size, unsigned index,
                       StringInBlock* found);

}  // namespace setup
