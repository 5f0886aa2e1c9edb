// The MSI's custom actions. Windows Installer shows nothing a plain EXE
// action prints and turns its failure into the wrong exit code, so the
// package runs TolmarDeploy from here: each line the tool writes goes into
// the installation log, and a failed run fails the installation (1603).
// The package installs on Windows 95 to Vista, so only functions the 9x
// family implements are imported (the A ones, no SetHandleInformation), and
// neither the C runtime nor C++ library code is linked in: they would bring
// imports of newer Windows, and instructions of newer processors.
//
// The elevated (deferred) actions run as SYSTEM with what a standard user
// may have given on the command line, so the immediate actions check every
// such value first, before anything is written, and hand on only the
// catalogue's own names (packaging/action_data.h). The tool they run must be
// the one in the package's folder under Program Files.
// windows.h first: msi.h and msiquery.h need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include "catalogue/model_catalogue.h"
#include "common/startup.h"
#include "common/wide_line.h"
#include "packaging/action_data.h"
#include "packaging/tool_runner.h"

namespace {

using setup::ActionCommand;
using setup::ActionProperty;
using setup::ActionRequest;
using setup::DecodedActionData;
using setup::WideLine;

// The longest the package waits for one run of the tool (a hung spooler
// would otherwise hang msiexec, which holds its own lock meanwhile). Fixed
// here: nothing a user can set at installation time changes it.
constexpr DWORD kToolLimitMs = 10 * 60 * 1000;

constexpr char kInstallData[] = "DeployInstall";
constexpr char kRemoveData[] = "DeployRemove";
constexpr char kToolFile[] = "[#TolmarDeploy.exe]";
constexpr std::size_t kDataSize = 1024;
// Where a deferred action notes that its product needs a restart, for the
// immediate action after InstallFinalize to ask for it (a deferred action
// may not call MsiSetMode): a value named by the product code, in a
// volatile key (gone at the restart it stands for) that only administrators
// can write.
constexpr char kRestartKey[] = "Software\\Tolmar\\Printer Driver\\Restart";
constexpr char kRestartKeyParent[] = "Software\\Tolmar\\Printer Driver";
constexpr char kRestartKeyTop[] = "Software\\Tolmar";
constexpr std::size_t kProductCodeSize = 39;  // "{XXXXXXXX-...}" and its NUL

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

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY* receive() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// One line into the installation log. The record's template is formatted,
// so square brackets in the text are escaped ("[\[]", "[\]]") rather than
// taken for property references. NT's Windows Installer takes the UTF-16
// text as it is; the 9x family's only in the ANSI code page.
void logLine(MSIHANDLE install, const WideLine& text) {
    WideLine escaped;
    for (int i = 0; i < text.size(); ++i) {
        const WCHAR c = text.c_str()[i];
        if (c == L'[') {
            escaped.append(L"[\\[]");
        } else if (c == L']') {
            escaped.append(L"[\\]]");
        } else {
            escaped.append(&c, 1);
        }
    }
    MsiRecord record(0);
    if (!record.get()) return;
    using SetStringW = UINT(WINAPI*)(MSIHANDLE, UINT, LPCWSTR);
    const bool nt = (GetVersion() & 0x80000000u) == 0;
    const HMODULE msi = nt ? GetModuleHandleA("msi.dll") : nullptr;
    const auto setStringW = msi ? reinterpret_cast<SetStringW>(reinterpret_cast<void*>(
                                      GetProcAddress(msi, "MsiRecordSetStringW")))
                                : nullptr;
    if (setStringW) {
        setStringW(record.get(), 0, escaped.c_str());
    } else {
        char ansi[WideLine::kCapacity * 2];
        const int n = WideCharToMultiByte(CP_ACP, 0, escaped.c_str(), escaped.size(), ansi,
                                          static_cast<int>(sizeof ansi) - 1, nullptr, nullptr);
        ansi[n > 0 ? n : 0] = '\0';
        MsiRecordSetStringA(record.get(), 0, ansi);
    }
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

void logAnsi(MSIHANDLE install, const char* text) {
    WideLine line;
    line.appendAnsi(text);
    logLine(install, line);
}

void toLog(void* context, const WideLine& line) {
    logLine(*static_cast<MSIHANDLE*>(context), line);
}

void runTool(MSIHANDLE install, const char* const* arguments, int count, bool relay,
             setup::ToolRun& run) {
    const setup::ToolRunner runner = {toLog, &install, kToolLimitMs};
    setup::runTool(runner, arguments, count, relay, run);
}

// The checked values of a run: what was given, what the installed package
// remembered, and the package's own model.
struct CheckedProperties {
    ActionRequest given;
    ActionRequest remembered;
    ActionRequest package;
};

// Reads and checks every property the elevated actions depend on; false
// (with the property, its value and why in the log) at the first one refused.
bool checkProperties(MSIHANDLE install, CheckedProperties& checked) {
    for (int i = 0; i < setup::kActionPropertyCount; ++i) {
        const auto property = static_cast<ActionProperty>(i);
        // Room for more than any good value, to show what was given.
        char value[setup::kMaxPropertyValue * 4 + 1] = {};
        DWORD size = sizeof value;
        const UINT result = MsiGetPropertyA(install, setup::propertyName(property), value, &size);
        value[sizeof value - 1] = '\0';
        const char* why = nullptr;
        if (result == ERROR_MORE_DATA) {
            why = "is too long";
        } else if (result != ERROR_SUCCESS) {
            why = "cannot be read";
        } else {
            ActionRequest& request = property == ActionProperty::PackageModel ? checked.package
                                     : i < 3                                  ? checked.given
                                                                              : checked.remembered;
            why = setup::checkProperty(property, value, request);
        }
        if (!why) continue;
        char shown[96];
        setup::describeValue(value, shown, sizeof shown);
        WideLine line;
        line.appendAnsi(setup::propertyName(property));
        line.append(L" \"");
        line.appendAnsi(shown);
        line.append(L"\" ");
        line.appendAnsi(why);
        line.append(L". Nothing was changed.");
        logLine(install, line);
        return false;
    }
    return true;
}

// False, with the reason in the log, unless tool is the package's own under
// Program Files as Windows names that folder (not as ProgramFilesFolder, a
// property any command line can set).
bool toolInItsFolder(MSIHANDLE install, const char* tool) {
    char programFiles[MAX_PATH] = {};
    DWORD size = sizeof programFiles - 1;
    DWORD type = 0;
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), "ProgramFilesDir", nullptr, &type,
                         reinterpret_cast<BYTE*>(programFiles), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        programFiles[0] = '\0';
    }
    if (setup::isPackageTool(tool, programFiles)) return true;
    WideLine line;
    line.append(L"TolmarDeploy would run from ");
    line.appendAnsi(tool);
    line.append(L", outside ");
    line.appendAnsi(programFiles[0] ? programFiles : "Program Files (not found)");
    line.append(
        L"\\Tolmar Printer Driver: as SYSTEM it runs only from there, where only "
        L"administrators can write. Install without INSTALLDIR. Nothing was changed.");
    logLine(install, line);
    return false;
}

