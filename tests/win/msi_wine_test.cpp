// The x86 MSI under Wine's msiexec in a 32-bit Windows, TolmarDeploy set to
// Windows XP (or 98, where a case needs the 9x family): a silent install of
// a model's package puts the files, the printer and the Programs and
// Features entry in place, uninstall takes them all away again, and an
// installation with another model or any value that is not the catalogue's
// fails with 1603 and leaves nothing. Each model's package is a product of
// its own. On a 64-bit Windows the package stops at its launch condition.
// The custom action's runner is run here too, with a limit of the test's own.
// Under code page 936. msiexec's exit code is read here, in full: a shell
// sees only its low 8 bits.
#include <gtest/gtest.h>
// windows.h first: msi.h and msiquery.h need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/wide_line.h"
#include "packaging/tool_runner.h"
#include "tests/support/system_state.h"
#include "tests/support/wine_support.h"

namespace setup::winetest {
namespace {

constexpr int kModel = 2;       // QM-4716II: QM47.DLL on NT, QM47.DRV on 9x
constexpr int kOtherModel = 0;  // QM-4712II, another one
constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\Tolmar Printer Driver";
constexpr wchar_t kSettingsKey[] = L"Software\\Tolmar\\Printer Driver\\QM-4716II";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kToolAppDefaults[] = L"Software\\Wine\\AppDefaults\\TolmarDeploy.exe";
constexpr DWORD kProgramTimeoutMs = 120000;

const std::wstring& model(int index) {
    return modelNames()[static_cast<std::size_t>(index)];
}
// A model's name as msiexec's log and the test's output write it.
std::string modelText(int index) {
    return narrow(model(index));
}

// A model's package, as the release carries it.
std::wstring modelMsiPath(int index) {
    return windowsPath(widen(SETUP_MODEL_MSI_PREFIX) + model(index) +
                       widen(SETUP_MODEL_MSI_SUFFIX));
}

// The package most tests install: the model kModel's.
std::wstring msiPath() {
    return modelMsiPath(kModel);
}

// Owns a database, view, record or summary handle, whatever the test's
// assertions do.
class MsiHandle {
public:
    MsiHandle() = default;
    ~MsiHandle() {
        if (handle_) MsiCloseHandle(handle_);
    }
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;

