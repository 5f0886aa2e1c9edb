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
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/wine_support.h"

namespace setup::winetest {
namespace {

constexpr int kModel = 2;       // QM-4716II, a model of the 9x driver QM47.DRV
constexpr int kOtherModel = 0;  // QM-4712II, another one
constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\Tolmar Printer Driver";
constexpr wchar_t kSettingsKey[] = L"Software\\Tolmar\\Printer Driver";
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

std::wstring msiPath() {
    return windowsPath(widen(SETUP_MSI_PATH));
}

// The package's own product code, as Programs and Features files it.
std::wstring productCode() {
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(msiPath().c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY),
                         &database) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring code;
    MSIHANDLE view = 0;
    if (MsiDatabaseOpenViewW(database,
                             L"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'",
                             &view) == ERROR_SUCCESS) {
        MSIHANDLE record = 0;
        if (MsiViewExecute(view, 0) == ERROR_SUCCESS &&
            MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            wchar_t value[64] = {};
            DWORD size = sizeof value / sizeof value[0];
            if (MsiRecordGetStringW(record, 1, value, &size) == ERROR_SUCCESS) code = value;
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
    bool driver = false;
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
    seen.driver = findDriver(k9xEnvironment, model(kModel)).has_value();
    seen.modelDriverFile = fileExists(driverDirectory(k9xEnvironment) + L"\\" + driver9x.installed);
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
                 {seen.modelDriverFile, "QM47.DRV in win40"},
                 {seen.settingsKey, "HKLM settings key"},
                 {seen.uninstallEntry, "Programs and Features entry"}};
    for (const auto& part : parts) {
        if (part.present) left += std::string(left.empty() ? "" : ", ") + part.name;
    }
    std::printf("msiexec %s: exit code %lu; left: %s\n", run.c_str(),
                static_cast<unsigned long>(exitCode), left.empty() ? "nothing" : left.c_str());
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
// family on the system; TolmarDeploy runs as on Windows 98.
class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override {
        code_ = productCode();
        ASSERT_FALSE(code_.empty()) << "no ProductCode in " << SETUP_MSI_PATH;
        ASSERT_TRUE(toolKey_.ready());
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kToolAppDefaults, 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        static const wchar_t kVersion[] = L"win98";
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion),
                       sizeof kVersion);
        RegCloseKey(key);
        removal_.emplace(code_);
    }

    std::wstring code_;
    // Destroyed in reverse: the product goes while the tool still runs as on
    // Windows 98, then the family's leftovers, then the tool's version and
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
    EXPECT_TRUE(installed.driver) << "the driver " << modelText(kModel) << " for "
                                  << narrow(k9xEnvironment);
    EXPECT_TRUE(installed.modelDriverFile) << "QM47.DRV in the driver directory";
    // The tool's own lines reach the msiexec log.
    EXPECT_NE(install.log.find("TolmarDeploy ended with exit code 0"), std::string::npos)
        << install.log;

    const std::wstring entry = kUninstallKey + code_;
    const auto text = [&](const wchar_t* name) {
        const std::optional<std::wstring> value = readRegistryText(HKEY_LOCAL_MACHINE, entry, name);
        return value ? narrow(*value) : std::string("(none)");
    };
    EXPECT_EQ(text(L"DisplayName"), "Tolmar Printer Driver");
    EXPECT_EQ(text(L"DisplayVersion"), SETUP_MSI_VERSION);
    EXPECT_EQ(text(L"Publisher"), "Tolmar");

    // The package remembers one model: another one over it is refused, or
    // the first printer would be left where no uninstall reaches it.
    const MsiexecRun other = msiexec(L"/i \"" + msiPath() + L"\" MODEL=" + model(kOtherModel));
    report("/i MODEL=" + modelText(kOtherModel) + " over it", other.exitCode, footprint(code_));
    EXPECT_EQ(other.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << other.log;
    EXPECT_NE(other.log.find("The package is installed for " + modelText(kModel)),
              std::string::npos)
        << other.log;
    EXPECT_FALSE(findPrinter(model(kOtherModel)).has_value())
        << "the printer " << modelText(kOtherModel);
    EXPECT_TRUE(findPrinter(model(kModel)).has_value()) << "the printer " << modelText(kModel);

    const MsiexecRun removal = msiexec(L"/x \"" + msiPath() + L"\"");
    ASSERT_EQ(removal.exitCode, 0u) << removal.log;
    const Footprint removed = footprint(code_);
    report("/x", removal.exitCode, removed);
    EXPECT_FALSE(removed.printer) << "the printer " << modelText(kModel);
    EXPECT_FALSE(removed.driver) << "the driver " << modelText(kModel);
    EXPECT_FALSE(removed.modelDriverFile) << "QM47.DRV, which no other driver uses";
    EXPECT_FALSE(removed.folder) << narrow(kInstallFolder);
    EXPECT_FALSE(removed.settingsKey) << "HKLM\\" << narrow(kSettingsKey);
    EXPECT_FALSE(removed.uninstallEntry) << "the Programs and Features entry";
}

// A package run that fails rolls back to nothing, with the reason in the
// log: no model, an unknown one, and an install step that fails halfway (the
// 9x procedure cannot store COM1's settings where Wine's registry lacks the
// port driver's key), after which the printer the tool already created is
// removed again.
TEST_F(MsiPackage, AFailedInstallationExitsWith1603AndLeavesNothing) {
    ASSERT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kFirstPortKey))
        << "HKLM\\" << narrow(kFirstPortKey) << " would let the COM1 case succeed";
    const struct {
        const char* what;
        std::wstring properties;
        std::string logged;
    } cases[] = {
        {"no MODEL", L"", "MODEL is not set"},
        {"an unknown MODEL", L" MODEL=QM-0000", "TolmarDeploy ended with exit code 2"},
        {"a failed step", L" MODEL=" + model(kModel) + L" PORT=COM1",
         "Removing what the failed installation of " + modelText(kModel) + " left behind"},
    };
    for (const auto& run : cases) {
        SCOPED_TRACE(run.what);
        const MsiexecRun install = msiexec(L"/i \"" + msiPath() + L"\"" + run.properties);
        EXPECT_EQ(install.exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << install.log;
        EXPECT_NE(install.log.find(run.logged), std::string::npos) << install.log;
        const Footprint left = footprint(code_);
        report(run.what, install.exitCode, left);
        EXPECT_FALSE(left.folder) << narrow(kInstallFolder);
        EXPECT_FALSE(left.printer || left.driver || left.modelDriverFile) << "printer or driver";
        EXPECT_FALSE(left.settingsKey) << "HKLM\\" << narrow(kSettingsKey);
        EXPECT_FALSE(left.uninstallEntry) << "the Programs and Features entry";
    }
}

// The cleanup after a failed step never takes a printer the package did not
// bring: one installed before (by the tool itself here) stays.
TEST_F(MsiPackage, AFailedInstallationKeepsAPrinterThatWasThereBefore) {
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

}  // namespace
}  // namespace setup::winetest
