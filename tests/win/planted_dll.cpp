// A DLL planted beside a program under the name of a system DLL. Loading it
// leaves a mark file next to it, so a test can tell whether the program took
// it instead of the system's own. It exports the functions the probe program
// imports, so that program starts with it.
#include <windows.h>

extern "C" {

__declspec(dllexport) BOOL WINAPI ClosePrinter(HANDLE) {
    return TRUE;
}
__declspec(dllexport) void WINAPI InitCommonControls() {}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcatA(path, ".mark");
    const HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return TRUE;
}

}  // extern "C"