    MSIHANDLE get() const { return handle_; }
    MSIHANDLE* out() { return &handle_; }

private:
    MSIHANDLE handle_ = 0;
};

// A value of the package's Property table; empty when it has none.
std::wstring packageProperty(const std::wstring& package, const std::wstring& name) {
    MsiHandle database;
    MsiHandle view;
    MsiHandle record;
    const std::wstring query = L"SELECT `Value` FROM `Property` WHERE `Property`='" + name + L"'";
    if (MsiOpenDatabaseW(package.c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY),
                         database.out()) != ERROR_SUCCESS ||
        MsiDatabaseOpenViewW(database.get(), query.c_str(), view.out()) != ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
        MsiViewFetch(view.get(), record.out()) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t text[64] = {};
    DWORD size = sizeof text / sizeof text[0];
    return MsiRecordGetStringW(record.get(), 1, text, &size) == ERROR_SUCCESS ? std::wstring(text)
                                                                              : std::wstring();
}

// The package's own product code, as Programs and Features files it.
std::wstring productCode(const std::wstring& package = msiPath()) {
    return packageProperty(package, L"ProductCode");
}

// The package code of its summary information: Windows Installer takes two
// packages with one package code for the same package.
std::wstring packageCode(const std::wstring& package) {
    MsiHandle summary;
    UINT type = 0;
    wchar_t text[64] = {};
    DWORD size = sizeof text / sizeof text[0];
    if (MsiGetSummaryInformationW(0, package.c_str(), 0, summary.out()) != ERROR_SUCCESS ||
        MsiSummaryInfoGetPropertyW(summary.get(), PIDSI_REVNUMBER, &type, nullptr, nullptr, text,
                                   &size) != ERROR_SUCCESS) {
        return {};
    }
    return text;
}

struct MsiexecRun {
    DWORD exitCode = 0;
    std::string log;  // the /l*v log
};

// Runs program with arguments, waits for it and returns its exit code as
// GetExitCodeProcess reports it, all 32 bits of it.
DWORD runProgram(const std::wstring& program, const std::wstring& arguments) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!startProgram(program, L"\"" + program + L"\" " + arguments, FALSE, 0, nullptr, &startup,
                      &process)) {
        ADD_FAILURE() << "CreateProcessW(" << narrow(program) << ") failed with " << GetLastError();
        return ~0u;
    }
    if (WaitForSingleObject(process.hProcess, kProgramTimeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << narrow(program) << " did not end within " << kProgramTimeoutMs / 1000
                      << " s";
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD exitCode = ~0u;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return exitCode;
}

// Runs msiexec silently with arguments and a verbose log, and waits for it.
MsiexecRun msiexec(const std::wstring& arguments) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring logPath =
        std::wstring(temp) + L"tolmar-msi-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(logPath.c_str());
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    MsiexecRun run;
    run.exitCode = runProgram(std::wstring(system) + L"\\msiexec.exe",
                              arguments + L" /qn /l*v \"" + logPath + L"\"");
    run.log = readFile(logPath).value_or("");
    DeleteFileW(logPath.c_str());
    return run;
}

std::wstring fromAnsi(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return wide;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a package run can leave on the system, read in one go so that each
// expectation names the one that is wrong.
struct Footprint {
    bool folder = false;
    bool tool = false;
    bool driverPackage = false;
    bool printer = false;
    bool driver = false;           // in either family's environment
    // The model's own driver file in the driver directory: QM47.DRV, or
    // QM47.DLL, which Windows' spooler deletes with the NT driver's removal
    // and Wine's leaves behind.
    bool modelDriverFile = false;
    bool settingsKey = false;
    bool uninstallEntry = false;
};

Footprint footprint(const std::wstring& productCode) {
    Footprint seen;
    const std::wstring folder = kInstallFolder;
    // The model's own driver file of each package (QM47.DRV, QM47.DLL) first.
    const PackageCopy driver9x = win9xCopies(kModel).front();
    const PackageCopy driverNt = ntCopies(kModel).front();
    seen.folder = fileExists(folder);
    seen.tool = fileExists(folder + L"\\TolmarDeploy.exe");
    seen.driverPackage = fileExists(folder + L"\\" + driver9x.source) &&
                         fileExists(folder + L"\\" + driverNt.source);
    seen.printer = findPrinter(model(kModel)).has_value();
    seen.driver = findDriver(k9xEnvironment, model(kModel)).has_value() ||
                  findDriver(kNtEnvironment, model(kModel)).has_value();
    seen.modelDriverFile =
        fileExists(driverDirectory(k9xEnvironment) + L"\\" + driver9x.installed) ||
        (seen.driver && fileExists(driverDirectory(kNtEnvironment) + L"\\3\\" + driverNt.installed));
    seen.settingsKey = registryKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
    seen.uninstallEntry =
        registryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + productCode);
    return seen;
}

// What a run left, for the test's output: the exit code and the footprint.
void report(const std::string& run, DWORD exitCode, const Footprint& seen) {
    std::string left;
    const struct {
        bool present;
        const char* name;
    } parts[] = {{seen.folder, "install folder"},
                 {seen.tool, "TolmarDeploy.exe"},
                 {seen.driverPackage, "win2k+win9x"},
                 {seen.printer, "printer"},
                 {seen.driver, "driver"},
                 {seen.modelDriverFile, "QM47.DLL or QM47.DRV in the driver directory"},
                 {seen.settingsKey, "HKLM settings key"},
                 {seen.uninstallEntry, "Programs and Features entry"}};
    for (const auto& part : parts) {
        if (part.present) left += std::string(left.empty() ? "" : ", ") + part.name;
    }
    std::printf("msiexec %s: exit code %lu; left: %s\n", run.c_str(),
                static_cast<unsigned long>(exitCode), left.empty() ? "nothing" : left.c_str());
}

// After a failed run: nothing of the package, the printer or the driver.
void expectNothingLeft(const Footprint& left) {
    EXPECT_FALSE(left.folder) << narrow(kInstallFolder);
    EXPECT_FALSE(left.printer || left.driver || left.modelDriverFile) << "printer or driver";
    EXPECT_FALSE(left.settingsKey) << "HKLM\\" << narrow(kSettingsKey);
    EXPECT_FALSE(left.uninstallEntry) << "the Programs and Features entry";
}

// Takes the product away (msiexec /x, when Programs and Features lists it)
// and whatever of the family's printers and drivers is left, on
// construction and again on destruction.
class ProductRemoval {
public:
    explicit ProductRemoval(std::wstring productCode) : code_(std::move(productCode)) { run(); }
    ~ProductRemoval() { run(); }
    ProductRemoval(const ProductRemoval&) = delete;
    ProductRemoval& operator=(const ProductRemoval&) = delete;

private:
    void run() const {
        if (!code_.empty() &&
            registryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + code_)) {
            msiexec(L"/x " + code_);
        }
        removeInstallation();
    }

    std::wstring code_;
};

// Each test starts and ends with the product uninstalled and nothing of the
// family on the system; TolmarDeploy runs as on Windows XP.
class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override {
        code_ = productCode();
        ASSERT_FALSE(code_.empty()) << "no ProductCode in " << narrow(msiPath());
        ASSERT_TRUE(toolKey_.ready());
        ASSERT_NO_FATAL_FAILURE(toolRunsAs(L"winxp"));
        removal_.emplace(code_);
    }

    static void toolRunsAs(const wchar_t* version) {
        ASSERT_TRUE(writeRegistryText(HKEY_CURRENT_USER, kToolAppDefaults, L"Version", version));
    }

    std::wstring code_;
    // Destroyed in reverse: the product goes while the tool still runs as
    // the test set it, then the family's leftovers, then the tool's version and
    // the keys an installation writes are put back.
    InstallationKeysGuard keys_;
    InstallationCleanup cleanup_;
    ScopedRegistryKey toolKey_{HKEY_CURRENT_USER, kToolAppDefaults};
    RegistryKeyGuard toolVersion_{HKEY_CURRENT_USER, kToolAppDefaults};
    std::optional<ProductRemoval> removal_;
};

