// Win9xInstaller with the real Win32System against Wine's spooler, files,
// registry and serial port, Wine reporting Windows 98: what the runs of
// Setup.exe in tests/ui do not reach (a universal driver library already
// installed, a serial port's settings stored as the DCB the port driver
// reads, built on COM1's own state).
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "install/win32_system.h"
#include "install/win9x_installer.h"
#include "tests/win/wine_fixture.h"

namespace setup::winetest {
namespace {

constexpr int kModel = 0;  // the first row of the list, the selection's default
constexpr int kCom1 = 3;
const std::vector<PackageCopy> kCopies = win9xCopies(kModel);

using DcbImage = std::vector<BYTE>;  // the 28 bytes of a DCB

// COM1's state as GetCommState gives it to this process.
std::optional<DcbImage> com1State() {
    SetLastError(0);
    const HANDLE port =
        CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return std::nullopt;
    DCB state = {};
    state.DCBlength = sizeof state;
    SetLastError(0);
    const BOOL ok = GetCommState(port, &state);
    CloseHandle(port);
    if (!ok) return std::nullopt;
    const auto* bytes = reinterpret_cast<const BYTE*>(&state);
    return DcbImage(bytes, bytes + sizeof state);
}

DWORD dword(const DcbImage& image, std::size_t offset) {
    DWORD value = 0;
    std::memcpy(&value, image.data() + offset, sizeof value);
    return value;
}

class Win9xInstallWine : public MessageBoxGuardedTest {
protected:
    void SetUp() override {
        MessageBoxGuardedTest::SetUp();
        const ReportedVersion version = reportedVersion();
        ASSERT_EQ(version.platformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS))
            << "expected Wine to report Windows 98 (SETUP_WINE_VERSION=win98), got platform "
            << version.platformId << " " << version.major << "." << version.minor;
        driverDirectory_ = driverDirectory(k9xEnvironment);
        ASSERT_FALSE(driverDirectory_.empty())
            << "expected a driver directory for Windows 4.0, error " << GetLastError();
        // A killed test may have left the keys; each test starts without them.
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassPortsKey);
        work_.emplace(false);
        ASSERT_TRUE(work_->ready()) << "expected a working folder under %TEMP%";
        current_.emplace(work_->path());
        ASSERT_TRUE(current_->ready());
    }

    void addWin9xPlaceholders() {
        for (const PackageCopy& copy : kCopies) {
            ASSERT_TRUE(work_->addPlaceholder(copy.source))
                << "placeholder " << narrow(copy.source);
        }
    }

    std::wstring installed(const std::wstring& name) const {
        return driverDirectory_ + L"\\" + name;
    }

    std::wstring driverDirectory_;
    InstallationCleanup cleanup_;
    std::optional<PackageFolder> work_;
    std::optional<CurrentFolder> current_;
};

TEST_F(Win9xInstallWine, KeepsTheUniversalDriverLibraryAlreadyInstalled) {
    ASSERT_NO_FATAL_FAILURE(addWin9xPlaceholders());
    const std::string otherPrinters = "universal driver library of another printer\r\n";
    ASSERT_TRUE(writeFile(installed(L"uniDRV.DLL"), otherPrinters));
    Win32System system;

    const InstallReport report = Win9xInstaller(system).run(InstallSelection{});

    EXPECT_TRUE(report.succeeded()) << "expected no failure; report:\n" << describe(report);
    EXPECT_EQ(readFile(installed(L"uniDRV.DLL")), otherPrinters)
        << "expected the installed library left byte for byte as it was";
    for (const PackageCopy& copy : kCopies) {
        if (copy.installed == L"uniDRV.DLL") continue;
        EXPECT_EQ(readFile(installed(copy.installed)), placeholderContent(fileNameOf(copy.source)))
            << "expected " << narrow(copy.source) << " copied";
    }
}

