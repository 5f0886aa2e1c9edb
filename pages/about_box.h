// The About box, opened from the settings page's system menu.
#pragma once

#include "framework/modal_dialog.h"

namespace setup {

class AboutBox : public ModalDialog {
public:
    explicit AboutBox(HWND owner);
};

}  // namespace setup
