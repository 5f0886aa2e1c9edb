// Program entry. Setup.exe links no C runtime (see app/runtime.cpp for the
// few C functions it brings along): this is where Windows starts it, and
// where the static objects are constructed before and destroyed after the
// program runs.
#include <windows.h>

#include <cstddef>

#include "app/setup_app.h"
#include "common/system_library.h"

extern "C" {

// Laid out by the linker: -1, the static constructors in link order, 0.
extern void (*__CTOR_LIST__[])();

}  // extern "C"

namespace {

// Destructors of static objects, which their constructors register through
// atexit; run in reverse order when the program ends.
constexpr int kMaxExitFunctions = 8;
void (*exitFunctions[kMaxExitFunctions])();
int exitFunctionCount;

setup::SetupApp theApp;

}  // namespace

extern "C" {

int atexit(void (*function)()) {
    if (exitFunctionCount == kMaxExitFunctions) return -1;
    exitFunctions[exitFunctionCount++] = function;
    return 0;
}

// Referenced by the tables of classes with pure virtual functions; nothing
// calls one.
void __cxa_pure_virtual() {
    ExitProcess(3);
}

// The entry point the linker looks for in a GUI program. Windows may enter
// with the stack aligned to 4 bytes only.
__attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    // From the last constructor in the list to the first, as the compiler's
    // own start-up code runs them.
    std::size_t count = 0;
    while (__CTOR_LIST__[count + 1]) ++count;
    for (std::size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();

    setup::restrictDllSearchToSystemFolder();
    const int result = theApp.run(GetModuleHandleA(nullptr));

    while (exitFunctionCount > 0) exitFunctions[--exitFunctionCount]();
    ExitProcess(static_cast<UINT>(result));
}

}  // extern "C"

// Referenced by the deleting destructors of classes with virtual
// destructors. The program allocates nothing with new (operator new is
// deliberately missing, so a new expression does not link): never called.
void operator delete(void*) noexcept {}
void operator delete(void*, std::size_t) noexcept {}
