// detectOsClass() over the real GetVersionExA.
#pragma once

#include "install/os_class.h"

namespace setup {

bool queryWindowsVersion(std::uint32_t recordSize, OsVersion* version);

// Classifies the running Windows into the process-wide OsClass.
inline void detectOsClass() {
    detectOsClass(&queryWindowsVersion);
}

}  // namespace setup
