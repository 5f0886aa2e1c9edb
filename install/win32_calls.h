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

// Owns a kernel handle (INVALID_HANDLE_VALUE or null for none) and closes it. Move-less.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (valid()) CloseHandle(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

template <typename T>
inline SysHandle toSysHandle(T handle) {
    return reinterpret_cast<SysHandle>(handle);
}

}  // namespace setup
