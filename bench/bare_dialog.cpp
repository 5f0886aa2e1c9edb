// The floor for Setup.exe's size and a floor for its start-up: a program
// that shows one dialog from a template and ends, built with the program's
// flags and, like it, without the C runtime.
#include "bench/bare_dialog.h"

#include <windows.h>

namespace {

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    ExitProcess(static_cast<UINT>(DialogBoxParamA(
        GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_BARE), nullptr, dialogProc, 0)));
}
