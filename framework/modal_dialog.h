// A modal dialog run from a template resource. One static dialog procedure
// forwards to the virtual handlers below; a page overrides only what it
// changes. OK ends the dialog with 1 and Cancel with 2 unless overridden.
#pragma once

#include <windows.h>

#include "framework/page_result.h"

namespace setup {

class ModalDialog {
public:
    ModalDialog(int templateId, HWND owner);
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog until it ends; returns its result, -1 when the dialog
    // could not be created.
    INT_PTR runModal();

protected:
    // Pages are objects of their own class, never deleted through this one.
    ~ModalDialog() = default;

    HWND hwnd() const { return hwnd_; }
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    void end(INT_PTR result) { EndDialog(hwnd_, result); }

    // Return true to let the system put the focus on the first tab stop.
    virtual bool onInitDialog() { return true; }
    virtual void onOK() { end(kPageOk); }
    virtual void onCancel() { end(kPageCancel); }
    // Return true when handled; IDOK and IDCANCEL not handled here go to
    // onOK and onCancel.
    virtual bool onCommand(int /*id*/, int /*code*/) { return false; }
    // Return true when handled; otherwise the system's default handling runs.
    virtual bool onSysCommand(WPARAM /*command*/, LPARAM /*position*/) { return false; }
    virtual bool onPaint() { return false; }
    virtual HICON onQueryDragIcon() { return nullptr; }

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void loadListData();
    void centre();

    int templateId_;
    HWND owner_;
    HWND hwnd_ = nullptr;
};

}  // namespace setup
