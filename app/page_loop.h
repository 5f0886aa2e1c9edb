// The wizard's page loop: the operating-system page, then the settings page,
// back and forth until a page ends the program.
#pragma once

#include "framework/page_result.h"

namespace setup {

// A page result other than kPageOk or kPageCancel ends the loop.

class WizardPages {
public:
    // Shows the operating-system page (the same page object every time).
    virtual int showOsPage() = 0;
    // Shows a settings page made afresh for this showing.
    virtual int showSettingsPage() = 0;

protected:
    ~WizardPages() = default;
};

void runWizard(WizardPages& pages);

}  // namespace setup