TEST_F(MsiPackage, InstallsThePrinterAndItsFilesAndUninstallTakesEverythingAway) {
    const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + model(kModel));
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    const Footprint installed = footprint(code_);
    report("/i MODEL=" + modelText(kModel), install.exitCode, installed);
    EXPECT_TRUE(installed.tool) << "TolmarDeploy.exe in " << narrow(kInstallFolder);
    EXPECT_TRUE(installed.driverPackage) << "win2k and win9x beside it";
    EXPECT_TRUE(installed.printer) << "the printer " << modelText(kModel);
    // A 32-bit XP: the printer on the driver for "Windows NT x86".
    const std::optional<PrinterRecord> printer = findPrinter(model(kModel));
    ASSERT_TRUE(printer.has_value()) << "the printer " << modelText(kModel);
    ASSERT_TRUE(printer->driverRecord.has_value());
    EXPECT_EQ(narrow(printer->driverRecord->environment), narrow(kNtEnvironment));
    EXPECT_TRUE(findDriver(kNtEnvironment, model(kModel)).has_value())
        << "the driver " << modelText(kModel) << " for " << narrow(kNtEnvironment);
    EXPECT_TRUE(installed.modelDriverFile) << "QM47.DLL in the driver directory";
    // The tool's own lines reach the msiexec log.
    EXPECT_NE(install.log.find("TolmarDeploy ended with exit code 0"), std::string::npos)
        << install.log;

    const std::wstring entry = kUninstallKey + code_;
    const auto text = [&](const wchar_t* name) {
        const std::optional<std::wstring> value = readRegistryText(HKEY_LOCAL_MACHINE, entry, name);
        return value ? narrow(*value) : std::string("(none)");
    };
    EXPECT_EQ(text(L"DisplayName"), "Tolmar Printer Driver " + modelText(kModel));
    EXPECT_EQ(text(L"DisplayVersion"), SETUP_MSI_VERSION);
    EXPECT_EQ(text(L"Publisher"), "Tolmar");

    const MsiexecRun removal = msiexec(L"/x \"" + msiPath() + L"\"");
    ASSERT_EQ(removal.exitCode, 0u) << removal.log;
    const Footprint removed = footprint(code_);
    report("/x", removal.exitCode, removed);
    EXPECT_FALSE(removed.printer) << "the printer " << modelText(kModel);
    EXPECT_FALSE(removed.driver) << "the driver " << modelText(kModel);
    EXPECT_FALSE(removed.folder) << narrow(kInstallFolder);
    EXPECT_FALSE(removed.settingsKey) << "HKLM\\" << narrow(kSettingsKey);
    EXPECT_FALSE(removed.uninstallEntry) << "the Programs and Features entry";
}

// A driver file still in use when the product is uninstalled goes at the
// next restart: the uninstall succeeds with 3010, which deployment systems
// read as "restart needed", and takes everything else away. Windows 98,
// where the tool itself puts a file in use off until the restart (on NT the
// spooler does that and says nothing). The deferred
// action only notes the restart; the immediate action after InstallFinalize
// asks for it, as Windows Installer wants (a deferred action may not call
// MsiSetMode: Wine does not enforce that, so a call from the deferred action
// would pass here and fail on Windows). With /norestart, as the README's
// examples have it, nothing restarts: a program running before still runs
// after, and the note is gone. (Wine's msiexec starts no restart even
// without /norestart; on Windows /norestart is what keeps a silent
// uninstall from restarting the computer at once.)
TEST_F(MsiPackage, AnUninstallThatLeavesAFileForTheRestartEndsWith3010) {
    ASSERT_NO_FATAL_FAILURE(toolRunsAs(L"win98"));
    const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + model(kModel));
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    WCHAR windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const RestoredFile wininit(std::wstring(windows) + L"\\WININIT.INI");
    const std::wstring running = windowsPath(widen(SETUP_NEVER_ENDING_TOOL));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // its words go nowhere
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(
        startProgram(running, L"\"" + running + L"\"", FALSE, 0, nullptr, &startup, &process))
        << "a program that runs meanwhile";
    MsiexecRun removal;
    {
        const HeldFile held(driverDirectory(k9xEnvironment) + L"\\" +
                            win9xCopies(kModel).front().installed);
        ASSERT_TRUE(held.ready());
        removal = msiexec(L"/x " + code_ + L" /norestart");
    }
    const bool stillRuns = WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    const Footprint removed = footprint(code_);
    report("/x /norestart with QM47.DRV in use", removal.exitCode, removed);
    EXPECT_EQ(removal.exitCode, static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED)) << removal.log;
    EXPECT_NE(removal.log.find("A driver file goes at the next restart"), std::string::npos)
        << removal.log;
    EXPECT_TRUE(stillRuns) << "a restart was started";
    EXPECT_FALSE(
        registryKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tolmar\\Printer Driver\\Restart"))
        << "the note of the restart";
    EXPECT_FALSE(removed.printer || removed.driver) << "printer or driver";
    EXPECT_FALSE(removed.folder || removed.uninstallEntry) << "the product";
}

