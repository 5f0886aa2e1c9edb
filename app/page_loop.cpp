#include "app/page_loop.h"

namespace setup {

void runWizard(WizardPages& pages) {
    int osResult = pages.showOsPage();
    while (osResult == kPageOk) {
        if (pages.showSettingsPage() != kPageCancel) return;  // done, quit or failed
        osResult = pages.showOsPage();                        // the user went back
    }
}

}  // namespace setup
