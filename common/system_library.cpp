#include "common/system_library.h"

#include "common/bounded_text.h"

namespace setup {

SystemLibrary::SystemLibrary(const char* fileName) {
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const PathText path{systemFolder, "\\", fileName};
    if (path.ok()) module_ = LoadLibraryA(path.c_str());
}

SystemLibrary::~SystemLibrary() {
    if (module_) FreeLibrary(module_);
}

void restrictDllSearchToSystemFolder() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(kSearchSystem32);
    // Takes the current folder out of the search order.
    const auto setDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory) setDirectory("");
}

}  // namespace setup
