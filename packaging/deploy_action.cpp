// The MSI's custom actions. Windows Installer shows nothing a plain EXE
// action prints and turns its failure into the wrong exit code, so the
// package runs TolmarDeploy from here: each line the tool writes goes into
// the installation log, and a failed run fails the installation (1603).
// The package installs on Windows 95 to Vista, so only functions the 9x
// family implements are called (the A ones, no SetHandleInformation), and
// no C++ library code is linked in: it would bring imports of newer Windows.
// windows.h first: msi.h and msiquery.h need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <cstring>

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

// Text of fixed capacity that keeps what fits and drops the rest: a log
// line cut short is better than none.
template <std::size_t Capacity>
class Text {
public:
    Text& add(const char* text, std::size_t n) {
        if (n > Capacity - 1 - length_) {
            n = Capacity - 1 - length_;
            cut_ = true;
        }
        std::memcpy(data_ + length_, text, n);
        length_ += n;
        data_[length_] = '\0';
        return *this;
    }
    Text& add(const char* text) { return add(text, std::strlen(text)); }
    Text& add(char c) { return add(&c, 1); }
    Text& add(DWORD number) {
        char digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number != 0);
        while (n > 0) add(digits[--n]);
        return *this;
    }
    void clear() {
        length_ = 0;
        data_[0] = '\0';
        cut_ = false;
    }
    const char* c_str() const { return data_; }
    char* data() { return data_; }
    std::size_t size() const { return length_; }
    bool cut() const { return cut_; }

private:
    char data_[Capacity] = {};
    std::size_t length_ = 0;
    bool cut_ = false;
};

constexpr std::size_t kLine = 2048;
using Line = Text<kLine>;

// One line (ANSI code page) into the installation log. The record's template
// is formatted, so square brackets in the text are escaped ("[\[]", "[\]]")
// rather than taken for property references; the second byte of a
// double-byte character is never taken for one.
void logLine(MSIHANDLE install, const char* text) {
    Text<kLine * 4> escaped;
    for (const char* c = text; *c != '\0'; ++c) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*c)) && c[1] != '\0') {
            escaped.add(c, 2);
            ++c;
        } else if (*c == '[') {
            escaped.add("[\\[]");
        } else if (*c == ']') {
            escaped.add("[\\]]");
        } else {
            escaped.add(*c);
        }
    }
    MsiRecord record(0);
    if (!record.get()) return;
    MsiRecordSetStringA(record.get(), 0, escaped.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

// The tool writes UTF-8 when it has no console and the console's code page
// otherwise; the log takes the ANSI code page. Bytes that are not valid
// UTF-8 (or a Windows without UTF-8 conversion) pass unchanged.
void appendAnsi(Line& line, const char* bytes, int size) {
    WCHAR wide[kLine];
    const int n = size > 0 ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, wide,
                                                 static_cast<int>(kLine))
                           : 0;
    char ansi[kLine * 2];
    const int m = n > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, n, ansi,
                                              static_cast<int>(sizeof ansi), nullptr, nullptr)
                        : 0;
    if (m > 0) {
        line.add(ansi, static_cast<std::size_t>(m));
    } else {
        line.add(bytes, static_cast<std::size_t>(size));
    }
}

// Quoted so that the tool's C runtime splits it back into exactly this
// argument (backslashes double only before a quote).
template <std::size_t Capacity>
void appendArgument(Text<Capacity>& commandLine, const char* argument) {
    if (commandLine.size() > 0) commandLine.add(' ');
    if (*argument != '\0' && std::strpbrk(argument, " \t\"") == nullptr) {
        commandLine.add(argument);
        return;
    }
    commandLine.add('"');
    std::size_t backslashes = 0;
    for (const char* c = argument; *c != '\0'; ++c) {
        if (*c == '\\') {
            ++backslashes;
            continue;
        }
        for (std::size_t i = *c == '"' ? backslashes * 2 + 1 : backslashes; i > 0; --i) {
            commandLine.add('\\');
        }
        backslashes = 0;
        commandLine.add(*c);
    }
    for (std::size_t i = backslashes * 2; i > 0; --i) commandLine.add('\\');
    commandLine.add('"');
}

// The tool's path and arguments: CustomActionData with its tabs turned into
// ends of fields; empty fields are options the package left out.
class Fields {
public:
    static constexpr int kMax = 16;

