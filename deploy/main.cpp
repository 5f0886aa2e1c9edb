// TolmarDeploy.exe: installs, removes and reports the printer from the
// command line, silently, for deployment systems. A console program: its
// output is for the command line and its exit code for the caller.
#include <windows.h>

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"
#include "common/startup.h"
#include "common/system_library.h"
#include "common/utf8.h"
#include "deploy/command_line.h"
#include "deploy/deployment.h"
#include "deploy/nt_functions.h"
#include "deploy/tool_output.h"
#include "install/os_version.h"
#include "install/package_files.h"
#include "install/win32_deployment_system.h"
#include "resources/deploy_resource.h"

namespace setup {
namespace {

const NtFunctions& nt() {
    return NtFunctions::get();
}

// The command line's paths in UTF-16; the parser refused any longer than
// kMaxPathUnits, so this never cuts one.
constexpr int kWidePath = static_cast<int>(kMaxPathUnits + 1);

bool toWide(const char* utf8, WCHAR* out, int size) {
    return utf8ToUtf16(utf8, reinterpret_cast<std::uint16_t*>(out),
                       static_cast<std::size_t>(size)) < static_cast<std::size_t>(size);
}

// The full path of `given` (relative to the current directory).
bool fullPath(const char* given, WCHAR* out, DWORD size) {
    static WCHAR wide[kWidePath];
    if (!toWide(given, wide, kWidePath)) return false;
    if (nt().available()) {
        const DWORD n = nt().getFullPathNameW(wide, size, out, nullptr);
        return n > 0 && n < size;
    }
    char givenAnsi[MAX_PATH];
    char ansi[MAX_PATH];
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, givenAnsi, MAX_PATH, nullptr, &lossy) <= 0 ||
        lossy) {
        return false;
    }
    const DWORD n = GetFullPathNameA(givenAnsi, MAX_PATH, ansi, nullptr);
    return n > 0 && n < MAX_PATH &&
           MultiByteToWideChar(CP_ACP, 0, ansi, -1, out, static_cast<int>(size)) > 0;
}

// The folder this program lies in.
bool programFolder(WCHAR* out, DWORD size) {
    if (nt().available()) {
        const DWORD n = nt().getModuleFileNameW(nullptr, out, size);
        if (n == 0 || n >= size) return false;
    } else {
        char ansi[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, ansi, MAX_PATH);
        if (n == 0 || n >= MAX_PATH ||
            MultiByteToWideChar(CP_ACP, 0, ansi, -1, out, static_cast<int>(size)) <= 0) {
            return false;
        }
    }
    int last = -1;
    for (int i = 0; out[i]; ++i) {
        if (out[i] == L'\\' || out[i] == L'/') last = i;
    }
    if (last < 0) return false;
    out[last] = 0;
    return true;
}

// The package folder as a full path without a trailing separator: the one
// given, or the folder of this program (not the current directory:
// deployment systems start programs in the system folder).
bool packageFolderWide(const char* given, WCHAR* out, DWORD size) {
    if (!(given ? fullPath(given, out, size) : programFolder(out, size))) return false;
    int length = lstrlenW(out);
    while (length > 0 && (out[length - 1] == L'\\' || out[length - 1] == L'/')) out[--length] = 0;
    return length > 0;
}

bool isFolder(const WCHAR* path) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (nt().available()) {
        attributes = nt().getFileAttributesW(path);
    } else {
        char ansi[MAX_PATH];
        if (WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, MAX_PATH, nullptr, nullptr) > 0) {
            attributes = GetFileAttributesA(ansi);
        }
    }
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool sameWide(const WCHAR* a, const WCHAR* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// `wide` in the ANSI code page, only when it converts there and back
// unchanged.
bool toAnsiExactly(const WCHAR* wide, char* ansi, int size) {
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, size, nullptr, &lossy) <= 0 || lossy) {
        return false;
    }
    WCHAR back[MAX_PATH * 4];
    return MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH * 4) > 0 && sameWide(back, wide);
}

// The package folder as the installers' ANSI file functions take it. A
// folder whose name the ANSI code page cannot spell, or too deep for a full
// ANSI path to its longest file, becomes the current directory and the
// installers read from there.
bool usePackageFolder(const WCHAR* folder, char* ansi, int size) {
    if (toAnsiExactly(folder, ansi, size) &&
        PackageFiles::packageFolderFits(static_cast<std::size_t>(lstrlenA(ansi)))) {
        return true;
    }
    ansi[0] = '\0';
    return nt().available() && nt().setCurrentDirectoryW(folder);
}

