// Makes each failable system call of each installation path fail in turn and
// checks that the run survives it: nothing crashes or leaks, the failure is
// reported (collected, or shown at once for a registry write), and every
// step that does not depend on the failed call still runs, in order.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "install/install_steps.h"
#include "install/nt_installer.h"
#include "install/win9x_installer.h"
#include "tests/support/recording_system.h"

namespace setup {
namespace {

using testing::RecordingSystem;
using Calls = std::vector<std::string>;

constexpr std::uint32_t kAccessDenied = 5;

std::string callName(const std::string& call) {
    return call.substr(0, call.find('('));
}

bool isFailable(const std::string& name) {
    return name != "FindFirstFileA" && name != "ClosePrinter" && name != "RegCloseKey" &&
           name != "CloseHandle" && name != "MessageBox";
}

struct Scenario {
    const char* name;
    bool nt;
    InstallSelection selection;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

InstallReport runScenario(const Scenario& s, RecordingSystem& system) {
    if (s.nt) return NtInstaller(system).run(s.selection);
    return Win9xInstaller(system).run(s.selection);
}

InstallSelection selectionWith(int model, int port, bool asDefault) {
    InstallSelection s;
    s.modelIndex = model;
    s.portIndex = port;
    s.setAsDefault = asDefault;
    return s;
}

// What the calls of a run should be when the call at `failed` (an index into
// the healthy run's calls) fails: the healthy calls less those that only
// make sense after it succeeded, plus the message for a failed value write.
Calls expectedAfterFailure(const Calls& healthy, std::size_t failed) {
    const std::string name = callName(healthy[failed]);
    Calls expected;
    for (std::size_t i = 0; i < healthy.size(); ++i) {
        const std::string other = callName(healthy[i]);
        if (i > failed) {
            if (name == "GetPrinterDriverDirectoryA" &&
                (other == "CopyFileA" || other == "FindFirstFileA"))
                continue;
            if (name == "AddPrinterA" && other == "ClosePrinter") continue;
            if (name == "RegOpenKeyExA" && i <= failed + 2 &&
                (other == "RegSetValueExA" || other == "RegCloseKey"))
                continue;
            if (name == "CreateFileA" && (other == "GetCommState" || other == "CloseHandle"))
                continue;
        }
        expected.push_back(healthy[i]);
        if (i == failed && name == "RegSetValueExA") expected.push_back("MessageBox");
    }
    return expected;
}

class FaultSweep : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultSweep, EveryCallFailingInTurn) {
    const Scenario& scenario = GetParam();
    RecordingSystem healthySystem;
    ASSERT_TRUE(runScenario(scenario, healthySystem).succeeded());
    const Calls healthy = healthySystem.calls;

    int failableIndex = 0;
    for (std::size_t i = 0; i < healthy.size(); ++i) {
        const std::string name = callName(healthy[i]);
        if (!isFailable(name)) continue;
        SCOPED_TRACE("failing call " + std::to_string(i) + ": " + healthy[i]);

        RecordingSystem system;
        system.failCallAt(failableIndex++, kAccessDenied);
        const InstallReport report = runScenario(scenario, system);

        EXPECT_TRUE(system.misuse.empty()) << system.misuse.front();
        EXPECT_TRUE(system.openHandles().empty()) << "every handle and key closed";
        EXPECT_EQ(system.calls, expectedAfterFailure(healthy, i));

        if (name == "RegSetValueExA") {
            ASSERT_EQ(system.messages.size(), 1u);
            EXPECT_EQ(system.messages[0], REGISTRY_WRITE_FAILED);
            EXPECT_TRUE(report.succeeded()) << "already told the user";
        } else if (name == "CreateFileA" || name == "GetCommState") {
            // A port whose state cannot be read only changes the template.
            EXPECT_TRUE(report.succeeded());
            EXPECT_EQ(system.registryWrites.size(), healthySystem.registryWrites.size());
        } else {
            EXPECT_TRUE(system.messages.empty());
            ASSERT_EQ(report.count(), 1);
            EXPECT_EQ(report.at(0).error, kAccessDenied);
            const InstallStep expectedStep =
                name == "GetPrinterDriverDirectoryA" ? InstallStep::DriverDirectory
                : name == "CopyFileA"                ? InstallStep::CopyDriverFile
                : name == "AddPrinterDriverA"        ? InstallStep::RegisterDriver
                : name == "AddPrinterA"              ? InstallStep::CreatePrinter
                                                     : InstallStep::OpenRegistryKey;
            EXPECT_EQ(report.at(0).step, expectedStep);
            if (name == "CopyFileA") {
                const std::string destination = healthy[i].substr(0, healthy[i].rfind(", "));
                const std::string file = destination.substr(destination.rfind('\\') + 1);
                EXPECT_STREQ(report.at(0).subject, file.c_str());
            }
        }
    }
    EXPECT_EQ(failableIndex, healthySystem.failableCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FaultSweep,
    ::testing::Values(Scenario{"NtCom3Default", true, selectionWith(10, 5, true)},
                      Scenario{"NtLpt1NoDefault", true, selectionWith(0, 0, false)},
                      Scenario{"Win9xCom1Default", false, selectionWith(0, 3, true)},
                      Scenario{"Win9xCom4", false, selectionWith(12, 6, false)}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace setup
