#include "install/nt_installer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_steps.h"
#include "tests/support/recording_system.h"

namespace setup {
namespace {

using testing::RecordingSystem;
using Calls = std::vector<std::string>;

const std::string kDir = "C:\\WINDOWS\\System32\\spool\\drivers\\w32x86";
const std::string kWindowsKey = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::string kPortsKey = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

Calls copiesOf(const std::vector<std::string>& names) {
    Calls calls;
    for (const std::string& name : names) {
        calls.push_back("CopyFileA(win2k\\" + name + ", " + kDir + "\\" + name + ", 0)");
    }
    return calls;
}

Calls concat(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(NtInstaller, DefaultsCopyRegisterAndSetTheDefaultPrinter) {
    RecordingSystem system;
    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    EXPECT_TRUE(report.succeeded());
    const Calls expected = concat({
        {"GetPrinterDriverDirectoryA(Windows NT x86, 255)"},
        copiesOf({"QM47.DLL", "QM4712II.GPD", "uniDRVui.DLL", "uniDRV.DLL", "UNIDRV.HLP",
                  "UNIRES.DLL", "TTFSUB.GPD", "STDNAMES.GPD"}),
        {"AddPrinterDriverA(3, QM-4712II)", "AddPrinterA(2, QM-4712II, LPT1:, attributes 0)",
         "RegOpenKeyExA(" + kWindowsKey + ", KEY_SET_VALUE)",
         "RegSetValueExA(" + kWindowsKey + ", Device, REG_SZ, 24 bytes)",
         "RegCloseKey(" + kWindowsKey + ")", "ClosePrinter(printer QM-4712II)"},
    });
    EXPECT_EQ(system.calls, expected);
    ASSERT_EQ(system.registryWrites.size(), 1u);
    EXPECT_EQ(system.registryWrites[0].data, "QM-4712II,winspool,LPT1:")
        << "stored without its NUL";
    EXPECT_TRUE(system.openHandles().empty());
    EXPECT_TRUE(system.misuse.empty());
}

TEST(NtInstaller, Row10OnCom3RecordsAndModeString) {
    RecordingSystem system;
    InstallSelection selection;
    selection.modelIndex = 10;
    selection.portIndex = 5;
    const InstallReport report = NtInstaller(system).run(selection);
    EXPECT_TRUE(report.succeeded());

    // Row 10 shares the family DLL and has its own description file.
    EXPECT_EQ(system.calls[1], copiesOf({"QM47.DLL"})[0]);
    EXPECT_EQ(system.calls[2], copiesOf({"QM4706.GPD"})[0]);

    ASSERT_EQ(system.drivers.size(), 1u);
    const testing::RecordedDriver& d = system.drivers[0];
    EXPECT_EQ(d.cVersion, 2u);
    EXPECT_EQ(d.name, "QM-4706");
    EXPECT_EQ(d.environment, "Windows NT x86");
    EXPECT_EQ(d.driverPath, "\\uniDRV.DLL");
    EXPECT_EQ(d.dataFile, "\\QM4706.GPD");
    EXPECT_EQ(d.configFile, "\\uniDRVui.DLL");
    EXPECT_EQ(d.helpFile, "\\uniDRV.HLP");
    EXPECT_EQ(d.dependentFiles,
              std::string("\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD\0QM47.DLL\0\0", 48));
    EXPECT_EQ(d.monitorName, "");
    EXPECT_EQ(d.defaultDataType, "RAW");

    ASSERT_EQ(system.printers.size(), 1u);
    const testing::RecordedPrinter& p = system.printers[0];
    EXPECT_EQ(p.printerName, "QM-4706");
    EXPECT_EQ(p.portName, "COM3:");
    EXPECT_EQ(p.driverName, "QM-4706") << "registered under the model name, not the display name";
    EXPECT_EQ(p.printProcessor, "WinPrint");
    EXPECT_EQ(p.datatype, "RAW");
    EXPECT_EQ(p.raw.Attributes, 0u) << "the default is set through the registry on NT";
    EXPECT_TRUE(p.otherFieldsZero);

    const Calls tail(system.calls.end() - 7, system.calls.end());
    EXPECT_EQ(tail, (Calls{
                        "RegOpenKeyExA(" + kWindowsKey + ", KEY_SET_VALUE)",
                        "RegSetValueExA(" + kWindowsKey + ", Device, REG_SZ, 22 bytes)",
                        "RegCloseKey(" + kWindowsKey + ")",
                        "RegOpenKeyExA(" + kPortsKey + ", KEY_SET_VALUE)",
                        "RegSetValueExA(" + kPortsKey + ", COM3:, REG_SZ, 12 bytes)",
                        "RegCloseKey(" + kPortsKey + ")",
                        "ClosePrinter(printer QM-4706)",
                    }));
    ASSERT_EQ(system.registryWrites.size(), 2u);
    EXPECT_EQ(system.registryWrites[0].data, "QM-4706,winspool,COM3:");
    EXPECT_EQ(system.registryWrites[1].data, "9600,N,8,1,p");
}

TEST(NtInstaller, ParallelPortWithoutDefaultWritesNoRegistry) {
    RecordingSystem system;
    InstallSelection selection;
    selection.portIndex = 2;
    selection.setAsDefault = false;
    EXPECT_TRUE(NtInstaller(system).run(selection).succeeded());
    EXPECT_EQ(system.calls.size(), 1u + 8u + 3u);
    EXPECT_TRUE(system.registryWrites.empty());
    EXPECT_EQ(system.calls.back(), "ClosePrinter(printer QM-4712II)");
}

TEST(NtInstaller, ExistingPrinterOrDriverIsNoFailureAndRegistryStepsStillRun) {
    RecordingSystem system;
    system.failEvery("AddPrinterA", win32::kErrorPrinterAlreadyExists);
    system.failEvery("AddPrinterDriverA", win32::kErrorPrinterDriverAlreadyInstalled);
    const InstallReport report = NtInstaller(system).run(InstallSelection{});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(system.registryWrites.size(), 1u);
    EXPECT_EQ(system.calls.back(), "RegCloseKey(" + kWindowsKey + ")")
        << "no printer handle to close";
}

TEST(NtInstaller, UnknownDriverDirectoryCopiesNothingButRegistersTheRest) {
    for (std::size_t length : {std::size_t{0}, std::size_t{255}, std::size_t{400}}) {
        RecordingSystem system;
        system.driverDirectories["Windows NT x86"] = std::string(length, 'D');
        const InstallReport report = NtInstaller(system).run(InstallSelection{});
        SCOPED_TRACE("directory of " + std::to_string(length) + " characters");
        ASSERT_EQ(report.count(), 1);
        EXPECT_EQ(report.at(0).step, InstallStep::DriverDirectory);
        for (const std::string& call : system.calls) {
            EXPECT_EQ(call.find("CopyFileA"), std::string::npos) << call;
        }
        EXPECT_EQ(system.drivers.size(), 1u);
        EXPECT_EQ(system.printers.size(), 1u);
        EXPECT_EQ(system.registryWrites.size(), 1u);
    }
}

TEST(NtInstaller, DestinationPathsThatDoNotFitAreRecordedNotTruncated) {
    RecordingSystem system;
    // A MAX_PATH buffer holds 259 characters: 248 + "\" + a ten-character
    // name fits, a twelve-character name does not.
    const std::string dir(248, 'D');
    system.driverDirectories["Windows NT x86"] = dir;
    const InstallReport report = NtInstaller(system).run(InstallSelection{});

    std::vector<std::string> copied;
    for (const std::string& call : system.calls) {
        if (call.rfind("CopyFileA(", 0) != 0) continue;
        const std::size_t start = call.find(", " + dir) + 2;
        const std::string destination = call.substr(start, call.rfind(", ") - start);
        EXPECT_LE(destination.size(), 259u);
        copied.push_back(destination.substr(dir.size() + 1));
    }
    EXPECT_EQ(copied, (std::vector<std::string>{"QM47.DLL", "uniDRV.DLL", "UNIDRV.HLP",
                                                "UNIRES.DLL", "TTFSUB.GPD"}));
    std::vector<std::string> refused;
    for (int i = 0; i < report.count(); ++i) {
        EXPECT_EQ(report.at(i).step, InstallStep::CopyDriverFile);
        EXPECT_EQ(report.at(i).error, win32::kErrorFilenameExcedRange);
        refused.push_back(report.at(i).subject);
    }
    EXPECT_EQ(refused, (std::vector<std::string>{"QM4712II.GPD", "uniDRVui.DLL", "STDNAMES.GPD"}));
    EXPECT_EQ(system.drivers.size(), 1u) << "the steps after the copies still run";
}

TEST(NtInstaller, InvalidSelectionInstallsNothing) {
    RecordingSystem system;
    InstallSelection selection;
    selection.modelIndex = -1;  // a list without a selection
    const InstallReport report = NtInstaller(system).run(selection);
    ASSERT_EQ(report.count(), 1);
    EXPECT_EQ(report.at(0).step, InstallStep::InvalidSelection);
    EXPECT_TRUE(system.calls.empty());
}

}  // namespace
}  // namespace setup
