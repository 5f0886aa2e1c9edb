// Imports winspool.drv and comctl32.dll by name, as a program that does not
// guard against planted DLLs would: the control case of the planting test.
#include <windows.h>

extern "C" {
BOOL WINAPI ClosePrinter(HANDLE);
void WINAPI InitCommonControls();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    return ClosePrinter(nullptr) ? 0 : 1;
}
