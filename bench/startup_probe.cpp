// Times how long a dialog program takes from the start of its process until
// its first dialog is visible, then closes the dialog with Cancel and waits
// for the process to end. Prints the median of the runs of each program, in
// milliseconds.
//   startup_probe <runs> <exe> <dialog caption> [<exe> <dialog caption>]...
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "bench/timing.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 30000;

using bench::median;
using bench::nowMs;

class Process {
public:
    Process() = default;
    ~Process() {
        if (!handle_) return;
        if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) TerminateProcess(handle_, 1);
        CloseHandle(handle_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool start(const std::wstring& exe, const std::wstring& folder) {
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &startup, &info)) {
            return false;
        }
        CloseHandle(info.hThread);
        handle_ = info.hProcess;
        id_ = info.dwProcessId;
        return true;
    }
    bool ended(DWORD waitMs) const { return WaitForSingleObject(handle_, waitMs) == WAIT_OBJECT_0; }
    DWORD id() const { return id_; }

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// One run: milliseconds from just before CreateProcessW until the dialog is
// visible; negative after printing why the run failed.
double timeOneRun(const std::wstring& exe, const std::wstring& folder, const wchar_t* caption) {
    Process process;
    const double start = nowMs();
    if (!process.start(exe, folder)) {
        std::fprintf(stderr, "startup_probe: CreateProcessW failed, error %lu\n", GetLastError());
        return -1;
    }
    HWND dialog = nullptr;
    for (;;) {
        const HWND found = FindWindowW(L"#32770", caption);
        DWORD owner = 0;
        if (found && IsWindowVisible(found) && GetWindowThreadProcessId(found, &owner) &&
            owner == process.id()) {
            dialog = found;
            break;
        }
        if (process.ended(0)) {
            std::fprintf(stderr, "startup_probe: the program ended without showing its dialog\n");
            return -1;
        }
        if (nowMs() - start > kTimeoutMs) {
            std::fprintf(stderr, "startup_probe: no visible dialog after %lu ms\n", kTimeoutMs);
            return -1;
        }
        Sleep(1);
    }
    const double elapsed = nowMs() - start;
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    if (!process.ended(kTimeoutMs)) {
        std::fprintf(stderr, "startup_probe: the program did not end on Cancel\n");
        return -1;
    }
    return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain LF line ends for the script that reads the output.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr,
                     "usage: startup_probe <runs> <exe> <dialog caption> [<exe> <caption>]...\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(argv[1]));
    struct Program {
        std::wstring exe;
        std::wstring folder;
        const wchar_t* caption;
        std::vector<double> times;
    };
    std::vector<Program> programs;
    for (int i = 2; i + 1 < argc; i += 2) {
        Program program{argv[i], L".", argv[i + 1], {}};
        const std::size_t slash = program.exe.find_last_of(L"\\/");
        if (slash != std::wstring::npos) program.folder = program.exe.substr(0, slash);
        if (GetFileAttributesW(program.exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "startup_probe: %ls not found\n", program.exe.c_str());
            return 1;
        }
        programs.push_back(program);
    }

    // The programs take turns, so a change in the machine's load falls on
    // all of them alike. The first round loads what later rounds find
    // cached; it is not counted.
    for (int round = 0; round <= runs; ++round) {
        for (Program& program : programs) {
            const double ms = timeOneRun(program.exe, program.folder, program.caption);
            if (ms < 0) return 1;
            if (round > 0) program.times.push_back(ms);
        }
    }
    std::printf("runs=%d\n", runs);
    int number = 0;
    for (const Program& program : programs) {
        const std::vector<double>& times = program.times;
        ++number;
        std::printf("median_ms_%d=%.2f\nmin_ms_%d=%.2f\nmax_ms_%d=%.2f\n", number, median(times),
                    number, *std::min_element(times.begin(), times.end()), number,
                    *std::max_element(times.begin(), times.end()));
    }
    return 0;
}
