// The second page: the printer model and whether it becomes the default
// printer; the port section is laid out but hidden, so the port stays LPT1.
// Finish installs for the detected Windows and ends the program; Back
// returns to the first page.
#pragma once

#include "framework/modal_dialog.h"
#include "install/install_selection.h"

namespace setup {

class PrinterSettingsPage : public ModalDialog {
public:
    PrinterSettingsPage();

protected:
    bool onInitDialog() override;
    void onOK() override;
    void onCancel() override;
    bool onCommand(int id, int code) override;
    bool onSysCommand(WPARAM command, LPARAM position) override;
    bool onPaint() override;
    HICON onQueryDragIcon() override { return icon_; }

private:
    void addAboutToSystemMenu();
    void enableSerialLists(bool enable);
    InstallSelection selection() const;
    void finish();

    HICON icon_;  // a shared resource icon: not destroyed
    HWND model_ = nullptr;
    HWND port_ = nullptr;
    HWND baud_ = nullptr;
    HWND dataBits_ = nullptr;
    HWND flow_ = nullptr;
    HWND parity_ = nullptr;
    HWND stopBits_ = nullptr;
};

}  // namespace setup
