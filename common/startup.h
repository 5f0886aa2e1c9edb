// Start-up and shut-down of a program or DLL that links no C runtime
// (Setup.exe, TolmarDeploy.exe, the MSI's action DLL): its entry point
// constructs the static objects first and destroys them last, as the C
// runtime would.
#pragma once

namespace setup {

// The exit code of a fault in the program itself, never of anything it was
// asked to do: more static objects to destroy than the start-up keeps room
// for (they register while it starts, before anything is done), or a call
// of a pure virtual function. 70 is "internal software error" in the BSD
// exit codes, and no code the programs otherwise give.
constexpr unsigned kExitInternalFault = 70;

// Runs the static constructors, from the last in the linker's list to the
// first, as the compiler's own start-up code does.
void constructStaticObjects();

// Runs what the static objects registered through atexit, in reverse order.
void destroyStaticObjects();

}  // namespace setup
