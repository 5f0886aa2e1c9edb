// The MSI's custom actions. Windows Installer shows nothing a plain EXE
// action prints and turns its failure into the wrong exit code, so the
// package runs TolmarDeploy from here: each line the tool writes goes into
// the installation log, and a failed run fails the installation (1603).
// windows.h first: msi.h and msiquery.h need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <string>
#include <vector>

namespace {

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

class MsiRecord {
public:
    explicit MsiRecord(UINT fields) : record_(MsiCreateRecord(fields)) {}
    ~MsiRecord() {
        if (record_) MsiCloseHandle(record_);
    }
    MsiRecord(const MsiRecord&) = delete;
    MsiRecord& operator=(const MsiRecord&) = delete;

    MSIHANDLE get() const { return record_; }

private:
    MSIHANDLE record_;
};

// One line into the installation log. The record's template is formatted,
// so square brackets in the text are escaped ("[\[]", "[\]]") rather than
// taken for property references.
void logLine(MSIHANDLE install, const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'[') {
            escaped += L"[\\[]";
        } else if (c == L']') {
            escaped += L"[\\]]";
        } else {
            escaped += c;
        }
    }
    MsiRecord record(0);
    if (!record.get()) return;
    MsiRecordSetStringW(record.get(), 0, escaped.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

std::wstring property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t empty[1] = {};
    if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return {};
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) return {};
    value.resize(size);
    return value;
}

// The tool writes UTF-8 or the ANSI code page depending on where it runs;
// take UTF-8 when the bytes are valid UTF-8.
std::wstring decode(const std::string& bytes) {
    if (bytes.empty()) return {};
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int size = static_cast<int>(bytes.size());
        const int n = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
        if (n <= 0) continue;
        std::wstring text(n, L'\0');
        MultiByteToWideChar(codePage, flags, bytes.data(), size, &text[0], n);
        return text;
    }
    return {};
}

// Quoted so that the tool's C runtime splits it back into exactly this
// argument (backslashes double only before a quote).
void appendArgument(std::wstring& commandLine, const std::wstring& argument) {
    if (!commandLine.empty()) commandLine += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        commandLine += argument;
        return;
    }
    commandLine += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        commandLine.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

// CustomActionData holds the tool's path and its arguments separated by
// tabs; empty fields are options the package left out.
std::vector<std::wstring> splitFields(const std::wstring& data) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    while (start <= data.size()) {
        std::size_t end = data.find(L'\t', start);
        if (end == std::wstring::npos) end = data.size();
        if (end > start) fields.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// What one run of the tool printed (standard output and error, line by
// line) and how it ended.
struct ToolRun {
    bool started = false;
    DWORD exitCode = 1;
    std::vector<std::wstring> lines;
};

// Moves every complete line of pending into run.lines (and into the log when
// relay is set); flush takes the rest as a last line.
void takeLines(MSIHANDLE install, std::string& pending, bool flush, bool relay, ToolRun& run) {
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = pending.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        run.lines.push_back(decode(line));
        if (relay) logLine(install, L"TolmarDeploy: " + run.lines.back());
    }
    pending.erase(0, start);
    if (flush && !pending.empty()) {
        run.lines.push_back(decode(pending));
        if (relay) logLine(install, L"TolmarDeploy: " + run.lines.back());
        pending.clear();
    }
}

