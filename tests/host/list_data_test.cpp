#include "framework/list_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace setup {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}

void record(Bytes& b, std::uint16_t id, const std::string& text, std::uint32_t length = 0) {
    put16(b, id);
    put16(b, kListDataAddString16);
    if (length == 0) length = static_cast<std::uint32_t>(text.size() + 1);
    put16(b, length & 0xFFFF);
    put16(b, length >> 16);
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
}

struct Visited {
    std::vector<std::string> entries;
    bool complete;
};

Visited parse(const Bytes& b) {
    Visited v;
    v.complete = forEachListDataRecord(b.data(), b.size(), [&](const ListDataRecord& r) {
        v.entries.push_back(std::to_string(r.controlId) + ":" + std::to_string(r.message) + ":" +
                            r.text);
    });
    return v;
}

TEST(ListData, RecordsInOrderUntilTheZeroId) {
    Bytes b;
    record(b, 1011, "QM-4712II   Series");
    record(b, 1014, "LPT1");
    put16(b, 0);
    b.resize(b.size() + 6, 0);  // padding after the terminator is ignored
    const Visited v = parse(b);
    EXPECT_TRUE(v.complete);
    EXPECT_EQ(v.entries,
              (std::vector<std::string>{"1011:1027:QM-4712II   Series", "1014:1027:LPT1"}));
}

TEST(ListData, MalformedDataStopsBeforeTheBadRecord) {
    struct Case {
        const char* what;
        Bytes data;
    };
    Bytes good;
    record(good, 1015, "9600");

    Bytes noTerminator = good;
    Bytes lengthPastEnd = good;
    record(lengthPastEnd, 1016, "8", 50);
    Bytes textNotTerminated = good;
    record(textNotTerminated, 1016, "8", 1);  // says one byte: the '8', no NUL
    put16(textNotTerminated, 0);
    Bytes zeroLength = good;
    record(zeroLength, 1016, "", 0);
    zeroLength[zeroLength.size() - 5] = 0;  // length field 0
    put16(zeroLength, 0);
    Bytes cutHeader = good;
    put16(cutHeader, 1016);
    put16(cutHeader, kListDataAddString16);

    const Case cases[] = {{"no terminator", noTerminator},
                          {"length past the end", lengthPastEnd},
                          {"text not terminated", textNotTerminated},
                          {"zero length", zeroLength},
                          {"header cut short", cutHeader}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Visited v = parse(c.data);
        EXPECT_FALSE(v.complete);
        EXPECT_EQ(v.entries, (std::vector<std::string>{"1015:1027:9600"}));
    }
    EXPECT_FALSE(parse(Bytes{}).complete);
    EXPECT_FALSE(parse(Bytes{0x00}).complete);
}

}  // namespace
}  // namespace setup
