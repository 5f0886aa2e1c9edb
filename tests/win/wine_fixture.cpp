#include "tests/win/wine_fixture.h"

namespace setup::winetest {

void MessageBoxGuardedTest::TearDown() {
    if (!watcher_ || boxesExpected_) return;
    for (const SeenMessageBox& box : watcher_->stop()) {
        ADD_FAILURE() << "unexpected message box \"" << narrow(box.caption)
                      << "\": " << narrow(box.text);
    }
}

std::vector<SeenMessageBox> MessageBoxGuardedTest::messageBoxesShown() {
    boxesExpected_ = true;
    return watcher_ ? watcher_->stop() : std::vector<SeenMessageBox>{};
}

}  // namespace setup::winetest