// One choice of port and settings and the DCB bytes it must produce.
struct SerialCase {
    const char* name;
    int portIndex;
    int baudIndex;
    int dataBitsIndex;
    int flowIndex;
    const wchar_t* key;    // where the record goes
    const wchar_t* other;  // where it must not go
    DWORD baud;
    BYTE byteSize;
    BYTE flagsLow, flagsHigh;
};

void PrintTo(const SerialCase& c, std::ostream* out) {
    *out << c.name;
}

class Win9xSerialWine : public Win9xInstallWine,
                        public ::testing::WithParamInterface<SerialCase> {};

// Offsets of what the record sets; every other byte is COM1's.
bool setByTheRecord(std::size_t offset) {
    return (offset >= 4 && offset < 10) || (offset >= 18 && offset <= 20);
}

TEST_P(Win9xSerialWine, StoresTheDcbBuiltOnCom1sState) {
    const SerialCase& c = GetParam();
    // Windows 9x has these keys; a fresh Wine prefix does not.
    ScopedRegistryKey firstPort(HKEY_LOCAL_MACHINE, kFirstPortKey);
    ScopedRegistryKey otherPorts(HKEY_LOCAL_MACHINE, kOtherPortsKey);
    ASSERT_TRUE(firstPort.ready() && otherPorts.ready()) << "expected to create the Ports keys";
    const std::optional<DcbImage> com1 = com1State();
    ASSERT_TRUE(com1) << "expected COM1 to open and give its state: cmake/wine-prefix.sh maps "
                         "it to a pseudo-terminal";
    ASSERT_NO_FATAL_FAILURE(addWin9xPlaceholders());
    Win32System system;
    InstallSelection selection;
    selection.portIndex = c.portIndex;
    selection.baudIndex = c.baudIndex;
    selection.dataBitsIndex = c.dataBitsIndex;
    selection.flowIndex = c.flowIndex;

    const InstallReport report = Win9xInstaller(system).run(selection);

    EXPECT_TRUE(report.succeeded()) << "expected no failure; report:\n" << describe(report);
    const std::optional<RegistryValue> dcb = readRegistryValue(HKEY_LOCAL_MACHINE, c.key, L"DCB");
    ASSERT_TRUE(dcb) << "expected HKLM\\" << narrow(c.key) << " value DCB";
    EXPECT_EQ(dcb->type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(dcb->data.size(), 28u);
    EXPECT_EQ(dword(dcb->data, 4), c.baud) << "BaudRate";
    EXPECT_EQ(dcb->data[8], c.flagsLow) << "flag bits 0-7";
    EXPECT_EQ(dcb->data[9], c.flagsHigh) << "flag bits 8-15";
    EXPECT_EQ(dcb->data[18], c.byteSize) << "ByteSize";
    EXPECT_EQ(dcb->data[19], 0) << "Parity: none";
    EXPECT_EQ(dcb->data[20], 0) << "StopBits: one";
    for (std::size_t offset = 0; offset < 28; ++offset) {
        if (setByTheRecord(offset)) continue;
        EXPECT_EQ(dcb->data[offset], (*com1)[offset])
            << "expected byte " << offset << " kept from COM1's state";
    }
    EXPECT_FALSE(readRegistryValue(HKEY_LOCAL_MACHINE, c.other, L"DCB"))
        << "expected nothing written under " << narrow(c.other);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, Win9xSerialWine,
    ::testing::Values(SerialCase{"Com1At9600With8BitsAndHardwareFlow", kCom1, 4, 3, 2,
                                 kFirstPortKey, kOtherPortsKey, 9600, 8, 0x15, 0x20},
                      SerialCase{"Com3At115200With7BitsAndXonXoff", 5, 8, 2, 1, kOtherPortsKey,
                                 kFirstPortKey, 115200, 7, 0x11, 0x03}),
    [](const ::testing::TestParamInfo<SerialCase>& info) { return info.param.name; });

}  // namespace
}  // namespace setup::winetest
