#include "catalogue/serial_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace setup {
namespace {

std::uint32_t read32(const std::uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

DcbBytes patternedTemplate() {
    DcbBytes t = {};
    for (std::size_t i = 0; i < kDcbSize; ++i) t.bytes[i] = static_cast<std::uint8_t>(0xC0 | i);
    return t;
}

TEST(SerialDcbRecord, BlankTemplateHoldsOnlyItsLength) {
    const DcbBytes blank = blankDcbTemplate();
    EXPECT_EQ(read32(blank.bytes), 28u);
    for (std::size_t i = 4; i < kDcbSize; ++i) EXPECT_EQ(blank.bytes[i], 0) << "offset " << i;
}

struct FlowCase {
    int flowIndex;
    std::uint8_t low, high;
};

class SerialDcbFlow : public ::testing::TestWithParam<FlowCase> {};

TEST_P(SerialDcbFlow, SetsFlagBytesAndKeepsEveryTemplateByteElse) {
    const DcbBytes t = patternedTemplate();
    const SerialDcbRecord record(t, 4, 3, GetParam().flowIndex);
    const std::uint8_t* b = record.data();
    EXPECT_EQ(b[8], GetParam().low);
    EXPECT_EQ(b[9], GetParam().high);
    EXPECT_EQ(read32(b + 4), 9600u);
    EXPECT_EQ(b[18], 8);
    EXPECT_EQ(b[19], 0) << "Parity";
    EXPECT_EQ(b[20], 0) << "StopBits";
    for (std::size_t i : {0, 1, 2, 3, 10, 11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 26, 27}) {
        EXPECT_EQ(b[i], t.bytes[i]) << "template byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(EachFlowRow, SerialDcbFlow,
                         ::testing::Values(FlowCase{0, 0x11, 0x00}, FlowCase{1, 0x11, 0x03},
                                           FlowCase{2, 0x15, 0x20}));

TEST(SerialDcbRecord, FastestBaudSmallestBytesXonXoff) {
    const SerialDcbRecord record(blankDcbTemplate(), 8, 0, 1);
    const std::uint8_t* b = record.data();
    EXPECT_EQ(read32(b + 4), 115200u);
    EXPECT_EQ(b[18], 5);
    EXPECT_EQ(b[8], 0x11);
    EXPECT_EQ(b[9], 0x03);
    EXPECT_EQ(b[19], 0);
    EXPECT_EQ(b[20], 0);
    EXPECT_EQ(read32(b), 28u);
}

TEST(SerialDcbRecord, EveryBaudAndDataBitsValue) {
    const std::uint32_t bauds[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(read32(SerialDcbRecord(blankDcbTemplate(), i, 0, 0).data() + 4), bauds[i]);
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(SerialDcbRecord(blankDcbTemplate(), 0, i, 0).data()[18], 5 + i);
    }
}

struct ModeCase {
    int baud, parity, dataBits, stopBits, flow;
    const char* expected;
};

class PortModeStrings : public ::testing::TestWithParam<ModeCase> {};

TEST_P(PortModeStrings, FiveFieldsInOrder) {
    const ModeCase& c = GetParam();
    const PortModeString mode(c.baud, c.parity, c.dataBits, c.stopBits, c.flow);
    EXPECT_STREQ(mode.c_str(), c.expected);
    EXPECT_EQ(mode.size(), std::strlen(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortModeStrings,
    ::testing::Values(ModeCase{4, 2, 3, 0, 2, "9600,N,8,1,p"},    // the page's defaults
                      ModeCase{4, 1, 3, 1, 2, "9600,M,8,1.5,p"},  // mark parity, 1.5 stop bits
                      ModeCase{4, 2, 3, 0, 0, "9600,N,8,1, "},    // no flow control: one blank
                      ModeCase{8, 4, 0, 2, 1, "115200,S,5,2,x"},  // the widest values
                      ModeCase{0, 0, 2, 1, 1, "300,E,7,1.5,x"}));

}  // namespace
}  // namespace setup
