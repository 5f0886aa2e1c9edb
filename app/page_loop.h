// The wizard's page loop: the operating-system page, then the settings page,
// back and forth until a page ends the program.
#pragma once

namespace setup {

// Page results: 1 is OK (forward or done), 2 is Cancel (back or quit); any
// other value, such as -1 for a page that could not be created, ends the loop.
constexpr int kPageOk = 1;
constexpr int kPageCancel = 2;

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
