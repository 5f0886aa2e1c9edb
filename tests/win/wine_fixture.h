// The GoogleTest side of the engine tests under Wine; the helpers they share
// with the other programs run under Wine are in tests/support/wine_support.h.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/wine_support.h"

namespace setup::winetest {

// Watches for message boxes from SetUp on, so that a box nobody expected
// fails the test (in TearDown) instead of holding it up for good.
class MessageBoxGuardedTest : public ::testing::Test {
protected:
    void SetUp() override { watcher_.emplace(); }
    void TearDown() override;

private:
    std::optional<MessageBoxWatcher> watcher_;
};

}  // namespace setup::winetest
