#include "framework/wide_user32.h"

namespace setup {
namespace {

// Looked up once; plain data, so nothing needs constructing at start-up.
WideUser32 functions;
enum class Lookup { NotYet, Found, Missing } lookup = Lookup::NotYet;

template <typename Function>
Function find(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const WideUser32* wideUser32() {
    if (lookup == Lookup::NotYet) {
        lookup = Lookup::Missing;
        // The top bit of the version is set on Windows 95, 98 and ME.
        const bool nt = (GetVersion() & 0x80000000u) == 0;
        const HMODULE user32 = GetModuleHandleA("user32.dll");
        if (nt && user32) {
            functions.dialogBoxParam =
                find<decltype(functions.dialogBoxParam)>(user32, "DialogBoxParamW");
            functions.appendMenu = find<decltype(functions.appendMenu)>(user32, "AppendMenuW");
            if (functions.dialogBoxParam && functions.appendMenu) lookup = Lookup::Found;
        }
    }
    return lookup == Lookup::Found ? &functions : nullptr;
}

}  // namespace setup
