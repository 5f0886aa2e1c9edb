#include "install/os_class.h"

#include <gtest/gtest.h>

#include <vector>

namespace setup {
namespace {

struct VersionCase {
    const char* name;
    OsVersion version;
    OsClass expected;  // starting from 0, as a fresh process does
};

class Classification : public ::testing::TestWithParam<VersionCase> {};

TEST_P(Classification, FromAFreshProcess) {
    EXPECT_EQ(classifyOs(GetParam().version, 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, Classification,
    ::testing::Values(VersionCase{"Win95", {1, 4, 0}, 1}, VersionCase{"Win98", {1, 4, 10}, 2},
                      VersionCase{"WinMe", {1, 4, 90}, 2}, VersionCase{"Win9xMinor1", {1, 4, 1}, 0},
                      VersionCase{"Win9xMajor5", {1, 5, 0}, 0}, VersionCase{"Nt351", {2, 3, 51}, 3},
                      VersionCase{"Nt40", {2, 4, 0}, 3}, VersionCase{"Win2000", {2, 5, 0}, 4},
                      VersionCase{"WinXp", {2, 5, 1}, 5}, VersionCase{"Win2003", {2, 5, 2}, 6},
                      VersionCase{"Nt53", {2, 5, 3}, 0}, VersionCase{"Vista", {2, 6, 0}, 7},
                      VersionCase{"Win7", {2, 6, 1}, 0}, VersionCase{"Win10", {2, 10, 0}, 0},
                      VersionCase{"Win32s", {0, 3, 10}, 4},
                      VersionCase{"OtherPlatform", {3, 0, 0}, 4}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(Classification, UnknownVersionKeepsTheEarlierValue) {
    EXPECT_EQ(classifyOs({2, 6, 1}, 5), 5);
    EXPECT_EQ(classifyOs({1, 4, 1}, 2), 2);
    EXPECT_EQ(classifyOs({2, 5, 7}, 7), 7);
}

// A scripted GetVersionExA: which record sizes it is asked with, and which
// calls succeed.
struct ScriptedQuery {
    static std::vector<std::uint32_t> sizesAsked;
    static bool extendedWorks;
    static bool plainWorks;
    static OsVersion version;

    static bool query(std::uint32_t size, OsVersion* out) {
        sizesAsked.push_back(size);
        const bool ok = size == kVersionInfoExSize ? extendedWorks : plainWorks;
        if (ok) *out = version;
        return ok;
    }
    static void reset(bool extended, bool plain, OsVersion v) {
        sizesAsked.clear();
        extendedWorks = extended;
        plainWorks = plain;
        version = v;
    }
};
std::vector<std::uint32_t> ScriptedQuery::sizesAsked;
bool ScriptedQuery::extendedWorks;
bool ScriptedQuery::plainWorks;
OsVersion ScriptedQuery::version;

TEST(DetectOsClass, AsksForTheExtendedRecordFirst) {
    ScriptedQuery::reset(true, true, {2, 5, 1});
    OsClass variable = 0;
    detectOsClass(&ScriptedQuery::query, variable);
    EXPECT_EQ(variable, 5);
    EXPECT_EQ(ScriptedQuery::sizesAsked, (std::vector<std::uint32_t>{156}));
}

TEST(DetectOsClass, FallsBackToThePlainRecord) {
    ScriptedQuery::reset(false, true, {1, 4, 0});
    OsClass variable = 0;
    detectOsClass(&ScriptedQuery::query, variable);
    EXPECT_EQ(variable, 1);
    EXPECT_EQ(ScriptedQuery::sizesAsked, (std::vector<std::uint32_t>{156, 148}));
}

TEST(DetectOsClass, BothCallsFailingLeavesTheValue) {
    ScriptedQuery::reset(false, false, {2, 5, 1});
    OsClass variable = 6;
    detectOsClass(&ScriptedQuery::query, variable);
    EXPECT_EQ(variable, 6);
}

TEST(DetectOsClass, ReclassifiesOnEveryCall) {
    OsClass variable = 0;
    ScriptedQuery::reset(true, true, {2, 5, 0});
    detectOsClass(&ScriptedQuery::query, variable);
    EXPECT_EQ(variable, 4);
    ScriptedQuery::reset(true, true, {2, 6, 1});  // unknown now: keeps 4
    detectOsClass(&ScriptedQuery::query, variable);
    EXPECT_EQ(variable, 4);
}

TEST(InstallFamily, ByOsClass) {
    const InstallFamily expected[] = {
        InstallFamily::None, InstallFamily::Win9x, InstallFamily::Win9x, InstallFamily::Nt,
        InstallFamily::Nt,   InstallFamily::Nt,    InstallFamily::Nt,    InstallFamily::Nt};
    for (OsClass c = 0; c <= 7; ++c) EXPECT_EQ(installFamilyFor(c), expected[c]) << c;
    EXPECT_EQ(installFamilyFor(8), InstallFamily::None);
    EXPECT_EQ(installFamilyFor(-1), InstallFamily::None);
}

}  // namespace
}  // namespace setup