// The full path of the logon program beside this one, for the command each
// user runs at logon, in the ANSI code page the registry's A functions
// take: as it is, or its short name where the code page cannot spell it;
// "" when neither fits.
void logonProgramPathAnsi(char* out, DWORD size) {
    out[0] = '\0';
    static WCHAR path[MAX_PATH * 4];
    static const WCHAR kName[] = L"\\TolmarLogon.exe";
    if (!programFolder(path, MAX_PATH * 4)) return;
    int length = lstrlenW(path);
    if (static_cast<std::size_t>(length) + sizeof kName / sizeof kName[0] > MAX_PATH * 4) return;
    for (const WCHAR* c = kName; *c; ++c) path[length++] = *c;
    path[length] = 0;
    if (toAnsiExactly(path, out, static_cast<int>(size)) || !nt().available()) return;
    static WCHAR shortPath[MAX_PATH * 4];
    const DWORD shortLength = nt().getShortPathNameW(path, shortPath, MAX_PATH * 4);
    if (shortLength == 0 || shortLength >= MAX_PATH * 4 ||
        !toAnsiExactly(shortPath, out, static_cast<int>(size))) {
        out[0] = '\0';
    }
}

void showUsageError(ToolOutput& output, const ParsedCommandLine& parsed) {
    int id = IDS_DEPLOY_USAGE_UNKNOWN_OPTION;
    switch (parsed.error) {
        case UsageError::UnknownCommand:
            id = IDS_DEPLOY_USAGE_UNKNOWN_COMMAND;
            break;
        case UsageError::UnknownOption:
            id = IDS_DEPLOY_USAGE_UNKNOWN_OPTION;
            break;
        case UsageError::UnknownModel:
            id = IDS_DEPLOY_USAGE_UNKNOWN_MODEL;
            break;
        case UsageError::UnknownPort:
            id = IDS_DEPLOY_USAGE_UNKNOWN_PORT;
            break;
        case UsageError::MissingValue:
            id = IDS_DEPLOY_USAGE_MISSING_VALUE;
            break;
        case UsageError::Repeated:
            id = IDS_DEPLOY_USAGE_REPEATED;
            break;
        case UsageError::MissingModel:
            id = IDS_DEPLOY_USAGE_MISSING_MODEL;
            break;
        case UsageError::TooLong:
            id = IDS_DEPLOY_USAGE_TOO_LONG;
            break;
        case UsageError::PathTooLong:
            id = IDS_DEPLOY_USAGE_PATH_TOO_LONG;
            break;
        case UsageError::None:
            break;
    }
    output.line(Stream::Err, id, parsed.offending);
    output.line(Stream::Err, IDS_DEPLOY_USAGE_HINT, "");
}

void showHelp(ToolOutput& output) {
    WideLine usage;
    output.appendString(usage, IDS_DEPLOY_USAGE);
    output.write(Stream::Out, usage.c_str(), usage.size());
    WideLine models;
    output.appendString(models, IDS_DEPLOY_MODELS);
    for (int i = 0; i < ModelCatalogue::kCount; ++i) {
        models.append(i % 5 == 0 ? L"\r\n  " : L"  ");
        models.appendUtf8(ModelCatalogue::row(i).modelName);
    }
    models.append(L"\r\n");
    output.write(Stream::Out, models.c_str(), models.size());
}

void logExitCode(ToolOutput& output, int result) {
    WideLine code;
    code.appendNumber(static_cast<DWORD>(result));
    output.logOnly(IDS_DEPLOY_EXIT, code.c_str());
}

// Owns an open registry key.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() {
        if (key_) RegCloseKey(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* receive() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// How long a run waits for its turn: kTurnWaitMilliseconds, or less where
// the machine's administrators set DeployWaitSeconds (a DWORD) under
// HKLM\Software\Tolmar\Printer Driver, as the tests do. Only administrators
// can write there, so no standard user can cut short the wait of a run as
// SYSTEM; and no value makes the wait longer.
std::uint32_t turnWaitMilliseconds() {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tolmar\\Printer Driver", 0, KEY_QUERY_VALUE,
                      key.receive()) != ERROR_SUCCESS) {
        return kTurnWaitMilliseconds;
    }
    DWORD seconds = 0;
    DWORD type = 0;
    DWORD size = sizeof seconds;
    if (RegQueryValueExA(key.get(), "DeployWaitSeconds", nullptr, &type,
                         reinterpret_cast<BYTE*>(&seconds), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof seconds || seconds >= kTurnWaitMilliseconds / 1000) {
        return kTurnWaitMilliseconds;
    }
    return seconds * 1000;
}

