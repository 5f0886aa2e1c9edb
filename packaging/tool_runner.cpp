#include "packaging/tool_runner.h"

#include <cstring>

#include "packaging/action_data.h"

namespace setup {
namespace {

constexpr DWORD kPollMs = 50;
constexpr std::size_t kPending = 2048;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    HANDLE* put() {
        reset();
        return &handle_;
    }
    void reset() {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

WCHAR asciiUpper(WCHAR c) {
    return c >= L'a' && c <= L'z' ? static_cast<WCHAR>(c - L'a' + L'A') : c;
}

// True when a status line names the model ("QM-4716II driver=yes ..."), in
// any case: model names are ASCII.
bool mentions(const WideLine& line, const char* model) {
    const int n = static_cast<int>(std::strlen(model));
    if (n == 0 || line.size() <= n || line.c_str()[n] != L' ') return false;
    for (int i = 0; i < n; ++i) {
        if (asciiUpper(line.c_str()[i]) != asciiUpper(static_cast<WCHAR>(model[i]))) return false;
    }
    return true;
}

void say(const ToolRunner& runner, const WideLine& line) {
    runner.sink(runner.context, line);
}

void takeLine(const ToolRunner& runner, const char* bytes, std::size_t size, bool relay,
              ToolRun& run) {
    if (size > 0 && bytes[size - 1] == '\r') --size;
    char text[kPending + 1];
    std::memcpy(text, bytes, size);
    text[size] = '\0';
    WideLine line;
    line.appendUtf8(text);
    if (run.watchModel && mentions(line, run.watchModel)) run.mentioned = true;
    if (!relay) return;
    WideLine relayed;
    relayed.append(L"TolmarDeploy: ");
    relayed.append(line.c_str(), line.size());
    say(runner, relayed);
}

void sayFailure(const ToolRunner& runner, const WCHAR* what, const char* detail, DWORD error) {
    WideLine line;
    line.append(L"TolmarDeploy: ");
    line.append(what);
    line.appendAnsi(detail);
    line.append(L" (error ");
    line.appendNumber(error);
    line.append(L").");
    say(runner, line);
}

}  // namespace

void runTool(const ToolRunner& runner, const char* const* arguments, int count, bool relay,
             ToolRun& run) {
    char commandLine[8192] = {};
    for (int i = 0; i < count; ++i) {
        if (!appendArgument(commandLine, sizeof commandLine, arguments[i])) {
            WideLine line;
            line.append(L"TolmarDeploy: the package's command line is too long.");
            say(runner, line);
            return;
        }
    }
    if (relay) {
        WideLine line;
        line.append(L"Running ");
        line.appendAnsi(commandLine);
        say(runner, line);
    }

    // Both pipe ends are made inheritable; the one we read from is replaced
    // by a copy the tool does not inherit, or the pipe would never end.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Handle inheritedRead, readEnd, writeEnd, input;
    const HANDLE self = GetCurrentProcess();
    if (!CreatePipe(inheritedRead.put(), writeEnd.put(), &inherit, 0) ||
        !DuplicateHandle(self, inheritedRead.get(), self, readEnd.put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        sayFailure(runner, L"cannot create a pipe for its output", "", GetLastError());
        return;
    }
    inheritedRead.reset();
    *input.put() = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = input.get();
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process = {};
    // No console at all (not even a hidden one, whose code page the tool
    // would write in): the tool then writes UTF-8, its rule when it has no
    // console. The application name is given, so no search path is ever
    // consulted.
    if (!CreateProcessA(arguments[0], commandLine, nullptr, nullptr, TRUE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        sayFailure(runner, L"cannot start ", arguments[0], GetLastError());
        return;
    }
    run.started = true;
    Handle processHandle(process.hProcess), threadHandle(process.hThread);
    // Only the child holds the write end now, so the pipe ends when it does.
    writeEnd.reset();

    // Whole lines go on as they come; a line longer than the buffer goes in
    // pieces. The pipe is only read when it holds something, so a tool that
    // hangs without a word is still ended at the limit.
    char pending[kPending];
    std::size_t used = 0;
    const DWORD startedAt = GetTickCount();
    const auto endTool = [&] {
        TerminateProcess(processHandle.get(), WAIT_TIMEOUT);
        WaitForSingleObject(processHandle.get(), 5000);
        run.timedOut = true;
    };
    bool ended = false;
    for (;;) {
        DWORD available = 0;
        const BOOL open = PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr);
        if (open && available > 0) {
            const DWORD room = static_cast<DWORD>(sizeof pending - used);
            DWORD read = 0;
            if (!ReadFile(readEnd.get(), pending + used, available < room ? available : room, &read,
                          nullptr) ||
                read == 0) {
                break;
            }
            used += read;
            std::size_t start = 0;
            for (std::size_t i = 0; i < used; ++i) {
                if (pending[i] == '\n') {
                    takeLine(runner, pending + start, i - start, relay, run);
                    start = i + 1;
                }
            }
            if (start == 0 && used == sizeof pending) {
                takeLine(runner, pending, used, relay, run);
                start = used;
            }
            std::memmove(pending, pending + start, used - start);
            used -= start;
            continue;
        }
        // A program the tool started could keep the pipe open: once the
        // tool has ended, what is in the pipe is the last of it.
        if (!open || ended) break;
        if (WaitForSingleObject(processHandle.get(), kPollMs) == WAIT_OBJECT_0) {
            ended = true;
        } else if (GetTickCount() - startedAt >= runner.limitMs) {
            endTool();
            break;
        }
    }
    if (used > 0) takeLine(runner, pending, used, relay, run);
    // The tool may close its output and go on: it still gets only the rest
    // of its time.
    if (!ended && !run.timedOut) {
        const DWORD spent = GetTickCount() - startedAt;
        if (WaitForSingleObject(processHandle.get(), spent < runner.limitMs ? runner.limitMs - spent
                                                                            : 0) != WAIT_OBJECT_0) {
            endTool();
        }
    }
    if (run.timedOut) {
        WideLine line;
        line.append(L"TolmarDeploy did not end within ");
        line.appendNumber(runner.limitMs / 1000);
        line.append(L" s and was ended; the installation fails.");
        say(runner, line);
        return;
    }
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    if (relay) {
        WideLine line;
        line.append(L"TolmarDeploy ended with exit code ");
        line.appendNumber(run.exitCode);
        line.append(L".");
        say(runner, line);
    }
}

}  // namespace setup
