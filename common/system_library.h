// DLLs that Windows does not always take from the system folder (the
// spooler's winspool.drv, comctl32.dll) are loaded by their full path in the
// system folder, never by name: a setup program is run from download
// folders, where a DLL of the same name may be waiting beside it.
#pragma once

#include <windows.h>

namespace setup {

class SystemLibrary {
public:
    explicit SystemLibrary(const char* fileName);
    ~SystemLibrary();
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }

    // The named function, or null when the library or the function is missing.
    template <typename Function>
    Function function(const char* name) const {
        return module_ ? reinterpret_cast<Function>(
                             reinterpret_cast<void*>(GetProcAddress(module_, name)))
                       : nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

// Keeps the current and the program's own folder out of the DLL search for
// everything loaded from now on, where Windows has the means (XP SP1 and
// later; on older systems the full-path loading above is the protection).
void restrictDllSearchToSystemFolder();

}  // namespace setup
