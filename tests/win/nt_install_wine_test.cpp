// NtInstaller with the real Win32System against Wine's spooler, files and
// registry, Wine reporting Windows XP. This x86_64 build registers the
// driver for "Windows NT x86" as the 32-bit program does, so the printer
// itself cannot be created here: the spooler of a 64-bit process looks for
// an x64 driver. Everything else is checked as it lands.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "install/nt_installer.h"
#include "install/win32_system.h"
#include "tests/win/wine_fixture.h"

namespace setup::winetest {
namespace {

constexpr char kEnvironment[] = "Windows NT x86";
constexpr char kModel[] = "QM-4712II";  // the first model of the list
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char kPortsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr int kCom3 = 5;

// What the installer copies from "win2k", under the same names.
const std::vector<std::string> kDriverFiles = {
    "QM47.DLL",   "QM4712II.GPD", "uniDRVui.DLL", "uniDRV.DLL",
    "UNIDRV.HLP", "UNIRES.DLL",   "TTFSUB.GPD",   "STDNAMES.GPD",
};

// A REG_SZ value as it reads back. The installer passes the text's length
// without the terminating NUL; the NT registry functions count the NUL that
// follows the text in the caller's buffer, so exactly one is stored.
std::string storedText(const char* text) {
    return std::string(text) + '\0';
}

class NtInstallWine : public MessageBoxGuardedTest {
protected:
    void SetUp() override {
        MessageBoxGuardedTest::SetUp();
        const ReportedVersion version = reportedVersion();
        ASSERT_TRUE(version.platformId == VER_PLATFORM_WIN32_NT && version.major == 5 &&
                    version.minor == 1)
            << "expected Wine to report Windows XP (NT 5.1; SETUP_WINE_VERSION=winxp), got "
            << version.platformId << " " << version.major << "." << version.minor;
        driverDirectory_ = printerDriverDirectory(kEnvironment);
        ASSERT_FALSE(driverDirectory_.empty())
            << "expected a driver directory for " << kEnvironment << ", error " << GetLastError();
        cleanup_.emplace(kModel, kEnvironment, kDriverFiles);
        // Every Windows has this key; a fresh Wine prefix does not.
        windowsKey_.emplace(HKEY_CURRENT_USER, kWindowsKey);
        ASSERT_TRUE(windowsKey_->ready()) << "expected to create HKCU\\" << kWindowsKey;
        device_.emplace(HKEY_CURRENT_USER, kWindowsKey, "Device");
        com3Mode_.emplace(HKEY_LOCAL_MACHINE, kPortsKey, "COM3:");
        work_.emplace();
        ASSERT_TRUE(work_->ready()) << "expected a working folder under %TEMP%";
    }

    void addWin2kPlaceholders() {
        for (const std::string& name : kDriverFiles) {
            ASSERT_TRUE(work_->addPlaceholder("win2k\\" + name)) << "placeholder " << name;
        }
    }

    std::string installed(const std::string& name) const { return driverDirectory_ + "\\" + name; }

    // The one failure this build always has: the printer (see the top).
    static void expectOnlyTheAddPrinterFailure(const InstallReport& report) {
        const std::vector<InstallFailure> addPrinter = failuresOf(report, InstallStep::AddPrinter);
        ASSERT_EQ(addPrinter.size(), 1u)
            << "expected AddPrinterA to fail for a driver registered only for " << kEnvironment
            << "; report:\n"
            << describe(report);
        EXPECT_STREQ(addPrinter[0].subject, kModel);
        EXPECT_NE(addPrinter[0].error, 0u);
        EXPECT_EQ(report.count(), 1) << "expected no other failure; report:\n" << describe(report);
    }

    std::string driverDirectory_;
    std::optional<InstallationCleanup> cleanup_;
    std::optional<ScopedRegistryKey> windowsKey_;
    std::optional<RegistryValueRestorer> device_;
    std::optional<RegistryValueRestorer> com3Mode_;
    std::optional<WorkFolder> work_;
};

TEST_F(NtInstallWine, InstallsFilesDriverAndDefaultPrinterSetting) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    Win32System system;

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    expectOnlyTheAddPrinterFailure(report);
    for (const std::string& name : kDriverFiles) {
        EXPECT_EQ(readFile(installed(name)), placeholderContent("win2k\\" + name))
            << "expected win2k\\" << name << " copied into " << driverDirectory_;
    }

    const std::optional<DriverRecord> driver = findDriver(kEnvironment, kModel);
    ASSERT_TRUE(driver) << "expected EnumPrinterDriversA(\"" << kEnvironment << "\") to list "
                        << kModel;
    EXPECT_EQ(driver->environment, kEnvironment);
    // The spooler answers with full paths into its own folders; the names are ours.
    const std::map<std::string, std::string> files = {
        {"driver", fileNameOf(driver->driverPath)},
        {"data file", fileNameOf(driver->dataFile)},
        {"config file", fileNameOf(driver->configFile)},
        {"help file", fileNameOf(driver->helpFile)},
    };
    const std::map<std::string, std::string> expectedFiles = {
        {"driver", "uniDRV.DLL"},
        {"data file", "QM4712II.GPD"},
        {"config file", "uniDRVui.DLL"},
        {"help file", "uniDRV.HLP"},
    };
    EXPECT_EQ(files, expectedFiles);
    std::vector<std::string> dependent;
    for (const std::string& path : driver->dependentFiles) dependent.push_back(fileNameOf(path));
    EXPECT_EQ(dependent,
              (std::vector<std::string>{"ttfsub.GPD", "unires.DLL", "stdnames.GPD", "QM47.DLL"}))
        << "expected the three fixed dependent files, then the family DLL";
    EXPECT_EQ(driver->defaultDataType, "RAW");

