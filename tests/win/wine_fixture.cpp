#include "tests/win/wine_fixture.h"

namespace setup::winetest {

void MessageBoxGuardedTest::TearDown() {
    if (!watcher_) return;
    for (const SeenMessageBox& box : watcher_->stop()) {
        ADD_FAILURE() << "unexpected message box \"" << narrow(box.caption)
                      << "\": " << narrow(box.text);
    }
}

}  // namespace setup::winetest