// CustomActionData for a deferred action: the command, the checked values
// and the installed tool's path.
bool setActionData(MSIHANDLE install, const char* property, ActionCommand command,
                   const ActionRequest& request) {
    char tool[MAX_PATH * 2] = {};
    DWORD size = sizeof tool;
    MsiRecord record(1);
    if (!record.get() || MsiRecordSetStringA(record.get(), 0, kToolFile) != ERROR_SUCCESS ||
        MsiFormatRecordA(install, record.get(), tool, &size) != ERROR_SUCCESS) {
        logAnsi(install, "TolmarDeploy: the package cannot name its tool (TolmarDeploy.exe).");
        return false;
    }
    if (!toolInItsFolder(install, tool)) return false;
    char data[kDataSize];
    if (!setup::encodeActionData(command, request, tool, data, sizeof data) ||
        MsiSetPropertyA(install, property, data) != ERROR_SUCCESS) {
        logAnsi(install, "TolmarDeploy: the package cannot name its tool (TolmarDeploy.exe).");
        return false;
    }
    return true;
}

// The deferred action's data, checked again, for the command it is for and
// the tool's folder.
bool readActionData(MSIHANDLE install, ActionCommand command, char (&data)[kDataSize],
                    DecodedActionData& decoded) {
    DWORD size = sizeof data;
    if (MsiGetPropertyA(install, "CustomActionData", data, &size) == ERROR_SUCCESS &&
        setup::decodeActionData(data, decoded) && decoded.command == command) {
        return toolInItsFolder(install, decoded.toolPath);
    }
    logAnsi(install, "TolmarDeploy: the package gave no command line it accepts.");
    return false;
}

bool hasProperty(MSIHANDLE install, const char* name) {
    char value[2] = {};
    DWORD size = sizeof value;
    const UINT result = MsiGetPropertyA(install, name, value, &size);
    return result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && value[0] != '\0');
}

