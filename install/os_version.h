// detectOsClass() over the real GetVersionExA, and whether Windows is 64-bit.
#pragma once

#include "install/os_class.h"

namespace setup {

bool queryWindowsVersion(std::uint32_t recordSize, OsVersion* version);

// Classifies the running Windows into the process-wide OsClass.
inline void detectOsClass() {
    detectOsClass(&queryWindowsVersion);
}

// Whether Windows itself is 64-bit: always for a 64-bit process; for a
// 32-bit one, when it runs under WOW64 (asked only where Windows has the call).
bool windowsIs64Bit();

}  // namespace setup
