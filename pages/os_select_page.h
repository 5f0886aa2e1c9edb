// The first page: shows which Windows the program detected and that the
// installation is in Chinese; Next goes on, Exit quits.
#pragma once

#include "framework/modal_dialog.h"

namespace setup {

class OsSelectPage : public ModalDialog {
public:
    OsSelectPage();

protected:
    bool onInitDialog() override;
    bool onCommand(int id, int code) override;
};

}  // namespace setup