    const std::optional<RegistryValue> device =
        readRegistryValue(HKEY_CURRENT_USER, kWindowsKey, "Device");
    ASSERT_TRUE(device) << "expected HKCU\\" << kWindowsKey << " value Device";
    EXPECT_EQ(device->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(device->data, storedText("QM-4712II,winspool,LPT1:"));
}

TEST_F(NtInstallWine, SerialPortGetsItsModeStringAndNoDefaultIsSet) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    Win32System system;
    InstallSelection selection;
    selection.portIndex = kCom3;
    selection.setAsDefault = false;

    const InstallReport report = NtInstaller(system).run(selection);

    expectOnlyTheAddPrinterFailure(report);
    const std::optional<RegistryValue> mode =
        readRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, "COM3:");
    ASSERT_TRUE(mode) << "expected HKLM\\" << kPortsKey << " value COM3:";
    EXPECT_EQ(mode->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(mode->data, storedText("9600,N,8,1,p"));
    EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kWindowsKey, "Device"))
        << "expected no default-printer setting when it was not asked for";
}

TEST_F(NtInstallWine, MissingWin2kFolderFailsEveryCopyAndStillRegistersTheDriver) {
    Win32System system;

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    std::vector<std::string> failedCopies;
    for (const InstallFailure& failure : failuresOf(report, InstallStep::CopyFile)) {
        failedCopies.push_back(failure.subject);
        EXPECT_EQ(failure.error, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND))
            << "copy of " << failure.subject;
    }
    std::vector<std::string> expected = kDriverFiles;
    std::sort(expected.begin(), expected.end());
    std::sort(failedCopies.begin(), failedCopies.end());
    EXPECT_EQ(failedCopies, expected) << "expected every copy recorded; report:\n"
                                      << describe(report);
    EXPECT_FALSE(report.has(InstallStep::AddPrinterDriver)) << describe(report);
    EXPECT_TRUE(report.has(InstallStep::AddPrinter)) << describe(report);
    EXPECT_EQ(report.count(), 9) << describe(report);

    EXPECT_TRUE(findDriver(kEnvironment, kModel)) << "expected the driver registered anyway";
    for (const std::string& name : kDriverFiles) {
        EXPECT_FALSE(readFile(installed(name))) << "expected no " << name << " to appear";
    }
    EXPECT_TRUE(readRegistryValue(HKEY_CURRENT_USER, kWindowsKey, "Device"))
        << "expected the later steps to run";
}

TEST_F(NtInstallWine, RunningAgainReplacesTheFilesAndKeepsTheDriver) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    Win32System system;
    NtInstaller(system).run(InstallSelection{});
    // A newer set of driver files beside the program.
    for (const std::string& name : kDriverFiles) {
        ASSERT_TRUE(writeFile(work_->path() + "\\win2k\\" + name, "newer " + name));
    }

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    expectOnlyTheAddPrinterFailure(report);
    for (const std::string& name : kDriverFiles) {
        EXPECT_EQ(readFile(installed(name)), "newer " + name)
            << "expected the installed " << name << " replaced";
    }
    EXPECT_TRUE(findDriver(kEnvironment, kModel)) << "expected the driver still registered";
}

// Deletes the key between the installer's open and its RegSetValueExA, as
// another program could, so the real call fails on the open handle.
class KeyDeletedBeforeSet : public ForwardingSystem {
public:
    KeyDeletedBeforeSet(SystemApi& inner, std::string subKey)
        : ForwardingSystem(inner), subKey_(std::move(subKey)) {}

    std::uint32_t regOpenKeyForSet(RegistryRoot root, const char* subKey, SysHandle* key) override {
        const std::uint32_t error = inner_.regOpenKeyForSet(root, subKey, key);
        if (error == 0 && root == RegistryRoot::CurrentUser && subKey_ == subKey) target_ = *key;
        return error;
    }
    std::uint32_t regSetValue(SysHandle key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override {
        if (key != 0 && key == target_) {
            target_ = 0;  // once: a later key may get the same handle value
            deleteError = RegDeleteKeyA(HKEY_CURRENT_USER, subKey_.c_str());
            setError = inner_.regSetValue(key, name, type, data, size);
            return setError;
        }
        return inner_.regSetValue(key, name, type, data, size);
    }

    LONG deleteError = -1;
    std::uint32_t setError = 0;

private:
    std::string subKey_;
    SysHandle target_ = 0;
};

TEST_F(NtInstallWine, FailedRegistryWriteShowsTheMessageAndTheInstallGoesOn) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    Win32System real;
    KeyDeletedBeforeSet system(real, kWindowsKey);
    InstallSelection selection;
    selection.portIndex = kCom3;

    const InstallReport report = NtInstaller(system).run(selection);
    const std::vector<SeenMessageBox> boxes = messageBoxesShown();

    ASSERT_EQ(system.deleteError, ERROR_SUCCESS) << "expected to delete HKCU\\" << kWindowsKey;
    EXPECT_NE(system.setError, 0u) << "expected RegSetValueExA on the deleted key to fail";
    ASSERT_EQ(boxes.size(), 1u) << "expected one message box for the failed write";
    EXPECT_EQ(boxes[0].caption, applicationCaption());
    EXPECT_EQ(boxes[0].text, L"错误：无法设置有关的注册表信息");

    // The message is the failure's only trace; everything after it ran.
    expectOnlyTheAddPrinterFailure(report);
    const std::optional<RegistryValue> mode =
        readRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, "COM3:");
    ASSERT_TRUE(mode) << "expected the port's mode string written after the message";
    EXPECT_EQ(mode->data, storedText("9600,N,8,1,p"));
}

}  // namespace
}  // namespace setup::winetest
