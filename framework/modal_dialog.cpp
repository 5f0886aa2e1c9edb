#include "framework/modal_dialog.h"

#include "framework/application.h"
#include "framework/list_data.h"
#include "framework/wide_user32.h"

namespace setup {
namespace {

constexpr UINT kListDataType = 240;

}  // namespace

ModalDialog::ModalDialog(int templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

INT_PTR ModalDialog::runModal() {
    const HINSTANCE instance = applicationInstance();
    const LPARAM self = reinterpret_cast<LPARAM>(this);
    if (const WideUser32* wide = wideUser32()) {
        return wide->dialogBoxParam(instance, MAKEINTRESOURCEW(templateId_), owner_,
                                    &ModalDialog::dialogProc, self);
    }
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId_), owner_,
                           &ModalDialog::dialogProc, self);
}

INT_PTR CALLBACK ModalDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
    ModalDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<ModalDialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    const INT_PTR result = self->handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR ModalDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            loadListData();
            const bool defaultFocus = onInitDialog();
            centre();
            return defaultFocus ? TRUE : FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (onCommand(id, HIWORD(wParam))) return TRUE;
            if (id == IDOK) {
                onOK();
                return TRUE;
            }
            if (id == IDCANCEL) {
                onCancel();
                return TRUE;
            }
            return FALSE;
        }
        case WM_SYSCOMMAND:
            return onSysCommand(wParam, lParam) ? TRUE : FALSE;
        case WM_PAINT:
            return onPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the messages whose result a dialog procedure returns itself.
            return reinterpret_cast<INT_PTR>(onQueryDragIcon());
        default:
            return FALSE;
    }
}

// Fills the dialog's lists from its list data resource, if it has one. The
// texts are 8-bit ASCII: the A message suits a Unicode list as well.
void ModalDialog::loadListData() {
    const HINSTANCE instance = applicationInstance();
    const HRSRC found =
        FindResourceA(instance, MAKEINTRESOURCEA(templateId_), MAKEINTRESOURCEA(kListDataType));
    if (!found) return;
    const HGLOBAL loaded = LoadResource(instance, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return;
    forEachListDataRecord(static_cast<const std::uint8_t*>(data), SizeofResource(instance, found),
                          [this](const ListDataRecord& record) {
                              UINT message = 0;
                              if (record.message == kListDataAddString16) message = CB_ADDSTRING;
                              if (record.message == kListBoxAddString16) message = LB_ADDSTRING;
                              if (message == 0) return;
                              SendDlgItemMessageA(hwnd_, record.controlId, message, 0,
                                                  reinterpret_cast<LPARAM>(record.text));
                          });
}

// Centred over the owner when there is one, else on the screen's work area,
// and kept inside the work area.
void ModalDialog::centre() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    RECT workArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT area = workArea;
    const HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &area);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    if (x + width > workArea.right) x = workArea.right - width;
    if (y + height > workArea.bottom) y = workArea.bottom - height;
    if (x < workArea.left) x = workArea.left;
    if (y < workArea.top) y = workArea.top;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace setup
