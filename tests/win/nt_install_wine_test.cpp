// NtInstaller with the real Win32System against Wine's spooler, files and
// registry, Wine reporting Windows XP. This x86_64 build registers the
// driver for "Windows NT x86" as the 32-bit program does; the spooler of a
// 64-bit process creates printers on x64 drivers only, so the printer is
// created where the driver's 64-bit counterpart is registered too (as on a
// 64-bit Windows that holds it), and fails where it is not.
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

constexpr int kModel = 0;  // the first row of the list, the selection's default
constexpr int kCom3 = 5;

// A REG_SZ value as it reads back. The installer passes the text's length
// without the terminating NUL; the NT registry functions count the NUL that
// follows the text in the caller's buffer, so exactly one is stored.
std::vector<BYTE> storedText(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
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
        driverDirectory_ = driverDirectory(kNtEnvironment);
        ASSERT_FALSE(driverDirectory_.empty())
            << "expected a driver directory for Windows NT x86, error " << GetLastError();
        // Every Windows has this key; a fresh Wine prefix does not.
        windowsKey_.emplace(HKEY_CURRENT_USER, kUserWindowsKey);
        ASSERT_TRUE(windowsKey_->ready()) << "expected to create HKCU\\" << narrow(kUserWindowsKey);
        keys_.emplace();
        work_.emplace(false);
        ASSERT_TRUE(work_->ready()) << "expected a working folder under %TEMP%";
        current_.emplace(work_->path());
        ASSERT_TRUE(current_->ready());
    }

    void addWin2kPlaceholders() {
        for (const PackageCopy& copy : ntCopies(kModel)) {
            ASSERT_TRUE(work_->addPlaceholder(copy.source))
                << "placeholder " << narrow(copy.source);
        }
    }

    std::wstring installed(const std::wstring& name) const {
        return driverDirectory_ + L"\\" + name;
    }

    // The one failure this build has without the x64 driver: the printer.
    static void expectOnlyTheAddPrinterFailure(const InstallReport& report) {
        const std::vector<InstallFailure> addPrinter = failuresOf(report, InstallStep::AddPrinter);
        ASSERT_EQ(addPrinter.size(), 1u)
            << "expected AddPrinterA to fail for a driver registered only for Windows NT x86; "
               "report:\n"
            << describe(report);
        EXPECT_EQ(widen(addPrinter[0].subject), modelNames()[kModel]);
        EXPECT_NE(addPrinter[0].error, 0u);
        EXPECT_EQ(report.count(), 1) << "expected no other failure; report:\n" << describe(report);
    }

    std::wstring driverDirectory_;
    // Declared first, so destroyed last: what the installation made goes
    // before the keys are put back.
    std::optional<ScopedRegistryKey> windowsKey_;
    std::optional<InstallationKeysGuard> keys_;
    InstallationCleanup cleanup_;
    std::optional<PackageFolder> work_;
    std::optional<CurrentFolder> current_;
};

TEST_F(NtInstallWine, InstallsFilesDriverAndDefaultPrinterSetting) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    Win32System system;

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    expectOnlyTheAddPrinterFailure(report);
    for (const PackageCopy& copy : ntCopies(kModel)) {
        EXPECT_EQ(readFile(installed(copy.installed)), placeholderContent(copy.installed))
            << "expected " << narrow(copy.source) << " copied into " << narrow(driverDirectory_);
    }

    const std::wstring model = modelNames()[kModel];
    const std::optional<DriverRecord> driver = findDriver(kNtEnvironment, model);
    ASSERT_TRUE(driver) << "expected EnumPrinterDriversW(\"Windows NT x86\") to list "
                        << narrow(model);
    EXPECT_EQ(driver->environment, kNtEnvironment);
    // The spooler answers with full paths into its own folders; the names are ours.
    const std::vector<std::wstring> names = installedNames(ntCopies(kModel));
    const std::map<std::string, std::wstring> files = {
        {"driver", fileNameOf(driver->driverPath)},
        {"data file", fileNameOf(driver->dataFile)},
        {"config file", fileNameOf(driver->configFile)},
        {"help file", fileNameOf(driver->helpFile)},
    };
    const std::map<std::string, std::wstring> expectedFiles = {
        {"driver", L"uniDRV.DLL"},
        {"data file", names[1]},
        {"config file", L"uniDRVui.DLL"},
        {"help file", L"uniDRV.HLP"},
    };
    EXPECT_EQ(files, expectedFiles);
    std::vector<std::wstring> dependent;
    for (const std::wstring& path : driver->dependentFiles) dependent.push_back(fileNameOf(path));
    EXPECT_EQ(dependent,
              (std::vector<std::wstring>{L"ttfsub.GPD", L"unires.DLL", L"stdnames.GPD", names[0]}))
        << "expected the three fixed dependent files, then the family DLL";
    EXPECT_EQ(driver->defaultDataType, L"RAW");

    const std::optional<RegistryValue> device =
        readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device");
    ASSERT_TRUE(device) << "expected HKCU\\" << narrow(kUserWindowsKey) << " value Device";
    EXPECT_EQ(device->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(device->data, storedText(model + L",winspool,LPT1:"));
}