// Group Policy passes no properties: a model's own package installs that
// model's printer, remembers the model, and its uninstall takes everything.
TEST_F(MsiPackage, AModelsOwnPackageInstallsItsPrinterWithoutAnyProperty) {
    const std::wstring package = modelMsiPath(kModel);
    const MsiexecRun install = msiexec(L"/i \"" + package + L"\"");
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    const Footprint installed = footprint(code_);
    report("/i of the " + modelText(kModel) + " package", install.exitCode, installed);
    EXPECT_TRUE(installed.printer && installed.driver && installed.modelDriverFile)
        << "the printer and driver " << modelText(kModel);
    EXPECT_EQ(readRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, L"Model").value_or(L"(none)"),
              model(kModel))
        << "the remembered model";

    // As Group Policy removes it: by the product code.
    const MsiexecRun removal = msiexec(L"/x " + code_);
    ASSERT_EQ(removal.exitCode, 0u) << removal.log;
    const Footprint removed = footprint(code_);
    report("/x", removal.exitCode, removed);
    expectNothingLeft(removed);
}

// The Sequence of an action in the package's InstallExecuteSequence; -1
// when it has none.
int sequenceOf(const std::wstring& package, const std::wstring& action) {
    MsiHandle database;
    MsiHandle view;
    MsiHandle record;
    const std::wstring query =
        L"SELECT `Sequence` FROM `InstallExecuteSequence` WHERE `Action`='" + action + L"'";
    if (MsiOpenDatabaseW(package.c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY),
                         database.out()) != ERROR_SUCCESS ||
        MsiDatabaseOpenViewW(database.get(), query.c_str(), view.out()) != ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
        MsiViewFetch(view.get(), record.out()) != ERROR_SUCCESS) {
        return -1;
    }
    return MsiRecordGetInteger(record.get(), 1);
}

// One package per model of the catalogue, each a product of its own: its
// name, product code, upgrade code (what a newer release of the model finds
// it by) and package code its own. A newer release removes the older one
// before it installs anything: Wine's msiexec removes it without
// UPGRADINGPRODUCTCODE, so a removal after the installation would take away
// the printer just installed (measured with a 1.0.1.1 build over 1.0.0.1).
TEST(ModelPackages, EveryModelHasAPackageOfItsOwn) {
    std::set<std::wstring> codes;
    for (std::size_t index = 0; index < modelNames().size(); ++index) {
        const int i = static_cast<int>(index);
        SCOPED_TRACE(modelText(i));
        const std::wstring package = modelMsiPath(i);
        ASSERT_TRUE(fileExists(package)) << narrow(package);
        EXPECT_EQ(packageProperty(package, L"ProductName"), L"Tolmar Printer Driver " + model(i));
        for (const std::wstring& code :
             {productCode(package), packageProperty(package, L"UpgradeCode"),
              packageCode(package)}) {
            EXPECT_FALSE(code.empty());
            EXPECT_TRUE(codes.insert(code).second) << "code " << narrow(code) << " twice";
        }
        const int removal = sequenceOf(package, L"RemoveExistingProducts");
        EXPECT_GT(removal, 0) << "RemoveExistingProducts";
        EXPECT_LT(removal, sequenceOf(package, L"InstallInitialize")) << "the older version first";
    }
}

// A package run that fails rolls back to nothing, with the reason in the
// log: another model than the package's, an unknown one, and an install step that fails halfway
// (the 9x procedure cannot store COM1's settings where Wine's registry lacks the port driver's
// key), after which the printer the tool already created is removed again.
TEST_F(MsiPackage, AFailedInstallationExitsWith1603AndLeavesNothing) {
    ASSERT_NO_FATAL_FAILURE(toolRunsAs(L"win98"));
    ASSERT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kFirstPortKey))
        << "HKLM\\" << narrow(kFirstPortKey) << " would let the COM1 case succeed";
    const struct {
        const char* what;
        std::wstring properties;
        std::string logged;
    } cases[] = {
        {"another model", L" MODEL=" + model(kOtherModel),
         "This package installs " + modelText(kModel) + ", not " + modelText(kOtherModel)},
        {"an unknown MODEL", L" MODEL=QM-0000", "MODEL \"QM-0000\" is not a printer model"},
        {"a failed step", L" MODEL=" + model(kModel) + L" PORT=COM1",
         "Removing what the failed installation of " + modelText(kModel) + " left behind"},
    };
    for (const auto& run : cases) {
        SCOPED_TRACE(run.what);
        const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\"" + run.properties);
        EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
        EXPECT_NE(install.log.find(run.logged), std::string::npos) << install.log;
        if (&run == &cases[2]) {
            // The tool's own words, in Chinese here, reach the log intact
            // (msiexec writes it in the ANSI code page).
            EXPECT_NE(fromAnsi(install.log)
                          .find(L"TolmarDeploy: \u5B89\u88C5\u6CA1\u6709\u5168\u90E8"
                                L"\u5B8C\u6210\uFF1A" +
                                model(kModel)),
                      std::wstring::npos)
                << install.log;
        }
        const Footprint left = footprint(code_);
        report(run.what, install.exitCode, left);
        expectNothingLeft(left);
    }
}

