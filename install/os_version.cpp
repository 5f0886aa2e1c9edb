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

}  // namespace setup