    explicit Fields(MSIHANDLE install) {
        DWORD size = sizeof data_;
        if (MsiGetPropertyA(install, "CustomActionData", data_, &size) != ERROR_SUCCESS) {
            return;
        }
        char* start = data_;
        for (char* c = data_;; ++c) {
            const bool end = *c == '\0';
            if (end || *c == '\t') {
                *c = '\0';
                if (*start != '\0' && count_ < kMax) fields_[count_++] = start;
                start = c + 1;
            }
            if (end) break;
        }
    }

    int count() const { return count_; }
    const char* const* all() const { return fields_; }
    const char* operator[](int i) const { return fields_[i]; }
    // The value after "--model", or "".
    const char* model() const {
        for (int i = 1; i + 1 < count_; ++i) {
            if (std::strcmp(fields_[i], "--model") == 0) return fields_[i + 1];
        }
        return "";
    }

private:
    char data_[4096] = {};
    const char* fields_[kMax] = {};
    int count_ = 0;
};

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when a status line names the model ("QM-4716II driver=yes ..."), in
// any case: model names are ASCII.
bool mentions(const char* line, const char* model) {
    const std::size_t n = std::strlen(model);
    if (n == 0 || std::strlen(line) <= n || line[n] != ' ') return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (asciiUpper(line[i]) != asciiUpper(model[i])) return false;
    }
    return true;
}

// How one run of the tool ended; with watchModel, whether any line it wrote
// named that model.
struct ToolRun {
    bool started = false;
    DWORD exitCode = 1;
    const char* watchModel = nullptr;
    bool mentioned = false;
};

void takeLine(MSIHANDLE install, const char* bytes, std::size_t size, bool relay, ToolRun& run) {
    if (size > 0 && bytes[size - 1] == '\r') --size;
    Line line;
    appendAnsi(line, bytes, static_cast<int>(size));
    if (run.watchModel && mentions(line.c_str(), run.watchModel)) run.mentioned = true;
    if (relay) logLine(install, Line().add("TolmarDeploy: ").add(line.c_str()).c_str());
}

// Runs the tool (arguments[0]) with the other arguments, without a window,
// and waits for it. With relay, the command line and every line the tool
// writes go into the installation log as they come.
void runTool(MSIHANDLE install, const char* const* arguments, int count, bool relay, ToolRun& run) {
    Text<8192> commandLine;
    for (int i = 0; i < count; ++i) appendArgument(commandLine, arguments[i]);
    if (commandLine.cut()) {
        logLine(install, "TolmarDeploy: the package's command line is too long.");
        return;
    }
    if (relay) logLine(install, Line().add("Running ").add(commandLine.c_str()).c_str());

    // Both pipe ends are made inheritable; the one we read from is replaced
    // by a copy the tool does not inherit, or the pipe would never end.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Handle inheritedRead, readEnd, writeEnd, input;
    const HANDLE self = GetCurrentProcess();
    if (!CreatePipe(inheritedRead.put(), writeEnd.put(), &inherit, 0) ||
        !DuplicateHandle(self, inheritedRead.get(), self, readEnd.put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        logLine(install, Line()
                             .add("TolmarDeploy: cannot create a pipe for its output (error ")
                             .add(GetLastError())
                             .add(").")
                             .c_str());
        return;
    }
    inheritedRead.reset();
    *input.put() = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // No console window: CREATE_NO_WINDOW on NT; the 9x family knows only a
    // hidden one.
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = input.get();
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    const bool nt = (GetVersion() & 0x80000000u) == 0;
    PROCESS_INFORMATION process = {};
    // The application name is given, so no search path is ever consulted.
    if (!CreateProcessA(arguments[0], commandLine.data(), nullptr, nullptr, TRUE,
                        nt ? CREATE_NO_WINDOW : 0, nullptr, nullptr, &startup, &process)) {
        logLine(install, Line()
                             .add("TolmarDeploy: cannot start ")
                             .add(arguments[0])
                             .add(" (error ")
                             .add(GetLastError())
                             .add(").")
                             .c_str());
        return;
    }
    run.started = true;
    Handle processHandle(process.hProcess), threadHandle(process.hThread);
    // Only the child holds the write end now, so the pipe ends when it does.
    writeEnd.reset();

    // Whole lines go on as they come; a line longer than the buffer goes in
    // pieces.
    char pending[kLine];
    std::size_t used = 0;
    DWORD read = 0;
    while (ReadFile(readEnd.get(), pending + used, static_cast<DWORD>(sizeof pending - used), &read,
                    nullptr) &&
           read > 0) {
        used += read;
        std::size_t start = 0;
        for (std::size_t i = 0; i < used; ++i) {
            if (pending[i] == '\n') {
                takeLine(install, pending + start, i - start, relay, run);
                start = i + 1;
            }
        }
        if (start == 0 && used == sizeof pending) {
            takeLine(install, pending, used, relay, run);
            start = used;
        }
        std::memmove(pending, pending + start, used - start);
        used -= start;
    }
    if (used > 0) takeLine(install, pending, used, relay, run);
    WaitForSingleObject(processHandle.get(), INFINITE);
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    if (relay) {
        logLine(
            install,
            Line().add("TolmarDeploy ended with exit code ").add(run.exitCode).add(".").c_str());
    }
}

UINT noCommandLine(MSIHANDLE install) {
    logLine(install, "TolmarDeploy: the package gave no command line.");
    return ERROR_INSTALL_FAILURE;
}

}  // namespace