// The cleanup after a failed step never takes a printer the package did not
// bring: one installed before (by the tool itself here) stays.
TEST_F(MsiPackage, AFailedInstallationKeepsAPrinterThatWasThereBefore) {
    ASSERT_NO_FATAL_FAILURE(toolRunsAs(L"win98"));
    const DWORD before = runProgram(windowsPath(widen(SETUP_DEPLOY_EXE_PATH)),
                                    L"install --model " + model(kModel) + L" --package \"" +
                                        windowsPath(widen(SETUP_PACKAGE_PATH)) + L"\"");
    ASSERT_EQ(before, 0u) << "TolmarDeploy install before the package";
    const MsiexecRun install =
        msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + model(kModel) + L" PORT=COM1");
    EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
    const Footprint left = footprint(code_);
    report("/i MODEL=" + modelText(kModel) + " PORT=COM1 over an installed printer",
           install.exitCode, left);
    EXPECT_TRUE(left.printer && left.driver) << "the printer and driver installed before";
    EXPECT_FALSE(left.folder || left.uninstallEntry) << "the package rolled back";
}

// What a refused value must leave: the exit code, its reason in the log, and
// no sign that the tool ever ran.
void expectRefused(const MsiexecRun& run, const std::string& property, const std::string& reason) {
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << run.log;
    const std::size_t line = run.log.find(property + " \"");
    ASSERT_NE(line, std::string::npos) << run.log;
    const std::size_t end = run.log.find('\n', line);
    EXPECT_NE(run.log.substr(line, end - line).find(reason), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("Running "), std::string::npos) << "the tool ran:\n" << run.log;
}

// A standard user may give any of these on an elevated installation: each
// one would have become an argument of its own to the tool run as SYSTEM.
// Every one is refused before anything is written.
struct HostileCase {
    const char* what;
    std::wstring properties;
    const char* property;
    const char* reason;
};

std::vector<HostileCase> hostileCases() {
    const std::wstring model = L" MODEL=" + modelNames()[kModel];
    const char* notAPort = "is not one of LPT1 to LPT3 and COM1 to COM4";
    const char* notAModel = "is not a printer model";
    return {
        {"tabs and --package in PORT", model + L" PORT=\"LPT1:\t--package\tC:\\other\"", "PORT",
         notAPort},
        {"spaces and --package in PORT", model + L" PORT=\"LPT1 --package C:\\other\"", "PORT",
         notAPort},
        {"quotes in PORT", model + L" PORT=\"LPT1\"\" --package \"\"C:\\other\"", "PORT", notAPort},
        {"--package in MODEL", L" MODEL=\"" + modelNames()[kModel] + L" --package C:\\other\"",
         "MODEL", notAModel},
        {"a path as MODEL", L" MODEL=C:\\Windows\\System32", "MODEL", notAModel},
        {"--package in DEFAULT", model + L" DEFAULT=\"1 --package C:\\other\"", "DEFAULT",
         "must be 1, 0 or empty"},
        {"an over-long PORT", model + L" PORT=LPT1" + std::wstring(300, L'1'), "PORT",
         "is too long"},
        {"an over-long MODEL", L" MODEL=" + modelNames()[kModel] + std::wstring(2000, L'I'),
         "MODEL", "is too long"},
    };
}

TEST_F(MsiPackage, HostilePropertiesAreRefusedBeforeAnythingIsWritten) {
    for (const HostileCase& hostile : hostileCases()) {
        SCOPED_TRACE(hostile.what);
        const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\"" + hostile.properties);
        expectRefused(install, hostile.property, hostile.reason);
        const Footprint left = footprint(code_);
        report(hostile.what, install.exitCode, left);
        expectNothingLeft(left);
    }
}

