// The floor for Setup.exe's size and start-up time: an ANSI WinMain that
// shows one dialog from a template and returns, built with the same flags.
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BARE), nullptr, dialogProc, 0));
}
