// The x64 MSI under Wine's msiexec, TolmarDeploy set to Windows 98 so that
// the package's printer is really created: a silent install puts the files,
// the printer and the Programs and Features entry in place, uninstall takes
// them all away again, and an installation without a usable MODEL fails
// with 1603 and leaves nothing. msiexec's exit code is read here, in full:
// a shell sees only its low 8 bits.
#include <gtest/gtest.h>
// windows.h first: msi.h and msiquery.h need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/wine_support.h"

namespace setup::winetest {
namespace {

constexpr char kModel[] = "QM-4716II";       // a model of the 9x driver QM47.DRV
constexpr char kOtherModel[] = "QM-4712II";  // another one
constexpr char kEnvironment[] = "Windows 4.0";
constexpr char kInstallFolder[] = "C:\\Program Files\\Tolmar Printer Driver";
constexpr char kSettingsKey[] = "Software\\Tolmar\\Printer Driver";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kPortsClassKey[] = "System\\CurrentControlSet\\Services\\Class\\Ports\\0000";
constexpr char kToolAppDefaults[] = "Software\\Wine\\AppDefaults\\TolmarDeploy.exe";
constexpr DWORD kProgramTimeoutMs = 120000;

std::wstring msiPath() {
    return windowsPath(widen(SETUP_MSI_PATH));
}

// The package's own product code, as Programs and Features files it.
std::string productCode() {
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(msiPath().c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY),
                         &database) != ERROR_SUCCESS) {
        return {};
    }
    std::string code;
    MSIHANDLE view = 0;
    if (MsiDatabaseOpenViewW(database,
                             L"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'",
                             &view) == ERROR_SUCCESS) {
        MSIHANDLE record = 0;
        if (MsiViewExecute(view, 0) == ERROR_SUCCESS &&
            MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            char value[64] = {};
            DWORD size = sizeof value;
            if (MsiRecordGetStringA(record, 1, value, &size) == ERROR_SUCCESS) code = value;
            MsiCloseHandle(record);
        }
        MsiCloseHandle(view);
    }
    MsiCloseHandle(database);
    return code;
}

struct MsiexecRun {
    DWORD exitCode = 0;
    std::string log;  // the /l*v log
};

// Runs program with arguments, waits for it and returns its exit code as
// GetExitCodeProcess reports it, all 32 bits of it.
DWORD runProgram(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    SetLastError(0);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        // Wine has, rarely, refused to start a process on a busy machine (1359).
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
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string logPath =
        std::string(temp) + "tolmar-msi-" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(logPath.c_str());
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    MsiexecRun run;
    run.exitCode = runProgram(std::wstring(system) + L"\\msiexec.exe",
                              arguments + L" /qn /l*v \"" + widen(logPath.c_str()) + L"\"");
    run.log = readFile(logPath).value_or("");
    DeleteFileA(logPath.c_str());
    return run;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a package run can leave on the system, read in one go so that each
// expectation names the one that is wrong.
struct Footprint {
    bool folder = false;
    bool tool = false;
    bool driverPackage = false;
    bool printer = false;
    bool driver = false;
    bool modelDriverFile = false;
    bool settingsKey = false;
    bool uninstallEntry = false;
};

Footprint footprint(const std::string& productCode) {
    Footprint seen;
    const std::string folder = kInstallFolder;
    seen.folder = fileExists(folder);
    seen.tool = fileExists(folder + "\\TolmarDeploy.exe");
    seen.driverPackage =
        fileExists(folder + "\\win9x\\QM47.DRV") && fileExists(folder + "\\win2k\\QM47.DLL");
    seen.printer = findPrinter(kModel).has_value();
    seen.driver = findDriver(kEnvironment, kModel).has_value();
    seen.modelDriverFile = fileExists(printerDriverDirectory(kEnvironment) + "\\QM47.DRV");
    seen.settingsKey = registryKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
    seen.uninstallEntry = registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey + productCode);
    return seen;
}

// What a run left, for the test's output: the exit code and the footprint.
void report(const char* run, DWORD exitCode, const Footprint& seen) {
    std::string left;
    const struct {
        bool present;
        const char* name;
    } parts[] = {{seen.folder, "install folder"},
                 {seen.tool, "TolmarDeploy.exe"},
                 {seen.driverPackage, "win2k+win9x"},
                 {seen.printer, "printer"},
                 {seen.driver, "driver"},
                 {seen.modelDriverFile, "QM47.DRV in win40"},
                 {seen.settingsKey, "HKLM settings key"},
                 {seen.uninstallEntry, "Programs and Features entry"}};
    for (const auto& part : parts) {
        if (part.present) left += std::string(left.empty() ? "" : ", ") + part.name;
    }
    std::printf("msiexec %s: exit code %lu; left: %s\n", run, static_cast<unsigned long>(exitCode),
                left.empty() ? "nothing" : left.c_str());
}

// Each test starts and ends with the product uninstalled and nothing of the
// model on the system; TolmarDeploy runs as on Windows 98.
class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override {
        code_ = productCode();
        ASSERT_FALSE(code_.empty()) << "no ProductCode in " << SETUP_MSI_PATH;
        uninstall();
        ASSERT_TRUE(toolKey_.ready());
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kToolAppDefaults, 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
        RegCloseKey(key);
    }
    void TearDown() override { uninstall(); }

    void uninstall() const {
        if (registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey + code_)) {
            msiexec(L"/x " + widen(code_.c_str()));
        }
        cleanup_.run();
        otherCleanup_.run();
    }

    std::string code_;
    InstallationCleanup cleanup_{
        kModel, kEnvironment, {"QM47.DRV", "iconlib.DLL", "uniDRV.DLL", "uniDRV.HLP"}};
    InstallationCleanup otherCleanup_{kOtherModel, kEnvironment, {"QM47.DRV"}};
    ScopedRegistryKey toolKey_{HKEY_CURRENT_USER, kToolAppDefaults};
    RegistryValueRestorer toolVersion_{HKEY_CURRENT_USER, kToolAppDefaults, "Version"};
};

