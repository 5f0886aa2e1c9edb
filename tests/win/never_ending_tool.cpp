// Stands in for a TolmarDeploy that hangs: says it started, and which
// process it is, then never ends. A named mutex shows whether it still runs.
#include <windows.h>

#include <cstdio>

int main() {
    const HANDLE mark = CreateMutexW(nullptr, FALSE, L"TolmarNeverEndingTool");
    std::printf("started, process %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
    std::fflush(stdout);
    Sleep(INFINITE);
    CloseHandle(mark);
    return 0;
}