int run() {
    ToolOutput output;
    static char line[ArgumentList::kBufferSize];
    static ArgumentList arguments;
    ParsedCommandLine parsed;
    if (!commandLineUtf8(line, sizeof line) || !arguments.split(line)) {
        parsed.error = UsageError::TooLong;
    } else {
        parsed = parseCommandLine(arguments.count(), arguments.arguments());
    }
    if (parsed.error != UsageError::None) {
        showUsageError(output, parsed);
        return kExitUsage;
    }
    const DeployRequest& request = parsed.request;
    if (request.command == Command::Help) {
        showHelp(output);
        return kExitOk;
    }

    if (request.logFile) {
        static WCHAR logPath[kWidePath];
        DWORD error = ERROR_FILENAME_EXCED_RANGE;
        const ToolOutput::LogOpen opened = toWide(request.logFile, logPath, kWidePath)
                                               ? output.openLog(logPath, &error)
                                               : ToolOutput::LogOpen::Failed;
        if (opened == ToolOutput::LogOpen::Linked) {
            output.line(Stream::Err, IDS_DEPLOY_LOG_LINKED, request.logFile);
            return kExitFailed;
        }
        if (opened == ToolOutput::LogOpen::Failed) {
            output.failure(IDS_DEPLOY_LOG_FAILED, request.logFile, error);
            return kExitFailed;
        }
        WideLine started;
        started.appendUtf8(line);
        output.logOnly(IDS_DEPLOY_START, started.c_str());
    }

    DeployContext context;
    OsVersion version = {};
    context.versionKnown = queryWindowsVersion(kVersionInfoExSize, &version) ||
                           queryWindowsVersion(kVersionInfoSize, &version);
    context.version = version;
    context.windows64 = windowsIs64Bit();
    SYSTEMTIME now;
    GetSystemTime(&now);
    context.startTime = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};

    Win32DeploymentSystem system;
    // Installs and removals take turns with other runs on this computer;
    // status only reads, and default, run at each logon, changes only the
    // user's own profile and must not hold up the logon.
    DeploymentTurn turn(system);
    if (request.command != Command::Status && request.command != Command::SetDefault) {
        const int taken = turn.take(context, turnWaitMilliseconds(), output);
        if (taken != kExitOk) {
            logExitCode(output, taken);
            return taken;
        }
    }

    int result = kExitFailed;
    static char packageAnsi[MAX_PATH];
    bool packageReady = true;
    // A Windows that cannot take the package is told so (exit 3) before the
    // package folder is looked at.
    const InstallFamily family = deployFamily(context);
    const bool refused =
        family == InstallFamily::None || (family == InstallFamily::Nt && context.windows64);
    if (request.command == Command::Install && !refused) {
        static WCHAR folder[MAX_PATH * 4];
        const bool found = packageFolderWide(request.packageFolder, folder, MAX_PATH * 4);
        if (!found || !isFolder(folder)) {
            output.lineWide(Stream::Err, IDS_DEPLOY_PACKAGE_UNUSABLE, found ? folder : L"");
            packageReady = false;
        } else {
            output.lineWide(Stream::Err, IDS_DEPLOY_PACKAGE_FOLDER, folder);
            if (!usePackageFolder(folder, packageAnsi, MAX_PATH)) {
                output.failure(IDS_DEPLOY_PACKAGE_UNUSABLE, "", GetLastError());
                packageReady = false;
            }
        }
        context.packageFolder = packageAnsi;
        static char logon[MAX_PATH];
        logonProgramPathAnsi(logon, MAX_PATH);
        context.logonProgramPath = logon;
        static char componentName[128];
        WideLine name;
        output.appendString(name, IDS_DEPLOY_COMPONENT_NAME);
        if (!toAnsiExactly(name.c_str(), componentName, sizeof componentName)) {
            componentName[0] = '\0';
        }
        context.componentName = componentName;
    }
    if (packageReady) result = runDeployRequest(request, context, system, output);
    logExitCode(output, result);
    return result;
}

}  // namespace
}  // namespace setup

// The entry point the linker looks for in a console program; the tool links
// no C runtime (common/runtime.cpp). Windows may enter with the stack aligned
// to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void mainCRTStartup() {
    // Silent: no system box for a missing disk or a crash either.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    setup::constructStaticObjects();
    setup::restrictDllSearchToSystemFolder();
    const int result = setup::run();
    setup::destroyStaticObjects();
    ExitProcess(static_cast<UINT>(result));
}
