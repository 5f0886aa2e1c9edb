#include "common/startup.h"

#include <windows.h>

#include <cstddef>

extern "C" {

// Laid out by the linker: -1, the static constructors in link order, 0.
extern void (*__CTOR_LIST__[])();

}  // extern "C"

namespace {

// Destructors of static objects, which their constructors register through
// atexit.
constexpr int kMaxExitFunctions = 8;
void (*exitFunctions[kMaxExitFunctions])();
int exitFunctionCount;

}  // namespace

extern "C" {

int atexit(void (*function)()) {
    // A destructor that would never run is a build fault: the program stops
    // before it does anything, with an exit code no run otherwise gives.
    if (exitFunctionCount == kMaxExitFunctions) ExitProcess(setup::kExitInternalFault);
    exitFunctions[exitFunctionCount++] = function;
    return 0;
}

// Referenced by the tables of classes with pure virtual functions; nothing
// calls one, and if something did it would be a fault of the program.
void __cxa_pure_virtual() {
    ExitProcess(setup::kExitInternalFault);
}

}  // extern "C"

// Referenced by the deleting destructors of classes with virtual
// destructors. The programs allocate nothing with new (operator new is
// deliberately missing, so a new expression does not link): never called.
void operator delete(void*) noexcept {}
void operator delete(void*, std::size_t) noexcept {}

namespace setup {

void constructStaticObjects() {
    std::size_t count = 0;
    while (__CTOR_LIST__[count + 1]) ++count;
    for (std::size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

void destroyStaticObjects() {
    while (exitFunctionCount > 0) exitFunctions[--exitFunctionCount]();
}

}  // namespace setup