// A repair or an uninstall of the installed package is elevated as well and
// takes the same properties, and the values it remembered in HKLM: a bad
// one is refused, and the installation stays as it was. The repair is what
// "msiexec /fa" asks for, spelt out: Wine's msiexec /f takes no properties
// (with a product code it is not implemented and exits 1; with a package
// path it answers 1605).
TEST_F(MsiPackage, ARepairOrUninstallWithHostileValuesChangesNothing) {
    const std::wstring repair = L"/i \"" + msiPath() + L"\" REINSTALL=ALL REINSTALLMODE=amus";
    const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + model(kModel));
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    const auto unchanged = [&](const char* what) {
        const Footprint seen = footprint(code_);
        report(what, ERROR_INSTALL_FAILURE, seen);
        EXPECT_TRUE(seen.printer && seen.driver && seen.tool && seen.uninstallEntry)
            << "the installation as it was";
        EXPECT_EQ(readRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, L"Port").value_or(L"(none)"),
                  L"")
            << "the remembered port";
    };
    for (const HostileCase& hostile : hostileCases()) {
        SCOPED_TRACE(std::string("a repair with ") + hostile.what);
        expectRefused(msiexec(repair + hostile.properties), hostile.property, hostile.reason);
        unchanged(hostile.what);
    }
    {
        SCOPED_TRACE("/x with --package in MODEL");
        expectRefused(msiexec(L"/x \"" + msiPath() + L"\" MODEL=\"" + model(kModel) +
                              L" --package C:\\other\""),
                      "MODEL", "is not a printer model");
        unchanged("/x with --package in MODEL");
    }
    {
        // The remembered port changed behind the package's back.
        SCOPED_TRACE("a repair with a hostile remembered PORT");
        RegistryKeyGuard settings(HKEY_LOCAL_MACHINE, kSettingsKey);
        ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, L"Port",
                                      L"LPT1:\t--package\tC:\\other"));
        expectRefused(msiexec(repair), "PORT", "is not one of LPT1");
    }
    unchanged("a repair with a hostile remembered PORT, the value put back");
    const MsiexecRun good = msiexec(repair);
    EXPECT_EQ(good.exitCode, 0u) << "the remembered values pass\n" << good.log;
}

// The package on a 64-bit Windows (this test runs in a 64-bit prefix, under
// WOW64): msiexec opens it and stops at its launch condition, before any of
// its 32-bit code would run, and the reason is in the log.
TEST(Wow64, ThePackageStopsOn64BitWindowsWithItsReasonInTheLog) {
    const InstallationKeysGuard keys;
    const InstallationCleanup cleanup;
    const std::wstring code = productCode();
    ASSERT_FALSE(code.empty()) << "no ProductCode in " << SETUP_MSI_PATH;
    const ProductRemoval removal(code);
    const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + model(kModel));
    EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
    EXPECT_NE(install.log.find("This package is for 32-bit Windows"), std::string::npos)
        << install.log;
    EXPECT_EQ(MsiQueryProductStateW(code.c_str()), INSTALLSTATE_UNKNOWN) << "registered";
    EXPECT_FALSE(fileExists(L"C:\\Program Files (x86)\\Tolmar Printer Driver"));
    EXPECT_FALSE(findPrinter(model(kModel)).has_value()) << "the printer";
    EXPECT_FALSE(findDriver(kNtEnvironment, model(kModel)).has_value()) << "the driver";
}

// Two models side by side, each its own product: installing the second
// leaves the first, removing one leaves the other with the files it still
// uses (one tool and one driver package in one folder, which Windows
// Installer keeps while a product still has them), and removing the other
// takes everything.
TEST_F(MsiPackage, TwoModelsSitSideBySideAndEachUninstallsAlone) {
    constexpr int kSideModel = 10;  // QM-4706, the 9x driver QM47V.DRV
    const std::wstring sidePackage = modelMsiPath(kSideModel);
    const ProductRemoval sideRemoval(productCode(sidePackage));
    const std::wstring sideCode = productCode(sidePackage);
    ASSERT_NE(sideCode, code_) << "one product code for two models";
    const std::wstring sideKey = L"Software\\Tolmar\\Printer Driver\\" + model(kSideModel);

    const MsiexecRun first = msiexec(L"/i \"" + msiPath() + L"\"");
    ASSERT_EQ(first.exitCode, 0u) << first.log;
    const MsiexecRun second = msiexec(L"/i \"" + sidePackage + L"\"");
    ASSERT_EQ(second.exitCode, 0u) << second.log;
    report("/i of " + modelText(kModel) + ", then of " + modelText(kSideModel), second.exitCode,
           footprint(code_));
    EXPECT_TRUE(findPrinter(model(kModel)).has_value()) << "the printer " << modelText(kModel);
    EXPECT_TRUE(findPrinter(model(kSideModel)).has_value())
        << "the printer " << modelText(kSideModel);
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + sideCode))
        << "the second product's Programs and Features entry";

    const MsiexecRun firstRemoval = msiexec(L"/x " + code_);
    ASSERT_EQ(firstRemoval.exitCode, 0u) << firstRemoval.log;
    const Footprint left = footprint(code_);
    report("/x of " + modelText(kModel), firstRemoval.exitCode, left);
    EXPECT_FALSE(left.printer || left.uninstallEntry || left.settingsKey)
        << modelText(kModel) << " is gone";
    EXPECT_TRUE(findPrinter(model(kSideModel)).has_value())
        << "the printer " << modelText(kSideModel);
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, sideKey)) << narrow(sideKey);
    const std::wstring folder = kInstallFolder;
    for (const auto& [family, files] :
         {std::pair{L"\\win2k", ntPackageFiles()}, std::pair{L"\\win9x", win9xPackageFiles()}}) {
        EXPECT_EQ(packageFilesIn(folder + family).size(), files.size())
            << "the driver package in " << narrow(folder + family);
    }
    // The tool that is left runs, with the package beside it.
    EXPECT_EQ(runProgram(folder + L"\\TolmarDeploy.exe", L"status --model " + model(kSideModel)),
              0u)
        << "TolmarDeploy status --model " << modelText(kSideModel);

    const MsiexecRun secondRemoval = msiexec(L"/x " + sideCode);
    ASSERT_EQ(secondRemoval.exitCode, 0u) << secondRemoval.log;
    const Footprint removed = footprint(sideCode);
    report("/x of " + modelText(kSideModel), secondRemoval.exitCode, removed);
    expectNothingLeft(removed);
    EXPECT_FALSE(findPrinter(model(kSideModel)).has_value())
        << "the printer " << modelText(kSideModel);
}

