// On the NT family the program's dialogs are Unicode windows, made with the
// W functions, so their Chinese reads right whatever the system's ANSI code
// page. Windows 95, 98 and ME have no working W dialog functions; there the
// A functions make the dialogs, which read right on a Chinese system. The W
// functions are looked up at run time, so the program still starts on
// Windows 95.
#pragma once

#include <windows.h>

namespace setup {

struct WideUser32 {
    INT_PTR(WINAPI* dialogBoxParam)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
    BOOL(WINAPI* appendMenu)(HMENU, UINT, UINT_PTR, LPCWSTR);
};

// The W functions on the NT family; null on Windows 95, 98 and ME, or when
// one of them is missing.
const WideUser32* wideUser32();

}  // namespace setup
