// Program entry. Setup.exe links no C runtime (common/runtime.cpp has the few
// C functions it brings along): this is where Windows starts it.
#include <windows.h>

#include "app/setup_app.h"
#include "common/startup.h"
#include "common/system_library.h"

namespace {

setup::SetupApp theApp;

}  // namespace

// The entry point the linker looks for in a GUI program. Windows may enter
// with the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    setup::constructStaticObjects();
    setup::restrictDllSearchToSystemFolder();
    const int result = theApp.run(GetModuleHandleA(nullptr));
    setup::destroyStaticObjects();
    ExitProcess(static_cast<UINT>(result));
}
