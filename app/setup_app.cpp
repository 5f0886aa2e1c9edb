#include "app/setup_app.h"

#include "app/page_loop.h"
#include "common/system_library.h"
#include "pages/os_select_page.h"
#include "pages/printer_settings_page.h"

namespace setup {
namespace {

// The first page is one object for the whole loop; each settings page is
// made afresh so every showing starts from its defaults.
class Pages final : public WizardPages {
public:
    int showOsPage() override { return static_cast<int>(osPage_.runModal()); }
    int showSettingsPage() override {
        PrinterSettingsPage page;
        return static_cast<int>(page.runModal());
    }

private:
    OsSelectPage osPage_;
};

}  // namespace

bool SetupApp::InitInstance() {
    // The first page's divider is a trackbar: its class must be registered,
    // and the library stays loaded while the pages are shown.
    const SystemLibrary commonControls("comctl32.dll");
    using InitCommonControlsFn = void(WINAPI*)();
    if (const auto init = commonControls.function<InitCommonControlsFn>("InitCommonControls")) {
        init();
    }
    Pages pages;
    runWizard(pages);
    return false;
}

}  // namespace setup
