#include "deploy/nt_functions.h"

#include "common/utf8.h"
#include "deploy/command_line.h"

namespace setup {
namespace {

template <typename Function>
bool find(HMODULE kernel, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
    return function != nullptr;
}

NtFunctions load() {
    NtFunctions f = {};
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // The 9x family exports some of these as stubs: it is not asked at all.
    if (!kernel || (GetVersion() & 0x80000000u) != 0) return f;
    const bool all = find(kernel, "GetCommandLineW", f.getCommandLineW) &
                     find(kernel, "WriteConsoleW", f.writeConsoleW) &
                     find(kernel, "CreateFileW", f.createFileW) &
                     find(kernel, "GetFileAttributesW", f.getFileAttributesW) &
                     find(kernel, "GetFullPathNameW", f.getFullPathNameW) &
                     find(kernel, "GetModuleFileNameW", f.getModuleFileNameW) &
                     find(kernel, "SetCurrentDirectoryW", f.setCurrentDirectoryW) &
                     find(kernel, "FormatMessageW", f.formatMessageW) &
                     find(kernel, "GetShortPathNameW", f.getShortPathNameW);
    if (!all) return NtFunctions{};
    return f;
}

}  // namespace

const NtFunctions& NtFunctions::get() {
    // The tool has one thread.
    static NtFunctions functions;
    static bool loaded = false;
    if (!loaded) {
        functions = load();
        loaded = true;
    }
    return functions;
}

bool commandLineUtf8(char* out, std::size_t size) {
    static WCHAR wide[ArgumentList::kBufferSize];
    const NtFunctions& nt = NtFunctions::get();
    const WCHAR* line = nt.available() ? nt.getCommandLineW() : nullptr;
    if (!line) {
        if (MultiByteToWideChar(CP_ACP, 0, GetCommandLineA(), -1, wide,
                                ArgumentList::kBufferSize) <= 0) {
            return false;
        }
        line = wide;
    }
    const std::size_t n = utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(line),
                                      static_cast<std::size_t>(lstrlenW(line)), out, size);
    return n < size;
}

}  // namespace setup