// Deferred: runs the command line in CustomActionData and waits for it.
extern "C" __declspec(dllexport) UINT __stdcall RunDeployTool(MSIHANDLE install) {
    const Fields fields(install);
    if (fields.count() == 0) return noCommandLine(install);
    ToolRun run;
    runTool(install, fields.all(), fields.count(), true, run);
    return run.started && run.exitCode == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Deferred: "<tool> install --model NAME ...". Windows Installer rolls back
// only its own files after a failure, so a run that fails halfway would leave
// a driver or printer nobody can uninstall. When nothing of the model was on
// the system before, what the failed run left is removed again; a printer
// that was already there is never touched.
extern "C" __declspec(dllexport) UINT __stdcall InstallWithTool(MSIHANDLE install) {
    const Fields fields(install);
    if (fields.count() == 0) return noCommandLine(install);
    const char* model = fields.model();

    const char* status[] = {fields[0], "status"};
    ToolRun before;
    before.watchModel = model;
    runTool(install, status, 2, false, before);
    const bool nothingBefore =
        before.started && before.exitCode == 0 && *model != '\0' && !before.mentioned;

    ToolRun run;
    runTool(install, fields.all(), fields.count(), true, run);
    if (run.started && run.exitCode == 0) return ERROR_SUCCESS;
    // A usage error (2) or a Windows the package does not fit (3) wrote nothing.
    if (run.started && run.exitCode == 1 && nothingBefore) {
        logLine(install, Line()
                             .add("Removing what the failed installation of ")
                             .add(model)
                             .add(" left behind.")
                             .c_str());
        const char* remove[] = {fields[0], "remove", "--model", model};
        ToolRun removal;
        runTool(install, remove, 4, true, removal);
    }
    return ERROR_INSTALL_FAILURE;
}

// Immediate, before anything is written: an installation needs a model, and
// the one the installed package has. A package remembers one model; taking
// a second over it (a new MODEL, or a package with another model built in)
// would leave the first printer where no uninstall reaches it.
extern "C" __declspec(dllexport) UINT __stdcall CheckModel(MSIHANDLE install) {
    char model[64] = {};
    DWORD size = sizeof model;
    const UINT modelResult = MsiGetPropertyA(install, "MODEL", model, &size);
    if (modelResult == ERROR_SUCCESS && model[0] == '\0') {
        logLine(install,
                "MODEL is not set: give the printer model on the command line, for example "
                "msiexec /i <package>.msi MODEL=QM-4716II. Nothing was installed.");
        return ERROR_INSTALL_FAILURE;
    }
    char remembered[64] = {};
    size = sizeof remembered;
    const UINT rememberedResult = MsiGetPropertyA(install, "REMEMBEREDMODEL", remembered, &size);
    if (rememberedResult != ERROR_SUCCESS || remembered[0] == '\0') return ERROR_SUCCESS;
    // Same model: an installation again, a repair or an upgrade.
    if (modelResult == ERROR_SUCCESS && std::strlen(model) == std::strlen(remembered) &&
        mentions(Line().add(model).add(' ').c_str(), remembered)) {
        return ERROR_SUCCESS;
    }
    logLine(install, Line()
                         .add("The package is installed for ")
                         .add(remembered)
                         .add(". Uninstall it first (msiexec /x) to install another model. "
                              "Nothing was changed.")
                         .c_str());
    return ERROR_INSTALL_FAILURE;
}
