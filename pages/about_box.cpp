#include "pages/about_box.h"

#include "resources/resource.h"

namespace setup {

AboutBox::AboutBox(HWND owner) : ModalDialog(IDD_ABOUT, owner) {}

}  // namespace setup