// With the driver's 64-bit counterpart, as on a 64-bit Windows that holds
// it, every step succeeds and the printer reads back as the NT path makes it.
TEST_F(NtInstallWine, CreatesThePrinterWhereTheDriversX64CounterpartIsRegistered) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    const X64DriverCounterpart counterpart(kModel);
    ASSERT_TRUE(counterpart.ready()) << "expected to register the driver for Windows x64";
    Win32System system;

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    EXPECT_TRUE(report.succeeded()) << "expected no failure; report:\n" << describe(report);
    const std::wstring model = modelNames()[kModel];
    const std::optional<PrinterRecord> printer = findPrinter(model);
    ASSERT_TRUE(printer) << "expected OpenPrinterW(\"" << narrow(model)
                         << "\") to find the printer";
    EXPECT_EQ(printer->name, model);
    EXPECT_EQ(printer->port, L"LPT1:");
    EXPECT_EQ(printer->driver, model);
    EXPECT_EQ(printer->printProcessor, L"WinPrint");
    EXPECT_EQ(printer->datatype, L"RAW");
    // The NT family is given no attributes: its default goes through the registry.
    EXPECT_EQ(printer->attributes & (PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_SHARED), 0u)
        << "attributes " << printer->attributes;
    ASSERT_TRUE(printer->driverRecord) << "expected GetPrinterDriverW level 3 on the printer";
    EXPECT_EQ(printer->driverRecord->name, model);

    // The user's default printer names the printer that now exists.
    const std::optional<std::wstring> device =
        readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device");
    ASSERT_TRUE(device);
    EXPECT_EQ(*device, model + L",winspool,LPT1:");
    EXPECT_EQ(defaultPrinterName(), model);
    EXPECT_TRUE(findPrinter(defaultPrinterName())) << "expected Device to name an existing printer";
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
        readRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, L"COM3:");
    ASSERT_TRUE(mode) << "expected HKLM\\" << narrow(kPortsKey) << " value COM3:";
    EXPECT_EQ(mode->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(mode->data, storedText(L"9600,N,8,1,p"));
    EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device"))
        << "expected no default-printer setting when it was not asked for";
}

TEST_F(NtInstallWine, MissingWin2kFolderFailsEveryCopyAndStillRegistersTheDriver) {
    Win32System system;

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    std::vector<std::wstring> failedCopies;
    for (const InstallFailure& failure : failuresOf(report, InstallStep::CopyFile)) {
        failedCopies.push_back(widen(failure.subject));
        EXPECT_EQ(failure.error, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND))
            << "copy of " << failure.subject;
    }
    std::vector<std::wstring> expected = installedNames(ntCopies(kModel));
    std::sort(expected.begin(), expected.end());
    std::sort(failedCopies.begin(), failedCopies.end());
    EXPECT_EQ(failedCopies, expected) << "expected every copy recorded; report:\n"
                                      << describe(report);
    EXPECT_FALSE(report.has(InstallStep::AddPrinterDriver)) << describe(report);
    EXPECT_TRUE(report.has(InstallStep::AddPrinter)) << describe(report);
    EXPECT_EQ(report.count(), 9) << describe(report);

    EXPECT_TRUE(findDriver(kNtEnvironment, modelNames()[kModel]))
        << "expected the driver registered anyway";
    for (const std::wstring& name : expected) {
        EXPECT_FALSE(readFile(installed(name))) << "expected no " << narrow(name) << " to appear";
    }
    EXPECT_TRUE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device"))
        << "expected the later steps to run";
}

TEST_F(NtInstallWine, RunningAgainReplacesTheFilesAndKeepsTheDriver) {
    ASSERT_NO_FATAL_FAILURE(addWin2kPlaceholders());
    Win32System system;
    NtInstaller(system).run(InstallSelection{});
    // A newer set of driver files beside the program.
    for (const PackageCopy& copy : ntCopies(kModel)) {
        ASSERT_TRUE(writeFile(work_->path() + L"\\" + copy.source, "newer " + narrow(copy.source)));
    }

    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    expectOnlyTheAddPrinterFailure(report);
    for (const PackageCopy& copy : ntCopies(kModel)) {
        EXPECT_EQ(readFile(installed(copy.installed)), "newer " + narrow(copy.source))
            << "expected the installed " << narrow(copy.installed) << " replaced";
    }
    EXPECT_TRUE(findDriver(kNtEnvironment, modelNames()[kModel]))
        << "expected the driver still registered";
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
    KeyDeletedBeforeSet system(real, narrow(kUserWindowsKey));
    InstallSelection selection;
    selection.portIndex = kCom3;

    const InstallReport report = NtInstaller(system).run(selection);
    const std::vector<SeenMessageBox> boxes = messageBoxesShown();

    ASSERT_EQ(system.deleteError, ERROR_SUCCESS)
        << "expected to delete HKCU\\" << narrow(kUserWindowsKey);
    EXPECT_NE(system.setError, 0u) << "expected RegSetValueExA on the deleted key to fail";
    ASSERT_EQ(boxes.size(), 1u) << "expected one message box for the failed write";
    EXPECT_EQ(boxes[0].caption, applicationCaption());
    EXPECT_EQ(boxes[0].text, L"错误：无法设置有关的注册表信息");

    // The message is the failure's only trace; everything after it ran.
    expectOnlyTheAddPrinterFailure(report);
    const std::optional<RegistryValue> mode =
        readRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, L"COM3:");
    ASSERT_TRUE(mode) << "expected the port's mode string written after the message";
    EXPECT_EQ(mode->data, storedText(L"9600,N,8,1,p"));
}

}  // namespace
}  // namespace setup::winetest