// The tool runs as SYSTEM, and its path becomes every user's logon command:
// an install folder users can write to (INSTALLDIR is a public property) is
// refused before anything is written.
TEST_F(MsiPackage, AnInstallFolderOutsideProgramFilesIsRefused) {
    const std::wstring hostile = L"C:\\users\\Public\\Tolmar 100%PATH%";
    const MsiexecRun install =
        msiexec(L"/i \"" + msiPath() + L"\" \"INSTALLDIR=" + hostile + L"\"");
    const Footprint left = footprint(code_);
    report("/i INSTALLDIR=" + narrow(hostile), install.exitCode, left);
    EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
    EXPECT_NE(install.log.find("TolmarDeploy would run from " + narrow(hostile) +
                               "\\TolmarDeploy.exe, outside"),
              std::string::npos)
        << install.log;
    EXPECT_EQ(install.log.find("Running "), std::string::npos) << "the tool ran:\n" << install.log;
    EXPECT_FALSE(fileExists(hostile)) << narrow(hostile);
    expectNothingLeft(left);
}

// Runs the package in this process, as a standard user's repair would run:
// Windows Installer sets AdminUser only for an administrator, while Wine's
// msiexec sets it for everyone (Wine takes every user for an administrator
// and hands a standard user's properties to the elevated part unchecked),
// so the test clears it itself. Returns the verbose log.
std::string repairAsAStandardUser(const std::wstring& package,
                                  const std::vector<std::pair<std::wstring, std::wstring>>& given) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring logPath = std::wstring(temp) + L"tolmar-msi-repair.log";
    DeleteFileW(logPath.c_str());
    const INSTALLUILEVEL ui = MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE | INSTALLLOGMODE_INFO | INSTALLLOGMODE_ACTIONSTART |
                      INSTALLLOGMODE_ERROR | INSTALLLOGMODE_PROPERTYDUMP,
                  logPath.c_str(), 0);
    UINT result = ERROR_INSTALL_FAILURE;
    {
        MsiHandle session;
        if (MsiOpenPackageW(package.c_str(), session.out()) == ERROR_SUCCESS) {
            for (const auto& [name, value] : given) {
                MsiSetPropertyW(session.get(), name.c_str(), value.c_str());
            }
            MsiSetPropertyW(session.get(), L"AdminUser", L"");
            result = MsiDoActionW(session.get(), L"INSTALL");
        }
    }
    MsiEnableLogW(0, nullptr, 0);
    MsiSetInternalUI(ui, nullptr);
    std::string log = readFile(logPath).value_or("");
    DeleteFileW(logPath.c_str());
    EXPECT_EQ(result, static_cast<UINT>(ERROR_SUCCESS)) << log;
    return log;
}

// A standard user may start a repair of this per-machine product, which
// then runs elevated with the secure properties the user gave: PORT and
// DEFAULT are set aside and the installed settings stay. An administrator's
// repair takes new ones.
TEST_F(MsiPackage, ARepairKeepsTheInstalledSettingsUnlessAnAdministratorGivesNewOnes) {
    const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\" PORT=LPT3");
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    const auto settings = [&] {
        const auto text = [&](const wchar_t* name) {
            return narrow(readRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, name).value_or(L"-"));
        };
        const std::optional<PrinterRecord> printer = findPrinter(model(kModel));
        return "Port=" + text(L"Port") + " Default=" + text(L"Default") +
               " printer port=" + (printer ? narrow(printer->port) : "-");
    };
    const std::string installed = settings();
    ASSERT_EQ(installed, "Port=LPT3 Default= printer port=LPT3:");

    const std::string log = repairAsAStandardUser(msiPath(), {{L"REINSTALL", L"ALL"},
                                                              {L"REINSTALLMODE", L"amus"},
                                                              {L"PORT", L"LPT2"},
                                                              {L"DEFAULT", L"1"}});
    std::printf("a standard user's repair with PORT=LPT2 DEFAULT=1: %s\n", settings().c_str());
    EXPECT_EQ(settings(), installed) << log;
    EXPECT_NE(log.find("are set aside"), std::string::npos) << log;
    const std::size_t run = log.find("Running ");
    const std::string command =
        run == std::string::npos ? "" : log.substr(run, log.find('\n', run) - run);
    EXPECT_NE(command.find("install --model " + modelText(kModel) + " --port LPT3"),
              std::string::npos)
        << "the tool given the installed settings\n"
        << log;
    EXPECT_EQ(command.find("--default"), std::string::npos) << command;

    const MsiexecRun repair =
        msiexec(L"/i \"" + msiPath() + L"\" REINSTALL=ALL REINSTALLMODE=amus PORT=LPT2");
    EXPECT_EQ(repair.exitCode, 0u) << repair.log;
    std::printf("an administrator's repair with PORT=LPT2: %s\n", settings().c_str());
    EXPECT_EQ(settings(), "Port=LPT2 Default= printer port=LPT2:") << repair.log;
}

