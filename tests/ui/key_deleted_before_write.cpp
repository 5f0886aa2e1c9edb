#include "tests/ui/key_deleted_before_write.h"

#include "tests/ui/setup_driver.h"

namespace ui {
namespace {

constexpr unsigned char kBreakpoint = 0xCC;  // int3
constexpr DWORD kTrapFlag = 0x100;

// The value name a RegSetValueExA call passes, read from the debuggee.
std::string readName(HANDLE process, ULONG_PTR address) {
    std::string name;
    for (int i = 0; address && i < 256; ++i) {
        char c = 0;
        SIZE_T read = 0;
        if (!ReadProcessMemory(process, reinterpret_cast<const void*>(address + i), &c, 1, &read) ||
            read != 1 || c == '\0') {
            break;
        }
        name += c;
    }
    return name;
}

}  // namespace

KeyDeletedBeforeWrite::KeyDeletedBeforeWrite(const std::wstring& folder, HKEY root,
                                             std::wstring key, std::string valueName)
    : root_(root), key_(std::move(key)), valueName_(std::move(valueName)) {
    // System DLLs sit at the same address in every process, so the function
    // found here is the one the program's import points to.
    const HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    target_ =
        advapi ? reinterpret_cast<const void*>(GetProcAddress(advapi, "RegSetValueExA")) : nullptr;
    HMODULE module = nullptr;
    if (target_ && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                          GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      static_cast<LPCWSTR>(target_), &module)) {
        targetModule_ = module;
    }
    // The debugger must be the thread that created the process.
    thread_ = std::thread(&KeyDeletedBeforeWrite::debug, this, folder);
    waitUntil([this] { return started_.load(); });
}

KeyDeletedBeforeWrite::~KeyDeletedBeforeWrite() {
    stop_ = true;
    const HANDLE process = process_.load();
    if (process && !keyDeleted_ && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 1);
    }
    if (thread_.joinable()) thread_.join();
    if (process) CloseHandle(process);
}

bool KeyDeletedBeforeWrite::arm(HANDLE process) {
    SIZE_T done = 0;
    unsigned char original = 0;
    if (!ReadProcessMemory(process, target_, &original, 1, &done) || done != 1) return false;
    if (!WriteProcessMemory(process, const_cast<void*>(target_), &kBreakpoint, 1, &done) ||
        done != 1) {
        return false;
    }
    FlushInstructionCache(process, target_, 1);
    original_ = original;
    armed_ = true;
    return true;
}

void KeyDeletedBeforeWrite::onBreakpoint(HANDLE process, DWORD threadId) {
    const HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    if (!thread) return;
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    if (GetThreadContext(thread, &context)) {
        // Put the instruction back and run the call from its start.
        SIZE_T done = 0;
        WriteProcessMemory(process, const_cast<void*>(target_), &original_, 1, &done);
        FlushInstructionCache(process, target_, 1);
#ifdef _WIN64
        context.Rip = reinterpret_cast<DWORD64>(target_);
        // x64 calling convention: the value name is the second argument.
        const ULONG_PTR nameAddress = context.Rdx;
#else
        context.Eip = reinterpret_cast<DWORD>(target_);
        // stdcall: at the call's first instruction the stack holds the return
        // address, then the key, then the value name.
        DWORD nameAddress = 0;
        SIZE_T got = 0;
        ReadProcessMemory(process, reinterpret_cast<const void*>(context.Esp + 8), &nameAddress,
                          sizeof nameAddress, &got);
#endif
        if (readName(process, nameAddress) == valueName_) {
            keyDeleted_ = RegDeleteKeyW(root_, key_.c_str()) == ERROR_SUCCESS;
            detached_ = true;  // done with this program either way
        } else {
            // Another write: step over it and set the breakpoint again.
            context.EFlags |= kTrapFlag;
            stepping_ = true;
        }
        SetThreadContext(thread, &context);
    }
    CloseHandle(thread);
}

void KeyDeletedBeforeWrite::debug(std::wstring folder) {
    const std::wstring program = setupExePath();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!target_ || !targetModule_ ||
        !startProgram(program, L"\"" + program + L"\"", FALSE, DEBUG_ONLY_THIS_PROCESS,
                      folder.c_str(), &startup, &info)) {
        started_ = true;
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    started_ = true;
    DebugSetProcessKillOnExit(FALSE);

    HANDLE debuggee = nullptr;
    for (;;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 100)) {
            if (stop_) break;
            continue;
        }
        DWORD status = DBG_CONTINUE;
        bool ended = false;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                debuggee = event.u.CreateProcessInfo.hProcess;
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                if (!armed_ && event.u.LoadDll.lpBaseOfDll == targetModule_) arm(debuggee);
                break;
            case EXCEPTION_DEBUG_EVENT: {
                const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
                const auto* at = static_cast<const unsigned char*>(record.ExceptionAddress);
                const auto* target = static_cast<const unsigned char*>(target_);
                if (record.ExceptionCode == EXCEPTION_BREAKPOINT && armed_ && !detached_ &&
                    !stepping_ && (at == target || at == target + 1)) {
                    onBreakpoint(debuggee, event.dwThreadId);
                } else if (record.ExceptionCode == EXCEPTION_SINGLE_STEP && stepping_) {
                    stepping_ = false;
                    SIZE_T done = 0;
                    WriteProcessMemory(debuggee, const_cast<void*>(target_), &kBreakpoint, 1,
                                       &done);
                    FlushInstructionCache(debuggee, target_, 1);
                } else if (record.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    // The program's own exceptions are the program's business.
                    status = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            }
            case EXIT_PROCESS_DEBUG_EVENT:
                ended = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (ended) break;
        if (detached_) {
            DebugActiveProcessStop(info.dwProcessId);
            break;
        }
    }
}

}  // namespace ui