TEST_F(MsiPackage, InstallsThePrinterAndItsFilesAndUninstallTakesEverythingAway) {
    const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + widen(kModel));
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    const Footprint installed = footprint(code_);
    report("/i MODEL=QM-4716II", install.exitCode, installed);
    EXPECT_TRUE(installed.tool) << "TolmarDeploy.exe in " << kInstallFolder;
    EXPECT_TRUE(installed.driverPackage) << "win2k and win9x beside it";
    EXPECT_TRUE(installed.printer) << "the printer " << kModel;
    EXPECT_TRUE(installed.driver) << "the driver " << kModel << " for " << kEnvironment;
    EXPECT_TRUE(installed.modelDriverFile) << "QM47.DRV in the driver directory";
    // The tool's own lines reach the msiexec log.
    EXPECT_NE(install.log.find("TolmarDeploy ended with exit code 0"), std::string::npos)
        << install.log;

    const std::string entry = kUninstallKey + code_;
    const auto text = [&](const char* name) {
        const auto value = readRegistryValue(HKEY_LOCAL_MACHINE, entry, name);
        return value ? std::string(value->data.c_str()) : std::string("(none)");
    };
    EXPECT_EQ(text("DisplayName"), "Tolmar Printer Driver");
    EXPECT_EQ(text("DisplayVersion"), SETUP_MSI_VERSION);
    EXPECT_EQ(text("Publisher"), "Tolmar");

    // The package remembers one model: another one over it is refused, or
    // the first printer would be left where no uninstall reaches it.
    const MsiexecRun other = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + widen(kOtherModel));
    report("/i MODEL=QM-4712II over it", other.exitCode, footprint(code_));
    EXPECT_EQ(other.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << other.log;
    EXPECT_NE(other.log.find("The package is installed for QM-4716II"), std::string::npos)
        << other.log;
    EXPECT_FALSE(findPrinter(kOtherModel).has_value()) << "the printer " << kOtherModel;
    EXPECT_TRUE(findPrinter(kModel).has_value()) << "the printer " << kModel;

    const MsiexecRun removal = msiexec(L"/x \"" + msiPath() + L"\"");
    ASSERT_EQ(removal.exitCode, 0u) << removal.log;
    const Footprint removed = footprint(code_);
    report("/x", removal.exitCode, removed);
    EXPECT_FALSE(removed.printer) << "the printer " << kModel;
    EXPECT_FALSE(removed.driver) << "the driver " << kModel;
    EXPECT_FALSE(removed.modelDriverFile) << "QM47.DRV, which no other driver uses";
    EXPECT_FALSE(removed.folder) << kInstallFolder;
    EXPECT_FALSE(removed.settingsKey) << "HKLM\\" << kSettingsKey;
    EXPECT_FALSE(removed.uninstallEntry) << "the Programs and Features entry";
}

// A package run that fails rolls back to nothing, with the reason in the
// log: no model, an unknown one, and an install step that fails halfway (the
// 9x procedure cannot store COM1's settings where Wine's registry lacks the
// port driver's key), after which the printer the tool already created is
// removed again.
TEST_F(MsiPackage, AFailedInstallationExitsWith1603AndLeavesNothing) {
    ASSERT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kPortsClassKey))
        << "HKLM\\" << kPortsClassKey << " would let the COM1 case succeed";
    const struct {
        const char* what;
        std::wstring properties;
        const char* logged;
    } cases[] = {
        {"no MODEL", L"", "MODEL is not set"},
        {"an unknown MODEL", L" MODEL=QM-0000", "TolmarDeploy ended with exit code 2"},
        {"a failed step", L" MODEL=QM-4716II PORT=COM1",
         "Removing what the failed installation of QM-4716II left behind"},
    };
    for (const auto& run : cases) {
        SCOPED_TRACE(run.what);
        const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\"" + run.properties);
        EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
        EXPECT_NE(install.log.find(run.logged), std::string::npos) << install.log;
        const Footprint left = footprint(code_);
        report(run.what, install.exitCode, left);
        EXPECT_FALSE(left.folder) << kInstallFolder;
        EXPECT_FALSE(left.printer || left.driver || left.modelDriverFile) << "printer or driver";
        EXPECT_FALSE(left.settingsKey) << "HKLM\\" << kSettingsKey;
        EXPECT_FALSE(left.uninstallEntry) << "the Programs and Features entry";
    }
}

// The cleanup after a failed step never takes a printer the package did not
// bring: one installed before (by the tool itself here) stays.
TEST_F(MsiPackage, AFailedInstallationKeepsAPrinterThatWasThereBefore) {
    const DWORD before = runProgram(windowsPath(widen(SETUP_DEPLOY_EXE_PATH)),
                                    L"install --model " + widen(kModel) + L" --package \"" +
                                        windowsPath(widen(SETUP_PACKAGE_PATH)) + L"\"");
    ASSERT_EQ(before, 0u) << "TolmarDeploy install before the package";
    const MsiexecRun install =
        msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + widen(kModel) + L" PORT=COM1");
    EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
    const Footprint left = footprint(code_);
    report("/i MODEL=QM-4716II PORT=COM1 over an installed printer", install.exitCode, left);
    EXPECT_TRUE(left.printer && left.driver) << "the printer and driver installed before";
    EXPECT_FALSE(left.folder || left.uninstallEntry) << "the package rolled back";
}

}  // namespace
}  // namespace setup::winetest