// The product code of the running package; false when it cannot be read.
bool productCode(MSIHANDLE install, char (&code)[kProductCodeSize]) {
    DWORD size = sizeof code;
    return MsiGetPropertyA(install, "ProductCode", code, &size) == ERROR_SUCCESS && code[0];
}

// Deletes a key of ours once nothing is left in it.
void deleteIfEmpty(const char* path) {
    DWORD subkeys = 1;
    DWORD values = 1;
    {
        RegistryKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.receive()) !=
                ERROR_SUCCESS ||
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return;
        }
    }
    // On the 9x family RegDeleteKey takes a whole tree: only an empty key goes.
    if (subkeys == 0 && values == 0) RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

}  // namespace

// The DLL links no C runtime (common/startup.cpp): its static objects are
// made when it is loaded and destroyed when it is unloaded, here.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        setup::constructStaticObjects();
    } else if (reason == DLL_PROCESS_DETACH) {
        setup::destroyStaticObjects();
    }
    return TRUE;
}

// Immediate, before anything is written, on an installation, a repair and an
// upgrade: every value checked, and the model the package is built for; a
// MODEL given, or remembered, must name that one (another model is another
// product, with a package of its own). Sets DeployInstall's data with the
// settings the run keeps.
extern "C" __declspec(dllexport) UINT __stdcall PrepareInstall(MSIHANDLE install) {
    CheckedProperties checked;
    if (!checkProperties(install, checked)) return ERROR_INSTALL_FAILURE;
    const int model = checked.package.modelIndex;
    if (model < 0) {
        logAnsi(install, "The package names no model of its own. Nothing was installed.");
        return ERROR_INSTALL_FAILURE;
    }
    const char* modelName = setup::ModelCatalogue::row(model).modelName;
    const int named[] = {checked.given.modelIndex, checked.remembered.modelIndex};
    for (const int other : named) {
        if (other < 0 || other == model) continue;
        WideLine line;
        line.append(L"This package installs ");
        line.appendAnsi(modelName);
        line.append(L", not ");
        line.appendAnsi(setup::ModelCatalogue::row(other).modelName);
        line.append(L": each model has a package of its own. Nothing was changed.");
        logLine(install, line);
        return ERROR_INSTALL_FAILURE;
    }
    checked.given.modelIndex = model;
    // AdminUser: set by Windows Installer itself, only for an administrator
    // (MSIUSEREALADMINDETECTION in the package makes Vista say the same).
    bool kept = false;
    const ActionRequest settings =
        setup::settingsToRun(checked.given, checked.remembered, hasProperty(install, "Installed"),
                             hasProperty(install, "AdminUser"), kept);
    if (kept) {
        // What the component writes to the registry follows the properties.
        char port[setup::kMaxPropertyValue + 1] = {};
        char asDefault[setup::kMaxPropertyValue + 1] = {};
        DWORD size = sizeof port;
        MsiGetPropertyA(install, "REMEMBEREDPORT", port, &size);
        size = sizeof asDefault;
        MsiGetPropertyA(install, "REMEMBEREDDEFAULT", asDefault, &size);
        if (MsiSetPropertyA(install, "PORT", port) != ERROR_SUCCESS ||
            MsiSetPropertyA(install, "DEFAULT", asDefault) != ERROR_SUCCESS) {
            logAnsi(install, "The installed settings cannot be kept. Nothing was changed.");
            return ERROR_INSTALL_FAILURE;
        }
        logAnsi(install,
                "PORT and DEFAULT given on the command line are set aside: a repair keeps the "
                "installed settings unless an administrator gives new ones.");
    }
    return setActionData(install, kInstallData, ActionCommand::Install, settings)
               ? ERROR_SUCCESS
               : ERROR_INSTALL_FAILURE;
}

// Immediate, before anything is removed: every value checked, and
// DeployRemove's data made for the model the package remembered (its own).
extern "C" __declspec(dllexport) UINT __stdcall PrepareRemove(MSIHANDLE install) {
    CheckedProperties checked;
    if (!checkProperties(install, checked)) return ERROR_INSTALL_FAILURE;
    if (checked.remembered.modelIndex < 0 || checked.package.modelIndex < 0) return ERROR_SUCCESS;
    checked.remembered.modelIndex = checked.package.modelIndex;
    return setActionData(install, kRemoveData, ActionCommand::Remove, checked.remembered)
               ? ERROR_SUCCESS
               : ERROR_INSTALL_FAILURE;
}

