#include "app/page_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace setup {
namespace {

// Pages that end with scripted results and log which page was shown.
class ScriptedPages final : public WizardPages {
public:
    ScriptedPages(std::vector<int> osResults, std::vector<int> settingsResults)
        : osResults_(std::move(osResults)), settingsResults_(std::move(settingsResults)) {}

    int showOsPage() override { return next(osResults_, "os"); }
    int showSettingsPage() override { return next(settingsResults_, "settings"); }

    std::vector<std::string> shown;

private:
    int next(std::vector<int>& results, const char* page) {
        shown.push_back(page);
        if (results.empty()) {
            ADD_FAILURE() << "the " << page << " page was shown once too often";
            return -1;
        }
        const int result = results.front();
        results.erase(results.begin());
        return result;
    }
    std::vector<int> osResults_;
    std::vector<int> settingsResults_;
};

struct LoopCase {
    const char* name;
    std::vector<int> osResults;
    std::vector<int> settingsResults;
    std::vector<std::string> shown;
};

class PageLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(PageLoop, ShowsPagesInOrder) {
    const LoopCase& c = GetParam();
    ScriptedPages pages(c.osResults, c.settingsResults);
    runWizard(pages);
    EXPECT_EQ(pages.shown, c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Results, PageLoop,
    ::testing::Values(
        LoopCase{"NextFinish", {1}, {1}, {"os", "settings"}},
        LoopCase{"NextBackNextFinish", {1, 1}, {2, 1}, {"os", "settings", "os", "settings"}},
        LoopCase{"ExitOnFirstPage", {2}, {}, {"os"}},
        LoopCase{"BackThenExitOnFirstPage", {1, 2}, {2}, {"os", "settings", "os"}},
        LoopCase{"FirstPageCannotBeCreated", {-1}, {}, {"os"}},
        LoopCase{"SettingsPageCannotBeCreated", {1}, {-1}, {"os", "settings"}},
        LoopCase{"UnexpectedResultOnFirstPage", {0}, {}, {"os"}},
        LoopCase{"UnexpectedResultOnSettingsPage", {1}, {7}, {"os", "settings"}}),
    [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace setup