// Runs the tool (fields[0]) with the other fields as its arguments, without a
// window, and waits for it. With relay, the command line and every line the
// tool writes go into the installation log as they come.
ToolRun runTool(MSIHANDLE install, const std::vector<std::wstring>& fields, bool relay) {
    ToolRun run;
    std::wstring commandLine;
    for (const std::wstring& field : fields) appendArgument(commandLine, field);
    if (relay) logLine(install, L"Running " + commandLine);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Handle readEnd, writeEnd, input;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0) ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        logLine(install, L"TolmarDeploy: cannot create a pipe for its output (error " +
                             std::to_wstring(GetLastError()) + L").");
        return run;
    }
    *input.put() = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process = {};
    // The application name is given, so no search path is ever consulted.
    if (!CreateProcessW(fields[0].c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        logLine(install, L"TolmarDeploy: cannot start " + fields[0] + L" (error " +
                             std::to_wstring(GetLastError()) + L").");
        return run;
    }
    run.started = true;
    Handle processHandle(process.hProcess), threadHandle(process.hThread);
    // Only the child holds the write end now, so the pipe ends when it does.
    writeEnd.reset();

    std::string pending;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        pending.append(chunk, read);
        takeLines(install, pending, false, relay, run);
    }
    takeLines(install, pending, true, relay, run);
    WaitForSingleObject(processHandle.get(), INFINITE);
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    if (relay) {
        logLine(install,
                L"TolmarDeploy ended with exit code " + std::to_wstring(run.exitCode) + L".");
    }
    return run;
}

std::vector<std::wstring> commandFields(MSIHANDLE install) {
    return splitFields(property(install, L"CustomActionData"));
}

UINT noCommandLine(MSIHANDLE install) {
    logLine(install, L"TolmarDeploy: the package gave no command line.");
    return ERROR_INSTALL_FAILURE;
}

// True when a status line names the model ("QM-4716II driver=yes ...").
bool mentions(const std::vector<std::wstring>& lines, const std::wstring& model) {
    for (const std::wstring& line : lines) {
        if (line.size() > model.size() && line[model.size()] == L' ' &&
            CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, line.c_str(),
                           static_cast<int>(model.size()), model.c_str(),
                           static_cast<int>(model.size())) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Deferred: runs the command line in CustomActionData and waits for it.
extern "C" __declspec(dllexport) UINT __stdcall RunDeployTool(MSIHANDLE install) {
    const std::vector<std::wstring> fields = commandFields(install);
    if (fields.empty()) return noCommandLine(install);
    const ToolRun run = runTool(install, fields, true);
    return run.started && run.exitCode == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Deferred: "<tool> install --model NAME ...". Windows Installer rolls back
// only its own files after a failure, so a run that fails halfway would leave
// a driver or printer nobody can uninstall. When nothing of the model was on
// the system before, what the failed run left is removed again; a printer
// that was already there is never touched.
extern "C" __declspec(dllexport) UINT __stdcall InstallWithTool(MSIHANDLE install) {
    const std::vector<std::wstring> fields = commandFields(install);
    if (fields.empty()) return noCommandLine(install);
    std::wstring model;
    for (std::size_t i = 1; i + 1 < fields.size(); ++i) {
        if (fields[i] == L"--model") model = fields[i + 1];
    }
    const ToolRun before = runTool(install, {fields[0], L"status"}, false);
    const bool nothingBefore =
        before.started && before.exitCode == 0 && !model.empty() && !mentions(before.lines, model);

    const ToolRun run = runTool(install, fields, true);
    if (run.started && run.exitCode == 0) return ERROR_SUCCESS;
    // A usage error (2) or a Windows the package does not fit (3) wrote nothing.
    if (run.started && run.exitCode == 1 && nothingBefore) {
        logLine(install, L"Removing what the failed installation of " + model + L" left behind.");
        runTool(install, {fields[0], L"remove", L"--model", model}, true);
    }
    return ERROR_INSTALL_FAILURE;
}

// Immediate, before anything is written: an installation needs a model.
extern "C" __declspec(dllexport) UINT __stdcall RequireModel(MSIHANDLE install) {
    if (!property(install, L"MODEL").empty()) return ERROR_SUCCESS;
    logLine(install,
            L"MODEL is not set: give the printer model on the command line, for example "
            L"msiexec /i <package>.msi MODEL=QM-4716II. Nothing was installed.");
    return ERROR_INSTALL_FAILURE;
}
