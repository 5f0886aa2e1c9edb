// NtInstaller with the real Win32System against Wine's spooler, files and
// registry, Wine reporting Windows XP: what the runs of Setup.exe in
// tests/ui do not reach (a serial port without a default printer, a second
// run over newer files). This x86_64 build registers the driver for
// "Windows NT x86" as the 32-bit program does; the spooler of a 64-bit
// process creates printers on x64 drivers only, so the printer fails.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <optional>
#include <string>
#include <vector>

#include "install/nt_installer.h"
#include "install/win32_system.h"
#include "tests/win/wine_fixture.h"

namespace setup::winetest {
namespace {

constexpr int kModel = 0;  // the first row of the list, the selection's default
constexpr int kCom3 = 5;

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
        const std::vector<InstallFailure> addPrinter =
            failuresOf(report, InstallStep::CreatePrinter);
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
    EXPECT_EQ(*mode, storedText(L"9600,N,8,1,p"));
    EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device"))
        << "expected no default-printer setting when it was not asked for";
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

}  // namespace
}  // namespace setup::winetest
