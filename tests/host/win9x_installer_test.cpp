#include "install/win9x_installer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/recording_system.h"

namespace setup {
namespace {

using testing::RecordingSystem;
using Calls = std::vector<std::string>;

const std::string kDir = "C:\\WINDOWS\\SYSTEM";
const std::string kKey0000 = "HKLM\\System\\CurrentControlSet\\Services\\Class\\Ports\\0000";
const std::string kKey0001 = "HKLM\\System\\CurrentControlSet\\Services\\Class\\Ports\\0001";

std::string copy(const std::string& source, const std::string& destName) {
    return "CopyFileA(win9x\\" + source + ", " + kDir + "\\" + destName + ", 0)";
}

std::string dcbOf(const DcbBytes& portTemplate, const InstallSelection& s) {
    const SerialDcbRecord record(portTemplate, s.baudIndex, s.dataBitsIndex, s.flowIndex);
    return std::string(reinterpret_cast<const char*>(record.data()), record.size());
}

TEST(Win9xInstaller, Com1CopiesRegistersAndStoresTheDcbUnder0000) {
    RecordingSystem system;
    InstallSelection selection;
    selection.portIndex = 3;
    const InstallReport report = Win9xInstaller(system).run(selection);

    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(system.calls, (Calls{
                                "GetPrinterDriverDirectoryA((null), 255)",
                                copy("QM47.DRV", "QM47.DRV"),
                                copy("iconlib.DLL", "iconlib.DLL"),
                                "FindFirstFileA(" + kDir + "\\uniDRV.DLL)",
                                copy("uniDRV.DLL", "uniDRV.DLL"),
                                copy("uniDRV.hlp", "uniDRV.HLP"),
                                "AddPrinterDriverA(3, QM-4712II)",
                                "AddPrinterA(2, QM-4712II, COM1:, attributes 4)",
                                "ClosePrinter(printer QM-4712II)",
                                "CreateFileA(COM1)",
                                "GetCommState(COM1)",
                                "RegOpenKeyExA(" + kKey0000 + ", KEY_SET_VALUE)",
                                "RegSetValueExA(" + kKey0000 + ", DCB, REG_BINARY, 28 bytes)",
                                "RegCloseKey(" + kKey0000 + ")",
                                "CloseHandle(COM1)",
                            }));
    ASSERT_EQ(system.registryWrites.size(), 1u);
    EXPECT_EQ(system.registryWrites[0].data, dcbOf(system.com1State, selection));
    EXPECT_TRUE(system.openHandles().empty());
    EXPECT_TRUE(system.misuse.empty());

    ASSERT_EQ(system.drivers.size(), 1u);
    const testing::RecordedDriver& d = system.drivers[0];
    EXPECT_EQ(d.cVersion, 0u);
    EXPECT_EQ(d.environment, "Windows 4.0");
    // All three file fields name the source path, folder included.
    EXPECT_EQ(d.driverPath, "win9x\\QM47.DRV");
    EXPECT_EQ(d.dataFile, "win9x\\QM47.DRV");
    EXPECT_EQ(d.configFile, "win9x\\QM47.DRV");
    EXPECT_EQ(d.helpFile, "UNIDRV.HLP");
    EXPECT_EQ(d.dependentFiles, std::string(1, '\0')) << "an empty list";
    EXPECT_EQ(d.monitorName, "");
    EXPECT_EQ(d.defaultDataType, "RAW");
    ASSERT_EQ(system.printers.size(), 1u);
    EXPECT_EQ(system.printers[0].printProcessor, "WinPrint");
    EXPECT_EQ(system.printers[0].datatype, "RAW");
    EXPECT_TRUE(system.printers[0].otherFieldsZero);
}

TEST(Win9xInstaller, Com2ToCom4WriteUnder0001WithTheTemplateFromCom1) {
    for (int port = 4; port <= 6; ++port) {
        RecordingSystem system;
        InstallSelection selection;
        selection.portIndex = port;
        selection.modelIndex = 8;
        selection.flowIndex = 0;
        EXPECT_TRUE(Win9xInstaller(system).run(selection).succeeded());
        SCOPED_TRACE("port index " + std::to_string(port));
        const Calls tail(system.calls.end() - 6, system.calls.end());
        EXPECT_EQ(tail, (Calls{
                            "CreateFileA(COM1)",
                            "GetCommState(COM1)",
                            "RegOpenKeyExA(" + kKey0001 + ", KEY_SET_VALUE)",
                            "RegSetValueExA(" + kKey0001 + ", DCB, REG_BINARY, 28 bytes)",
                            "RegCloseKey(" + kKey0001 + ")",
                            "CloseHandle(COM1)",
                        }));
        EXPECT_EQ(system.registryWrites.at(0).data, dcbOf(system.com1State, selection));
        EXPECT_EQ(system.drivers.at(0).driverPath, "win9x\\QM47K.DRV");
        EXPECT_EQ(system.calls[1], copy("QM47K.DRV", "QM47K.DRV"));
    }
}

TEST(Win9xInstaller, ExistingUniversalDriverIsNeverReplaced) {
    RecordingSystem system;
    system.existingFiles.insert(kDir + "\\uniDRV.DLL");
    InstallSelection selection;
    selection.modelIndex = 10;
    EXPECT_TRUE(Win9xInstaller(system).run(selection).succeeded());
    EXPECT_EQ(
        Calls(system.calls.begin() + 1, system.calls.begin() + 5),
        (Calls{copy("QM47V.DRV", "QM47V.DRV"), copy("iconlib.DLL", "iconlib.DLL"),
               "FindFirstFileA(" + kDir + "\\uniDRV.DLL)", copy("uniDRV.hlp", "uniDRV.HLP")}));
}

TEST(Win9xInstaller, ParallelPortExpressesTheDefaultOnlyThroughAttributes) {
    for (bool asDefault : {true, false}) {
        RecordingSystem system;
        InstallSelection selection;
        selection.setAsDefault = asDefault;
        EXPECT_TRUE(Win9xInstaller(system).run(selection).succeeded());
        EXPECT_EQ(system.printers.at(0).raw.Attributes, asDefault ? 4u : 0u);
        EXPECT_EQ(system.calls.back(), "ClosePrinter(printer QM-4712II)") << "no serial steps";
        EXPECT_TRUE(system.registryWrites.empty());
    }
}

TEST(Win9xInstaller, UnreadableCom1GivesABlankTemplateAndNoUseOfABadHandle) {
    struct Case {
        const char* what;
        bool present;
        bool stateFails;
        Calls serialCalls;
    };
    const Case cases[] = {
        {"no COM1", false, false, {"CreateFileA(COM1)"}},
        {"COM1 state unreadable", true, true, {"CreateFileA(COM1)", "GetCommState(COM1)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingSystem system;
        system.com1Present = c.present;
        if (c.stateFails) system.failEvery("GetCommState", 31);
        InstallSelection selection;
        selection.portIndex = 5;
        EXPECT_TRUE(Win9xInstaller(system).run(selection).succeeded());
        ASSERT_EQ(system.registryWrites.size(), 1u) << "the record is still stored";
        EXPECT_EQ(system.registryWrites[0].data, dcbOf(blankDcbTemplate(), selection));
        EXPECT_EQ(system.registryWrites[0].key, kKey0001);
        EXPECT_TRUE(system.misuse.empty());
        EXPECT_TRUE(system.openHandles().empty());
        const bool closed = system.calls.back() == "CloseHandle(COM1)";
        EXPECT_EQ(closed, c.present) << "only an opened port is closed";
    }
}

}  // namespace
}  // namespace setup
