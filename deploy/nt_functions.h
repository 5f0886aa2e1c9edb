// The wide kernel functions the tool calls on the NT family. Windows 9x
// has them only as stubs that fail, or not at all, so they are looked up at
// run time and left null there; callers use the ANSI ones instead.
#pragma once

#include <windows.h>

#include <cstddef>

namespace setup {

struct NtFunctions {
    decltype(&::GetCommandLineW) getCommandLineW;
    decltype(&::WriteConsoleW) writeConsoleW;
    decltype(&::CreateFileW) createFileW;
    decltype(&::GetFileAttributesW) getFileAttributesW;
    decltype(&::GetFullPathNameW) getFullPathNameW;
    decltype(&::GetModuleFileNameW) getModuleFileNameW;
    decltype(&::SetCurrentDirectoryW) setCurrentDirectoryW;
    decltype(&::FormatMessageW) formatMessageW;
    decltype(&::GetShortPathNameW) getShortPathNameW;

    // Whether this is the NT family and every function was found.
    bool available() const { return getCommandLineW != nullptr; }

    static const NtFunctions& get();
};

// The command line as UTF-8, for both programs (the tool and the logon
// program): the wide one on NT, the ANSI one elsewhere; false when it does
// not fit in `size`.
bool commandLineUtf8(char* out, std::size_t size);

}  // namespace setup
