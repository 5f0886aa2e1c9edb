// Program entry. The wizard pages are not in this build yet; the executable
// exists so the shipped i686 build is compiled and linked from the start.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
