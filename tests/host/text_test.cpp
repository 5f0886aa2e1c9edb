// Text handling below the pages: finding a string in a string table block,
// and bounded text that never keeps half an append.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/bounded_text.h"
#include "framework/string_table.h"

namespace setup {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A block of counted UTF-16 strings (ASCII here), as the resource compiler
// writes it.
Bytes blockOf(const std::vector<std::string>& strings) {
    Bytes b;
    const auto put16 = [&](unsigned v) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    for (const std::string& s : strings) {
        put16(static_cast<unsigned>(s.size()));
        for (char c : s) put16(static_cast<unsigned char>(c));
    }
    return b;
}

// The string found, "<missing>" when the walk refuses.
std::string find(const Bytes& block, std::size_t size, unsigned index) {
    StringInBlock at;
    if (!findStringInBlock(block.data(), size, index, &at)) return "<missing>";
    std::string s;
    for (std::size_t i = 0; i < at.length; ++i) s += static_cast<char>(block[2 * (at.offset + i)]);
    return s;
}

TEST(StringTable, FindsEachStringAndRefusesWhatRunsPastTheBlock) {
    const Bytes full =
        blockOf({"", "About", "", "", "", "", "", "", "", "", "", "", "", "", "", "last"});
    const Bytes twoStrings = blockOf({"", "About"});
    const struct {
        const char* name;
        const Bytes& block;
        std::size_t size;
        unsigned index;
        const char* expected;
    } cases[] = {
        {"empty first string", full, full.size(), 0, ""},
        {"second string", full, full.size(), 1, "About"},
        {"last of sixteen, ending the block", full, full.size(), 15, "last"},
        {"no seventeenth string", full, full.size(), 16, "<missing>"},
        {"block ends before the index", twoStrings, twoStrings.size(), 2, "<missing>"},
        {"string cut by the block's end", twoStrings, twoStrings.size() - 2, 1, "<missing>"},
        {"odd last byte is no unit", twoStrings, twoStrings.size() + 1 - 2, 1, "<missing>"},
        {"length cut in half", twoStrings, 3, 1, "<missing>"},
        {"empty block", twoStrings, 0, 0, "<missing>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes padded = c.block;
        padded.resize(c.block.size() + 2, 0);  // what lies beyond `size` is never read
        EXPECT_EQ(find(padded, c.size, c.index), c.expected);
    }

    // A length before the string that points past the end stops the walk.
    Bytes corrupt = blockOf({"", "About", "x"});
    corrupt[2] = 0xFF;
    EXPECT_EQ(find(corrupt, corrupt.size(), 2), "<missing>");
}

TEST(BoundedText, AnAppendThatDoesNotFitLeavesTheTextAsItWas) {
    BoundedText<12> text{"C:\\", "win2k"};
    ASSERT_TRUE(text.ok());
    EXPECT_FALSE(text.append({"\\", "QM47.DLL"})) << "12 characters do not fit in 12 bytes";
    EXPECT_STREQ(text.c_str(), "C:\\win2k");
    EXPECT_EQ(text.size(), 8u);
    EXPECT_FALSE(text.ok());
    EXPECT_FALSE(text.append("x")) << "an overflowed text stays refused";
    EXPECT_STREQ(text.c_str(), "C:\\win2k");

    BoundedText<12> exact{"C:\\win2k", "\\ab"};
    EXPECT_TRUE(exact.ok()) << "11 characters and the NUL fill it exactly";
    EXPECT_STREQ(exact.c_str(), "C:\\win2k\\ab");
}

}  // namespace
}  // namespace setup
