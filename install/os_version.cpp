#include "install/os_version.h"

#include <windows.h>

namespace setup {

bool queryWindowsVersion(std::uint32_t recordSize, OsVersion* version) {
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = recordSize;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
    version->platformId = info.dwPlatformId;
    version->majorVersion = info.dwMajorVersion;
    version->minorVersion = info.dwMinorVersion;
    return true;
}

bool windowsIs64Bit() {
    if (sizeof(void*) == 8) return true;
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
                                      GetProcAddress(kernel, "IsWow64Process")))
                                : nullptr;
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace setup
