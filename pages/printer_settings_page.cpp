#include "pages/printer_settings_page.h"

#include "catalogue/model_catalogue.h"
#include "common/message_box.h"
#include "framework/application.h"
#include "install/install_message.h"
#include "install/nt_installer.h"
#include "install/os_class.h"
#include "install/os_version.h"
#include "install/win32_system.h"
#include "install/win9x_installer.h"
#include "pages/about_box.h"
#include "resources/resource.h"

namespace setup {
namespace {

int selectedIndex(HWND list) {
    return static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
}

void select(HWND list, int index) {
    SendMessageA(list, CB_SETCURSEL, index, 0);
}

// Bounded UTF-16 text for the final message: what does not fit is left out.
class WideText {
public:
    WideText() { text_[0] = L'\0'; }
    // A string of the program's string table.
    void appendString(UINT id) {
        length_ += loadWideString(id, text_ + length_, kCapacity - length_);
    }
    // Names of files and keys, in the system's code page like every path
    // the installers use.
    void appendNarrow(const char* text) {
        const int n =
            MultiByteToWideChar(CP_ACP, 0, text, -1, text_ + length_, kCapacity - length_);
        if (n > 0) length_ += n - 1;
        text_[length_] = L'\0';
    }
    void appendNewLine() {
        if (length_ + 1 < kCapacity) text_[length_++] = L'\n';
        text_[length_] = L'\0';
    }
    const WCHAR* c_str() const { return text_; }

private:
    static constexpr int kCapacity = kMaxMessageChars + 1;
    WCHAR text_[kCapacity];
    int length_ = 0;
};

void showInstallMessage(HWND owner, const InstallMessage& message) {
    WideText text;
    text.appendString(IDS_INSTALL_INCOMPLETE);
    text.appendNewLine();
    for (int i = 0; i < message.lineCount(); ++i) {
        const InstallMessage::Line& line = message.line(i);
        text.appendNewLine();
        text.appendString(line.stringId);
        text.appendNarrow(line.names.c_str());
    }
    text.appendNewLine();
    for (int i = 0; i < message.adviceCount(); ++i) {
        text.appendNewLine();
        text.appendString(message.advice(i));
    }
    showExclamation(owner, text.c_str());
}

}  // namespace

PrinterSettingsPage::PrinterSettingsPage()
    : ModalDialog(IDD_SETTINGS_PAGE, nullptr),
      icon_(LoadIconA(applicationInstance(), MAKEINTRESOURCEA(IDR_APP_ICON))) {}

bool PrinterSettingsPage::onInitDialog() {
    // The lists are already filled from the dialog's list data.
    model_ = item(IDC_MODEL);
    port_ = item(IDC_PORT);
    baud_ = item(IDC_BAUD);
    dataBits_ = item(IDC_DATA_BITS);
    flow_ = item(IDC_FLOW);
    parity_ = item(IDC_PARITY);
    stopBits_ = item(IDC_STOP_BITS);

    addAboutToSystemMenu();
    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    const InstallSelection defaults;
    select(model_, defaults.modelIndex);
    CheckDlgButton(hwnd(), IDC_SET_DEFAULT, defaults.setAsDefault ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(hwnd(), IDC_PRINTER_NAME, ModelCatalogue::row(defaults.modelIndex).displayName);
    select(port_, defaults.portIndex);
    select(baud_, defaults.baudIndex);
    select(dataBits_, defaults.dataBitsIndex);
    select(stopBits_, defaults.stopBitsIndex);
    select(parity_, defaults.parityIndex);
    select(flow_, defaults.flowIndex);
    enableSerialLists(false);
    return true;
}

void PrinterSettingsPage::addAboutToSystemMenu() {
    if (const HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
        appendMenuEntry(menu, IDM_ABOUT, IDS_ABOUT_MENU);
    }
}

void PrinterSettingsPage::enableSerialLists(bool enable) {
    for (HWND list : {baud_, dataBits_, stopBits_, parity_, flow_}) EnableWindow(list, enable);
}

// Enter, Escape and the close box end the program without installing.
void PrinterSettingsPage::onOK() {
    end(kPageOk);
}
void PrinterSettingsPage::onCancel() {
    end(kPageOk);
}

bool PrinterSettingsPage::onCommand(int id, int code) {
    switch (id) {
        case IDC_MODEL:
            if (code == CBN_SELCHANGE) {
                const int row = selectedIndex(model_);
                if (ModelCatalogue::contains(row)) {
                    SetDlgItemTextA(hwnd(), IDC_PRINTER_NAME, ModelCatalogue::row(row).displayName);
                }
            }
            return true;
        case IDC_PORT:
            if (code == CBN_SELCHANGE) {
                enableSerialLists(SerialOptionTables::isSerialPort(selectedIndex(port_)));
            }
            return true;
        case IDC_BACK:
            end(kPageCancel);
            return true;
        case IDC_FINISH:
            finish();
            return true;
        case IDC_EXIT:
            end(kPageOk);
            return true;
        default:
            return false;
    }
}

InstallSelection PrinterSettingsPage::selection() const {
    InstallSelection s;
    s.modelIndex = selectedIndex(model_);
    s.portIndex = selectedIndex(port_);
    s.baudIndex = selectedIndex(baud_);
    s.dataBitsIndex = selectedIndex(dataBits_);
    s.stopBitsIndex = selectedIndex(stopBits_);
    s.parityIndex = selectedIndex(parity_);
    s.flowIndex = selectedIndex(flow_);
    s.setAsDefault = IsDlgButtonChecked(hwnd(), IDC_SET_DEFAULT) == BST_CHECKED;
    return s;
}

void PrinterSettingsPage::finish() {
    const InstallSelection chosen = selection();
    // The detected Windows decides, never what was ticked on the first page.
    const InstallFamily family = installFamilyFor(currentOsClass());
    if (family == InstallFamily::None) {
        WCHAR text[512];
        loadWideString(IDS_UNSUPPORTED_WINDOWS, text, 512);
        showExclamation(hwnd(), text);
    } else {
        Win32System system(hwnd());
        const InstallReport report = family == InstallFamily::Win9x
                                         ? Win9xInstaller(system).run(chosen)
                                         : NtInstaller(system).run(chosen);
        char currentDirectory[MAX_PATH];
        const DWORD directoryLength = GetCurrentDirectoryA(MAX_PATH, currentDirectory);
        const InstallMessage message =
            composeInstallMessage(report, family, windowsIs64Bit(), directoryLength);
        if (!message.empty()) showInstallMessage(hwnd(), message);
    }
    end(kPageOk);
}

bool PrinterSettingsPage::onSysCommand(WPARAM command, LPARAM /*position*/) {
    if ((command & 0xFFF0) != IDM_ABOUT) return false;
    AboutBox(hwnd()).runModal();
    return true;
}

bool PrinterSettingsPage::onPaint() {
    if (!IsIconic(hwnd())) return false;
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd(), &paint);
    SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(hwnd(), &paint);
    return true;
}

}  // namespace setup