// ---- The custom action's runner, in this process, with a limit of its own ----

void collect(void* context, const WideLine& line) {
    static_cast<std::vector<std::wstring>*>(context)->emplace_back(line.c_str(), line.size());
}

bool anyLineHas(const std::vector<std::wstring>& lines, const std::wstring& part) {
    for (const std::wstring& line : lines) {
        if (line.find(part) != std::wstring::npos) return true;
    }
    return false;
}

std::string allLines(const std::vector<std::wstring>& lines) {
    std::string all;
    for (const std::wstring& line : lines) all += narrow(line) + "\n";
    return all;
}

// Ends the stand-in should the runner have left it running.
class StandInEnd {
public:
    ~StandInEnd() {
        const DWORD id = processId();
        const HANDLE process = id ? OpenProcess(PROCESS_TERMINATE, FALSE, id) : nullptr;
        if (!process) return;
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    std::vector<std::wstring> lines;

private:
    // From its first line, "started, process <id>".
    DWORD processId() const {
        for (const std::wstring& line : lines) {
            const std::size_t at = line.find(L"process ");
            if (at != std::wstring::npos) return std::wcstoul(line.c_str() + at + 8, nullptr, 10);
        }
        return 0;
    }
};

TEST(ToolRunner, EndsAToolThatRunsPastItsLimitAndSaysWhy) {
    StandInEnd standIn;
    const ToolRunner runner = {collect, &standIn.lines, 2000};
    const std::string tool = narrow(windowsPath(widen(SETUP_NEVER_ENDING_TOOL)));
    const char* arguments[] = {tool.c_str(), "install"};
    ToolRun run;
    runTool(runner, arguments, 2, true, run);
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_TRUE(anyLineHas(standIn.lines, L"TolmarDeploy: started, process "))
        << "its output before the limit\n"
        << allLines(standIn.lines);
    EXPECT_TRUE(anyLineHas(standIn.lines, L"did not end within 2 s")) << allLines(standIn.lines);
    const HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, L"TolmarNeverEndingTool");
    EXPECT_EQ(mark, nullptr) << "the stand-in still runs";
    if (mark) CloseHandle(mark);
}

// The tool started without a console writes UTF-8, which the runner reads:
// a Chinese path comes back as it was given, and the tool's Chinese words.
TEST(ToolRunner, RelaysTheToolsChineseTextIntact) {
    ASSERT_EQ(GetACP(), 936u) << "run under LC_ALL=zh_CN.UTF-8";
    PackageFolder folder(false);
    ASSERT_TRUE(folder.ready());
    const std::wstring log = folder.path() + L"\\\u6253\u5370\u65E5\u5FD7\\missing\\x.log";
    char ansiLog[MAX_PATH * 2] = {};
    BOOL lossy = FALSE;
    ASSERT_GT(
        WideCharToMultiByte(CP_ACP, 0, log.c_str(), -1, ansiLog, sizeof ansiLog, nullptr, &lossy),
        0);
    ASSERT_FALSE(lossy);
    std::vector<std::wstring> lines;
    const ToolRunner runner = {collect, &lines, 60000};
    const std::string tool = narrow(windowsPath(widen(SETUP_DEPLOY_EXE_PATH)));
    const std::string name = modelText(kModel);
    const char* arguments[] = {tool.c_str(), "install", "--model", name.c_str(), "--log", ansiLog};
    ToolRun run;
    runTool(runner, arguments, 6, true, run);
    EXPECT_EQ(run.exitCode, 1u);
    // "The log file cannot be opened" in Chinese, then the path.
    EXPECT_TRUE(
        anyLineHas(lines, L"TolmarDeploy: \u65E0\u6CD5\u6253\u5F00\u65E5\u5FD7\u6587\u4EF6"))
        << allLines(lines);
    EXPECT_TRUE(anyLineHas(lines, log)) << allLines(lines);
}

}  // namespace
}  // namespace setup::winetest
