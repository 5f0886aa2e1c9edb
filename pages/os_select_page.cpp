#include "pages/os_select_page.h"

#include "install/os_class.h"
#include "install/os_version.h"
#include "resources/resource.h"

namespace setup {
namespace {

// The radio button of each OsClass, 1 to 7; class 0 ticks none.
constexpr int kOsButtons[] = {IDC_OS_WIN95, IDC_OS_WIN98, IDC_OS_NT4,  IDC_OS_WIN2000,
                              IDC_OS_XP,    IDC_OS_2003,  IDC_OS_VISTA};

}  // namespace

OsSelectPage::OsSelectPage() : ModalDialog(IDD_OS_PAGE, nullptr) {}

bool OsSelectPage::onInitDialog() {
    // Classified again on every showing. The ticks only show the result;
    // nothing the user ticks here is read.
    detectOsClass();
    const OsClass osClass = currentOsClass();
    if (osClass >= 1 && osClass <= 7) CheckDlgButton(hwnd(), kOsButtons[osClass - 1], BST_CHECKED);
    CheckDlgButton(hwnd(), IDC_LANG_CHINESE, BST_CHECKED);
    // Next is the first enabled tab stop; said explicitly because some
    // dialog managers put the focus on the checked radio button instead.
    SetFocus(item(IDC_NEXT));
    return false;
}

bool OsSelectPage::onCommand(int id, int /*code*/) {
    switch (id) {
        case IDC_NEXT:
            onOK();
            return true;
        case IDC_EXIT:
            onCancel();
            return true;
        case IDC_BACK:
            return true;  // the first page has nothing to go back to
        default:
            return false;
    }
}

}  // namespace setup
