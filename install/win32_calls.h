// Small conversions the Win32 implementations of the system interface share.
#pragma once

#include <windows.h>

#include "install/system_api.h"

namespace setup {

// The A structures take non-const pointers; the spooler does not write them.
inline LPSTR mutableText(const char* text) {
    return const_cast<LPSTR>(text);
}

inline std::uint32_t lastErrorOr(std::uint32_t fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

template <typename T>
inline SysHandle toSysHandle(T handle) {
    return reinterpret_cast<SysHandle>(handle);
}

}  // namespace setup
