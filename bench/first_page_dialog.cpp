// The floor for Setup.exe's start-up: the program's own first page, from the
// program's own resources, after the common controls are loaded from the
// system folder as the program loads them (the DLL search restricted first), made with the W
// function as the program makes it on the NT family, by a dialog procedure that does nothing. Built
// like the program, without the C runtime. What Setup.exe takes beyond this is the program's own
// work before its first page shows.
#include <windows.h>

#include "common/system_library.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR showFirstPage() {
    setup::restrictDllSearchToSystemFolder();
    const setup::SystemLibrary commonControls("comctl32.dll");
    using InitCommonControlsFn = void(WINAPI*)();
    if (const auto init = commonControls.function<InitCommonControlsFn>("InitCommonControls")) {
        init();
    }
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OS_PAGE), nullptr,
                           dialogProc, 0);
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    ExitProcess(static_cast<UINT>(showFirstPage()));
}