// Deferred: "<tool> remove --model NAME" for the remembered model.
extern "C" __declspec(dllexport) UINT __stdcall RemoveWithTool(MSIHANDLE install) {
    char data[kDataSize] = {};
    DecodedActionData decoded;
    if (!readActionData(install, ActionCommand::Remove, data, decoded))
        return ERROR_INSTALL_FAILURE;
    const char* arguments[setup::kMaxToolArguments];
    setup::ToolRun run;
    runTool(install, arguments, setup::removeArguments(decoded, arguments), true, run);
    if (!run.started || run.timedOut) return ERROR_INSTALL_FAILURE;
    // A driver file the spooler still holds goes at the next restart: the
    // removal has succeeded, and msiexec is to end with 3010 so that
    // deployment systems schedule that restart. Noted here, asked for by
    // AskForRestart.
    if (run.exitCode == ERROR_SUCCESS_REBOOT_REQUIRED) {
        char code[kProductCodeSize] = {};
        RegistryKey key;
        const char* model = setup::ModelCatalogue::row(decoded.request.modelIndex).modelName;
        if (!productCode(install, code) ||
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRestartKey, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_SET_VALUE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS ||
            RegSetValueExA(key.get(), code, 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                           static_cast<DWORD>(lstrlenA(model) + 1)) != ERROR_SUCCESS) {
            logAnsi(install,
                    "The restart the removal needs could not be noted: restart the computer.");
        }
        return ERROR_SUCCESS;
    }
    return run.exitCode == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Immediate, after InstallFinalize: asks for the restart a deferred action
// of this product noted (msiexec then ends with 3010, and restarts only
// where neither /norestart nor REBOOT=ReallySuppress is given), and takes
// the note away. A standard user's run cannot delete it: it goes at the
// restart.
extern "C" __declspec(dllexport) UINT __stdcall AskForRestart(MSIHANDLE install) {
    char code[kProductCodeSize] = {};
    if (!productCode(install, code)) return ERROR_SUCCESS;
    {
        RegistryKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRestartKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          key.receive()) != ERROR_SUCCESS &&
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRestartKey, 0, KEY_QUERY_VALUE, key.receive()) !=
                ERROR_SUCCESS) {
            return ERROR_SUCCESS;
        }
        if (RegQueryValueExA(key.get(), code, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return ERROR_SUCCESS;
        }
        logAnsi(install, "A driver file goes at the next restart: the computer must be restarted.");
        if (MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE) != ERROR_SUCCESS) {
            logAnsi(install, "Windows Installer did not take the request for the restart.");
        }
        RegDeleteValueA(key.get(), code);
    }
    deleteIfEmpty(kRestartKey);
    deleteIfEmpty(kRestartKeyParent);
    deleteIfEmpty(kRestartKeyTop);
    return ERROR_SUCCESS;
}

// Deferred: "<tool> install --model NAME --port PORT [--default]". Windows
// Installer rolls back only its own files after a failure, so a run that
// fails halfway would leave a driver or printer nobody can uninstall. When
// nothing of the model was on the system before, what the failed run left is
// removed again; a printer that was already there is never touched. A tool
// that had to be ended is not run again: what hung it would hang the removal.
extern "C" __declspec(dllexport) UINT __stdcall InstallWithTool(MSIHANDLE install) {
    char data[kDataSize] = {};
    DecodedActionData decoded;
    if (!readActionData(install, ActionCommand::Install, data, decoded))
        return ERROR_INSTALL_FAILURE;
    const char* model = setup::ModelCatalogue::row(decoded.request.modelIndex).modelName;

    const char* status[] = {decoded.toolPath, "status"};
    setup::ToolRun before;
    before.watchModel = model;
    runTool(install, status, 2, false, before);
    if (before.timedOut) return ERROR_INSTALL_FAILURE;
    const bool nothingBefore = before.started && before.exitCode == 0 && !before.mentioned;

    const char* arguments[setup::kMaxToolArguments];
    setup::ToolRun run;
    runTool(install, arguments, setup::installArguments(decoded, arguments), true, run);
    if (run.started && !run.timedOut && run.exitCode == 0) return ERROR_SUCCESS;
    // A usage error (2) or a Windows the package does not fit (3) wrote nothing.
    if (run.started && !run.timedOut && run.exitCode == 1 && nothingBefore) {
        WideLine line;
        line.append(L"Removing what the failed installation of ");
        line.appendAnsi(model);
        line.append(L" left behind.");
        logLine(install, line);
        const char* remove[setup::kMaxToolArguments];
        setup::ToolRun removal;
        runTool(install, remove, setup::removeArguments(decoded, remove), true, removal);
    }
    return ERROR_INSTALL_FAILURE;
}
