// The deployment tool's command line and its exit-code table, through the
// recording fake: what each command does to the spooler, the files and the
// registry, and what it leaves alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "deploy/command_line.h"
#include "deploy/deployment.h"
#include "install/package_files.h"
#include "resources/deploy_resource.h"
#include "tests/support/recording_system.h"

namespace setup {
namespace {

using testing::RecordingSystem;
using Args = std::vector<const char*>;

ParsedCommandLine parse(const Args& args) {
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

struct ParseCase {
    const char* name;
    Args args;
    UsageError error;
    Command command = Command::Help;
    int model = -1, port = 0;
    bool asDefault = false;
    const char* package = "";
    const char* log = "";
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandLine : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLine, ReadsTheRequestOrNamesTheUsageError) {
    const ParseCase& c = GetParam();
    const ParsedCommandLine parsed = parse(c.args);
    EXPECT_EQ(parsed.error, c.error) << "offending: " << parsed.offending;
    if (c.error != UsageError::None) return;
    EXPECT_EQ(parsed.request.command, c.command);
    EXPECT_EQ(parsed.request.modelIndex, c.model);
    EXPECT_EQ(parsed.request.portIndex, c.port);
    EXPECT_EQ(parsed.request.setAsDefault, c.asDefault);
    EXPECT_STREQ(parsed.request.packageFolder ? parsed.request.packageFolder : "", c.package);
    EXPECT_STREQ(parsed.request.logFile ? parsed.request.logFile : "", c.log);
}

constexpr UsageError kOk = UsageError::None;

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(
        ParseCase{"NoArguments", {}, kOk, Command::Help, -1, 0, false, "", ""},
        ParseCase{"HelpWords", {"HELP"}, kOk, Command::Help, -1, 0, false, "", ""},
        ParseCase{"DashHelp", {"--help"}, kOk, Command::Help, -1, 0, false, "", ""},
        ParseCase{"SlashQuestion", {"/?"}, kOk, Command::Help, -1, 0, false, "", ""},
        ParseCase{"HelpTakesNothing", {"help", "x"}, UsageError::UnknownOption},
        ParseCase{"InstallAnyCaseDefaults",
                  {"Install", "--model", "qm-4716ii"},
                  kOk,
                  Command::Install,
                  2,
                  0,
                  false,
                  "",
                  ""},
        ParseCase{"InstallEveryOptionAnyOrder",
                  {"install", "--log", "C:\\l.txt", "--port", "com3:", "--default", "--package",
                   "\\\\srv\\share\\pkg", "--model", "QM-4720XIII"},
                  kOk,
                  Command::Install,
                  14,
                  5,
                  true,
                  "\\\\srv\\share\\pkg",
                  "C:\\l.txt"},
        ParseCase{"PortWithoutColon",
                  {"install", "--model", "QM-4706", "--port", "LPT2"},
                  kOk,
                  Command::Install,
                  10,
                  1,
                  false,
                  "",
                  ""},
        ParseCase{"StatusAll", {"status"}, kOk, Command::Status, -1, 0, false, "", ""},
        ParseCase{"StatusOneModel",
                  {"status", "--model", "QM-47250"},
                  kOk,
                  Command::Status,
                  8,
                  0,
                  false,
                  "",
                  ""},
        ParseCase{"RemoveWithLog",
                  {"remove", "--model", "QM-4712II", "--log", "r.log"},
                  kOk,
                  Command::Remove,
                  0,
                  0,
                  false,
                  "",
                  "r.log"},
        ParseCase{"DefaultForOneModel",
                  {"default", "--model", "QM-4716II"},
                  kOk,
                  Command::SetDefault,
                  2,
                  0,
                  false,
                  "",
                  ""},
        ParseCase{"DefaultNeedsModel", {"default"}, UsageError::MissingModel},
        ParseCase{"DefaultTakesNoOtherOption",
                  {"default", "--model", "QM-4716II", "--log", "d.log"},
                  UsageError::UnknownOption},
        ParseCase{
            "DefaultUnknownModel", {"default", "--model", "QM-4799"}, UsageError::UnknownModel},
        ParseCase{"UnknownCommand", {"instal", "--model", "QM-4712II"}, UsageError::UnknownCommand},
        ParseCase{"InstallNeedsModel", {"install", "--default"}, UsageError::MissingModel},
        ParseCase{"RemoveNeedsModel", {"remove"}, UsageError::MissingModel},
        ParseCase{"UnknownModel", {"install", "--model", "QM-4799"}, UsageError::UnknownModel},
        ParseCase{
            "ModelPrefixIsNoModel", {"status", "--model", "QM-4712"}, UsageError::UnknownModel},
        ParseCase{"UnknownPort",
                  {"install", "--model", "QM-4712II", "--port", "LPT4"},
                  UsageError::UnknownPort},
        ParseCase{"UnknownOption",
                  {"install", "--model", "QM-4712II", "--quiet"},
                  UsageError::UnknownOption},
        ParseCase{"OptionOfAnotherCommand",
                  {"remove", "--model", "QM-4712II", "--default"},
                  UsageError::UnknownOption},
        ParseCase{"StatusTakesNoLog", {"status", "--log", "s.log"}, UsageError::UnknownOption},
        ParseCase{"ValueMissingAtTheEnd", {"install", "--model"}, UsageError::MissingValue},
        ParseCase{
            "ValueIsAnotherOption", {"install", "--model", "--default"}, UsageError::MissingValue},
        ParseCase{"EmptyValue",
                  {"install", "--model", "QM-4712II", "--package", ""},
                  UsageError::MissingValue},
        ParseCase{"OptionTwice",
                  {"install", "--model", "QM-4712II", "--model", "QM-4712II"},
                  UsageError::Repeated},
        ParseCase{"FlagTwice",
                  {"install", "--model", "QM-4712II", "--default", "--default"},
                  UsageError::Repeated}));

// A path the tool's wide buffers cannot hold is refused by name, never cut.
TEST(CommandLine, RefusesAPathLongerThanTheToolTakes) {
    const std::string longest(kMaxPathUnits, 'p');
    const std::string over(kMaxPathUnits + 1, 'p');
    // Three bytes of UTF-8 each, one UTF-16 unit each.
    std::string chinese;
    for (std::size_t i = 0; i < kMaxPathUnits; ++i) chinese += "\xe4\xb8\xad";
    const struct {
        const char* option;
        std::string path;
        UsageError error;
    } cases[] = {
        {"--package", longest, UsageError::None}, {"--package", over, UsageError::PathTooLong},
        {"--log", longest, UsageError::None},     {"--log", over, UsageError::PathTooLong},
        {"--log", chinese, UsageError::None},     {"--log", chinese + "x", UsageError::PathTooLong},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine parsed =
            parse({"install", "--model", "QM-4712II", c.option, c.path.c_str()});
        EXPECT_EQ(parsed.error, c.error) << c.option << " of " << c.path.size() << " bytes";
        if (c.error != UsageError::None) {
            EXPECT_STREQ(parsed.offending, c.option);
        }
    }
}

TEST(ArgumentList, SplitsLikeTheCRuntime) {
    const struct {
        const char* line;
        std::vector<std::string> expected;
    } cases[] = {
        {"TolmarDeploy.exe", {}},
        {"\"C:\\Program Files\\TolmarDeploy.exe\" status", {"status"}},
        {"t install  --package \"C:\\My Pkg\\\xe4\xb8\xad\xe6\x96\x87\" --model x",
         {"install", "--package", "C:\\My Pkg\\\xe4\xb8\xad\xe6\x96\x87", "--model", "x"}},
        {"t \"C:\\dir\\\\\" next", {"C:\\dir\\", "next"}},
        {"t \\\\srv\\share a\\\\\\\"b", {"\\\\srv\\share", "a\\\"b"}},
        {"t \"\" x", {"", "x"}},
        // Inside quotes "" is a literal quote and quoting goes on (msvcrt since 2008).
        {"t \"a\"\"b\" c", {"a\"b", "c"}},
        {"t \"\"\"\" x", {"\"", "x"}},
        {"t \"\"\"", {"\""}},
        {"t \"a\"\" b\"", {"a\" b"}},
        {"t a\"\"b", {"ab"}},
        {"t \"C:\\dir\\\\\"\"x\"", {"C:\\dir\\\"x"}},
    };
    for (const auto& c : cases) {
        ArgumentList list;
        ASSERT_TRUE(list.split(c.line)) << c.line;
        std::vector<std::string> got(list.arguments(), list.arguments() + list.count());
        EXPECT_EQ(got, c.expected) << c.line;
    }
    std::string many = "t";
    for (int i = 0; i <= ArgumentList::kMaxArguments; ++i) many += " a";
    ArgumentList list;
    EXPECT_FALSE(list.split(many.c_str())) << "more arguments than there is room for";
    EXPECT_FALSE(list.split(("t " + std::string(ArgumentList::kBufferSize, 'x')).c_str()));
}

TEST(Utf8, RoundTripsAndNeverSplitsACharacter) {
    const std::u16string text = u"C:\\\u6253\u5370 \U0001F5A8";
    char utf8[32];
    const std::size_t n = utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(text.data()),
                                      text.size(), utf8, sizeof utf8);
    EXPECT_EQ(std::string(utf8, n), "C:\\\xe6\x89\x93\xe5\x8d\xb0 \xf0\x9f\x96\xa8");
    std::uint16_t back[32];
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(back), utf8ToUtf16(utf8, back, 32)), text);
    char small[6];  // room for "C:\" and the NUL, not for the next character
    EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(text.data()), text.size(), small,
                          sizeof small),
              sizeof small);
    EXPECT_STREQ(small, "C:\\");
    EXPECT_EQ(utf8ToUtf16("\xff\xc3", back, 32), 2u) << "malformed bytes become U+FFFD";
    EXPECT_EQ(back[0], 0xFFFD);
}

// ---- The exit-code table --------------------------------------------------

class RecordedOutput final : public DeployOutput {
public:
    void line(Stream stream, int textId, const char* detail) override {
        (stream == Stream::Out ? out : err).push_back(std::to_string(textId) + " " + detail);
    }
    void failure(int textId, const char* detail, std::uint32_t error) override {
        err.push_back(std::to_string(textId) + " " + detail + " error " + std::to_string(error));
        failures.push_back(textId);
    }
    void plain(const char* text) override { out.push_back(text); }

    std::vector<std::string> out, err;
    std::vector<int> failures;
    bool said(int textId) const {
        for (const std::string& l : err) {
            if (l.rfind(std::to_string(textId) + " ", 0) == 0) return true;
        }
        return false;
    }
};

constexpr OsVersion kWin98{1, 4, 10};
constexpr OsVersion kWin41{1, 4, 1};
constexpr OsVersion kNt4{2, 4, 0};
constexpr OsVersion kXp{2, 5, 1};
constexpr OsVersion kWin7{2, 6, 1};
constexpr OsVersion kWin10{2, 10, 0};
const char* const kPackage = "\\\\srv\\pkg";

// A fake system holding the package's files (both families, every model).
struct Machine {
    RecordingSystem system;
    DeployContext context;

    explicit Machine(OsVersion version, bool windows64 = false) {
        context.versionKnown = true;
        context.version = version;
        context.windows64 = windows64;
        context.packageFolder = kPackage;
        for (const char* name :
             {"QM47.DRV", "QM47K.DRV", "QM47V.DRV", "iconlib.DLL", "uniDRV.DLL", "uniDRV.hlp"}) {
            system.existingFiles.insert(std::string(kPackage) + "\\win9x\\" + name);
        }
        for (const char* name :
             {"QM47.DLL", "uniDRVui.DLL", "uniDRV.DLL", "UNIDRV.HLP", "UNIRES.DLL", "TTFSUB.GPD",
              "STDNAMES.GPD", "QM4712II.GPD", "QM4716II.GPD", "QM47240.GPD"}) {
            system.existingFiles.insert(std::string(kPackage) + "\\win2k\\" + name);
        }
    }

    int run(const Args& args, RecordedOutput& output) {
        const ParsedCommandLine parsed = parse(args);
        EXPECT_EQ(parsed.error, UsageError::None);
        system.calls.clear();
        return runDeployRequest(parsed.request, context, system, output);
    }
    int run(const Args& args) {
        RecordedOutput output;
        return run(args, output);
    }

    // Calls that change the system.
    std::vector<std::string> writes() const {
        std::vector<std::string> found;
        for (const std::string& call : system.calls) {
            for (const char* name : {"CopyFileA", "AddPrinter", "RegOpenKeyExA", "RegCreateKeyExA",
                                     "Delete", "WriteProfileStringA"}) {
                if (call.rfind(name, 0) == 0) found.push_back(call);
            }
        }
        return found;
    }
};

struct TableCase {
    const char* name;
    OsVersion version;
    bool windows64;
    std::function<void(Machine&)> before;  // what the machine holds first
    Args args;
    int exitCode;
    std::vector<std::string> out;  // standard output, exactly
    bool writes;                   // whether the run may change anything
};

void PrintTo(const TableCase& c, std::ostream* os) {
    *os << c.name;
}

class ExitCodes : public ::testing::TestWithParam<TableCase> {};

TEST_P(ExitCodes, HoldForEveryCommand) {
    const TableCase& c = GetParam();
    Machine machine(c.version, c.windows64);
    if (c.before) c.before(machine);
    RecordedOutput output;
    EXPECT_EQ(machine.run(c.args, output), c.exitCode) << ::testing::PrintToString(output.err);
    EXPECT_EQ(output.out, c.out);
    if (!c.writes) {
        EXPECT_EQ(machine.writes(), std::vector<std::string>{});
    }
    EXPECT_TRUE(machine.system.messages.empty()) << "the tool never shows a message box";
    EXPECT_TRUE(machine.system.openHandles().empty());
    EXPECT_TRUE(machine.system.misuse.empty());
}

void installed(Machine& m) {
    EXPECT_EQ(m.run({"install", "--model", "QM-4712II", "--default"}), kExitOk);
}
void installedOn(Machine& m, const char* model) {
    EXPECT_EQ(m.run({"install", "--model", model}), kExitOk);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCodes,
    ::testing::Values(
        TableCase{"InstallOn98",
                  kWin98,
                  false,
                  nullptr,
                  {"install", "--model", "QM-4712II"},
                  0,
                  {},
                  true},
        TableCase{
            "InstallOnXp", kXp, false, nullptr, {"install", "--model", "QM-4712II"}, 0, {}, true},
        TableCase{"InstallOnWindows7TakesTheNtProcedure",
                  kWin7,
                  false,
                  nullptr,
                  {"install", "--model", "QM-4716II"},
                  0,
                  {},
                  true},
        TableCase{"InstallOnWindows10",
                  kWin10,
                  false,
                  nullptr,
                  {"install", "--model", "QM-4716II"},
                  0,
                  {},
                  true},
        TableCase{"InstallAgainCounts",
                  kWin98,
                  false,
                  installed,
                  {"install", "--model", "QM-4712II", "--default"},
                  0,
                  {},
                  true},
        TableCase{"Install64BitNtWritesNothing",
                  kXp,
                  true,
                  nullptr,
                  {"install", "--model", "QM-4712II"},
                  3,
                  {},
                  false},
        TableCase{"InstallOn64BitWindows7WritesNothing",
                  kWin7,
                  true,
                  nullptr,
                  {"install", "--model", "QM-4712II"},
                  3,
                  {},
                  false},
        TableCase{"InstallOnAnUnknown9xWritesNothing",
                  kWin41,
                  false,
                  nullptr,
                  {"install", "--model", "QM-4712II"},
                  3,
                  {},
                  false},
        TableCase{"InstallWithAMissingFileWritesNothing",
                  kXp,
                  false,
                  [](Machine& m) {
                      m.system.existingFiles.erase(std::string(kPackage) + "\\win2k\\UNIRES.DLL");
                  },
                  {"install", "--model", "QM-4712II"},
                  1,
                  {},
                  false},
        TableCase{"InstallWhenThePrinterFails",
                  kWin98,
                  false,
                  [](Machine& m) { m.system.failEvery("AddPrinterA", 5); },
                  {"install", "--model", "QM-4712II"},
                  1,
                  {},
                  true},
        TableCase{"InstallWhenTheDefaultCannotBeSet",
                  kXp,
                  false,
                  [](Machine& m) { m.system.failEvery("RegSetValueExA", 5); },
                  {"install", "--model", "QM-4712II", "--default"},
                  1,
                  {},
                  true},
        TableCase{"RemoveNothingThere",
                  kWin98,
                  false,
                  nullptr,
                  {"remove", "--model", "QM-4712II"},
                  0,
                  {},
                  false},
        TableCase{"RemoveInstalled",
                  kWin98,
                  false,
                  installed,
                  {"remove", "--model", "QM-4712II"},
                  0,
                  {},
                  true},
        TableCase{"RemoveWhenThePrinterCannotBeDeleted",
                  kWin98,
                  false,
                  [](Machine& m) {
                      installed(m);
                      m.system.failEvery("DeletePrinter", 5);
                  },
                  {"remove", "--model", "QM-4712II"},
                  1,
                  {},
                  true},
        TableCase{"RemoveWhenTheDriverIsInUse",
                  kXp,
                  false,
                  [](Machine& m) {
                      m.context.windows64 = false;
                      installedOn(m, "QM-4712II");
                      m.system.failEvery("DeletePrinterDriverExA", 3001);
                  },
                  {"remove", "--model", "QM-4712II"},
                  1,
                  {},
                  true},
        TableCase{"DefaultMakesTheUsersDefault",
                  kXp,
                  false,
                  [](Machine& m) {
                      EXPECT_EQ(m.run({"install", "--model", "QM-4716II", "--port", "COM2"}), 0);
                  },
                  {"default", "--model", "qm-4716ii"},
                  0,
                  {},
                  true},
        TableCase{"DefaultWithoutThePrinterWritesNothing",
                  kXp,
                  false,
                  [](Machine& m) { installedOn(m, "QM-4716II"); },
                  {"default", "--model", "QM-4712II"},
                  1,
                  {},
                  false},
        TableCase{"DefaultWhenTheProfileCannotBeWritten",
                  kXp,
                  false,
                  [](Machine& m) {
                      installedOn(m, "QM-4716II");
                      m.system.failEvery("WriteProfileStringA", 5);
                  },
                  {"default", "--model", "QM-4716II"},
                  1,
                  {},
                  true},
        TableCase{"StatusNothingInstalled", kWin98, false, nullptr, {"status"}, 0, {}, false},
        TableCase{"StatusLinesForEachInstalledModel",
                  kWin98,
                  false,
                  [](Machine& m) {
                      installed(m);
                      EXPECT_EQ(m.run({"install", "--model", "QM-47240", "--port", "COM2"}), 0);
                  },
                  {"status"},
                  0,
                  {"QM-4712II driver=yes printer=yes default=yes port=LPT1:",
                   "QM-47240 driver=yes printer=yes default=no port=COM2:"},
                  false},
        TableCase{"StatusModelInstalled",
                  kXp,
                  false,
                  [](Machine& m) { installedOn(m, "QM-4716II"); },
                  {"status", "--model", "qm-4716ii"},
                  0,
                  {"QM-4716II driver=yes printer=yes default=no port=LPT1:"},
                  false},
        TableCase{"StatusModelNotInstalled",
                  kXp,
                  false,
                  [](Machine& m) { installedOn(m, "QM-4716II"); },
                  {"status", "--model", "QM-4712II"},
                  1,
                  {},
                  false},
        TableCase{"StatusModelWithoutItsPrinter",
                  kWin98,
                  false,
                  [](Machine& m) {
                      installed(m);
                      m.system.spoolerPrinters.clear();
                  },
                  {"status", "--model", "QM-4712II"},
                  1,
                  {"QM-4712II driver=yes printer=no default=no port="},
                  false},
        TableCase{"StatusWhenTheSpoolerCannotBeAsked",
                  kXp,
                  false,
                  [](Machine& m) { m.system.failEvery("EnumPrintersA", 1722); },
                  {"status"},
                  1,
                  {},
                  false}));

TEST(Deploy, ASilentRunReportsTheFailedRegistryWriteAsAStep) {
    Machine machine(kXp);
    machine.system.failEvery("RegSetValueExA", 5);
    RecordedOutput output;
    EXPECT_EQ(machine.run({"install", "--model", "QM-4712II", "--default"}, output), kExitFailed);
    EXPECT_EQ(output.failures, std::vector<int>{IDS_DEPLOY_FAIL_SET_VALUE});
    EXPECT_TRUE(output.said(IDS_DEPLOY_INSTALL_FAILED));
    EXPECT_TRUE(machine.system.messages.empty());
}

TEST(Deploy, AFailedInstallLeavesNoDefaultEntryForAPrinterThatIsNotThere) {
    Machine machine(kXp);
    machine.system.failEvery("AddPrinterA", 87);
    EXPECT_EQ(machine.run({"install", "--model", "QM-4712II", "--default"}), kExitFailed);
    EXPECT_EQ(machine.system.profileWindows.count("device"), 0u);
}

TEST(Deploy, AMissingFileIsNamedAndNothingIsRegistered) {
    Machine machine(kWin98);
    machine.system.existingFiles.erase(std::string(kPackage) + "\\win9x\\QM47K.DRV");
    RecordedOutput output;
    EXPECT_EQ(machine.run({"install", "--model", "QM-47240"}, output), kExitFailed);
    EXPECT_EQ(output.err.back(), std::to_string(IDS_DEPLOY_PACKAGE_MISSING) + " win9x\\QM47K.DRV");
    EXPECT_TRUE(machine.system.spoolerDrivers["Windows 4.0"].empty());
}

TEST(Deploy, InstallReadsThePackageFolderItWasGiven) {
    Machine machine(kWin98);
    machine.run({"install", "--model", "QM-4706"});
    ASSERT_EQ(machine.system.drivers.size(), 1u);
    EXPECT_EQ(machine.system.drivers[0].driverPath, std::string(kPackage) + "\\win9x\\QM47V.DRV");
    EXPECT_EQ(machine.system.calls[0],
              "FindFirstFileA(" + std::string(kPackage) + "\\win9x\\QM47V.DRV)")
        << "the package is checked before the first write";
}

// The package folder may be as deep as leaves room for the longest file
// name of the catalogue, and no deeper.
TEST(Deploy, PackageFolderFitsExactlyTheLongestFileName) {
    const std::size_t deepest = kMaxPath - 1 - PackageFiles::longestSourceTail();
    EXPECT_EQ(PackageFiles::longestSourceTail(), sizeof "\\win2k\\QM4720XIII.GPD" - 1);
    EXPECT_TRUE(PackageFiles::packageFolderFits(deepest));
    EXPECT_FALSE(PackageFiles::packageFolderFits(deepest + 1));
    for (const std::size_t length : {deepest, deepest + 1}) {
        const std::string folder = "C:\\" + std::string(length - 3, 'd');
        Machine machine(kXp);
        const PackageFiles files(InstallFamily::Nt, ModelCatalogue::row(14));
        for (int i = 0; i < files.count(); ++i) {
            machine.system.existingFiles.insert(folder + "\\win2k\\" + files.at(i).source);
        }
        machine.context.packageFolder = folder.c_str();
        EXPECT_EQ(machine.run({"install", "--model", "QM-4720XIII"}),
                  length == deepest ? kExitOk : kExitFailed)
            << "a folder of " << length << " characters";
    }
}

TEST(Deploy, Remove9xOfADriverFileInUseDeletesItAtTheRestart) {
    const struct {
        const char* name;
        std::uint32_t deleteError;
        std::uint32_t moveError;  // what MoveFileExA answers
        int exitCode;
    } cases[] = {
        {"sharing violation", win32::kErrorSharingViolation, 0, kExitRestartRequired},
        {"loaded driver (9x)", win32::kErrorAccessDenied, 0, kExitRestartRequired},
        {"cannot be scheduled", win32::kErrorSharingViolation, 5, kExitFailed},
        {"another fault", 1117, 0, kExitFailed},
    };
    const std::string file = "C:\\WINDOWS\\SYSTEM\\QM47K.DRV";
    for (const auto& c : cases) {
        Machine machine(kWin98);
        installedOn(machine, "QM-47240");
        machine.system.failEvery("DeleteFileA", c.deleteError);
        if (c.moveError) machine.system.failEvery("MoveFileExA", c.moveError);
        RecordedOutput output;
        EXPECT_EQ(machine.run({"remove", "--model", "QM-47240"}, output), c.exitCode) << c.name;
        const bool scheduled = c.exitCode == kExitRestartRequired;
        EXPECT_EQ(machine.system.deletedAtRestart,
                  scheduled ? std::vector<std::string>{file} : std::vector<std::string>{})
            << c.name;
        EXPECT_EQ(output.said(IDS_DEPLOY_FILE_DELETED_AT_RESTART), scheduled) << c.name;
        EXPECT_EQ(output.said(IDS_DEPLOY_REMOVED_RESTART), scheduled) << c.name;
        EXPECT_TRUE(machine.system.spoolerDrivers["Windows 4.0"].empty()) << c.name;
    }
}

TEST(Deploy, Remove9xKeepsTheSharedFilesAndADriverFileStillInUse) {
    Machine machine(kWin98);
    installed(machine);
    installedOn(machine, "QM-4716II");  // QM47.DRV as well
    installedOn(machine, "QM-47240");   // QM47K.DRV
    const std::string dir = "C:\\WINDOWS\\SYSTEM\\";

    EXPECT_EQ(machine.run({"remove", "--model", "QM-4712II"}), kExitOk);
    EXPECT_TRUE(machine.system.existingFiles.count(dir + "QM47.DRV")) << "QM-4716II uses it";
    EXPECT_EQ(machine.system.profileWindows.count("device"), 0u);
    EXPECT_EQ(machine.run({"remove", "--model", "QM-4716II"}), kExitOk);
    EXPECT_FALSE(machine.system.existingFiles.count(dir + "QM47.DRV"));
    for (const char* shared : {"uniDRV.DLL", "uniDRV.HLP", "iconlib.DLL", "QM47K.DRV"}) {
        EXPECT_TRUE(machine.system.existingFiles.count(dir + shared)) << shared;
    }
    EXPECT_EQ(machine.run({"remove", "--model", "QM-4716II"}), kExitOk) << "remove again";
}

TEST(Deploy, RemoveNtLeavesFilesToTheSpoolerAndClearsTheDefaultEntry) {
    const struct {
        const char* name;
        OsVersion version;
        bool hasEx;
        std::uint32_t exError;  // what DeletePrinterDriverExA answers
    } spoolers[] = {
        {"XP", kXp, true, 0},
        {"NT 4.0, without the call", kNt4, false, 0},
        {"a spooler that cannot remove files", kXp, true, 87},
    };
    for (const auto& spooler : spoolers) {
        Machine machine(spooler.version);
        machine.system.hasDeletePrinterDriverEx = spooler.hasEx;
        installed(machine);
        if (spooler.exError) machine.system.failEvery("DeletePrinterDriverExA", spooler.exError);
        machine.system.profileWindows["device"] = "qm-4712ii,winspool,LPT1:";
        EXPECT_EQ(machine.run({"remove", "--model", "QM-4712II"}), kExitOk) << spooler.name;
        std::vector<std::string> expected = {
            "DeletePrinter(printer QM-4712II)",
            "WriteProfileStringA(windows, device, (null))",
            "DeletePrinterDriverExA(Windows NT x86, QM-4712II, 1)",
        };
        if (!spooler.hasEx || spooler.exError) {
            expected.push_back("DeletePrinterDriverA(Windows NT x86, QM-4712II)");
        }
        EXPECT_EQ(machine.writes(), expected) << spooler.name;
        EXPECT_EQ(machine.system.profileWindows.count("device"), 0u) << spooler.name;
    }
}

// A stopped or disabled Print Spooler answers every call with an error; what
// it keeps in the registry says whether the model is still there.
TEST(Deploy, RemoveWithoutTheSpoolerGoesByItsRegistry) {
    const std::string nt = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\";
    const struct {
        const char* name;
        OsVersion version;
        const char* failing;            // the spooler's call that fails
        std::vector<std::string> keys;  // what its registry holds
        std::uint32_t keyError;         // what opening a key answers, besides "not found"
        int exitCode;
        int said;
    } cases[] = {
        {"nothing registered",
         kXp,
         "EnumPrinterDriversA",
         {},
         0,
         kExitOk,
         IDS_DEPLOY_SPOOLER_NOTHING},
        {"the printers cannot be listed",
         kXp,
         "EnumPrintersA",
         {},
         0,
         kExitOk,
         IDS_DEPLOY_SPOOLER_NOTHING},
        {"a driver of NT 5",
         kXp,
         "EnumPrinterDriversA",
         {nt + "Environments\\Windows NT x86\\Drivers\\Version-3\\QM-4712II"},
         0,
         kExitFailed,
         IDS_DEPLOY_SPOOLER_LEFT},
        {"a driver of NT 4.0",
         kNt4,
         "EnumPrinterDriversA",
         {nt + "Environments\\Windows NT x86\\Drivers\\Version-2\\QM-4712II"},
         0,
         kExitFailed,
         IDS_DEPLOY_SPOOLER_LEFT},
        {"a printer",
         kXp,
         "EnumPrintersA",
         {nt + "Printers\\QM-4712II"},
         0,
         kExitFailed,
         IDS_DEPLOY_SPOOLER_LEFT},
        {"a driver of Windows 98",
         kWin98,
         "EnumPrinterDriversA",
         {nt + "Environments\\Windows 4.0\\Drivers\\QM-4712II"},
         0,
         kExitFailed,
         IDS_DEPLOY_SPOOLER_LEFT},
        {"another model's printer only",
         kXp,
         "EnumPrintersA",
         {nt + "Printers\\QM-4716II"},
         0,
         kExitOk,
         IDS_DEPLOY_SPOOLER_NOTHING},
        {"the registry cannot be read",
         kXp,
         "EnumPrinterDriversA",
         {},
         5,
         kExitFailed,
         IDS_DEPLOY_FAIL_SPOOLER_KEY},
    };
    for (const auto& c : cases) {
        Machine machine(c.version);
        machine.system.failEvery(c.failing, 1722);
        for (const std::string& key : c.keys) machine.system.registryKeys[key];
        if (c.keyError) machine.system.failEvery("RegOpenKeyExA", c.keyError);
        RecordedOutput output;
        EXPECT_EQ(machine.run({"remove", "--model", "QM-4712II"}, output), c.exitCode) << c.name;
        std::vector<int> said;
        for (const int id : {IDS_DEPLOY_SPOOLER_NOTHING, IDS_DEPLOY_SPOOLER_LEFT,
                             IDS_DEPLOY_FAIL_SPOOLER_KEY, IDS_DEPLOY_REMOVE_FAILED}) {
            if (output.said(id)) said.push_back(id);
        }
        std::vector<int> expected = {c.said};
        if (c.exitCode != kExitOk) expected.push_back(IDS_DEPLOY_REMOVE_FAILED);
        EXPECT_EQ(said, expected) << c.name << ::testing::PrintToString(output.err);
        if (c.said == IDS_DEPLOY_SPOOLER_LEFT) {
            const std::string left = c.keys[0].find("Printers") != std::string::npos
                                         ? "QM-4712II printer"
                                         : "QM-4712II driver";
            EXPECT_NE(std::find(output.err.begin(), output.err.end(),
                                std::to_string(IDS_DEPLOY_SPOOLER_LEFT) + " " + left),
                      output.err.end())
                << c.name << ::testing::PrintToString(output.err);
        }
        EXPECT_TRUE(machine.system.openHandles().empty()) << c.name;
    }
}

// ---- Each user's default printer from an install as SYSTEM -------------------

const char* const kComponent =
    "HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\"
    "Tolmar.DefaultPrinter.QM-4716II";
const char* const kUserDevice = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
// A path with spaces and Chinese (code page 936) in it, as the tool gives it.
const char* const kLogonProgram = "C:\\Program Files\\Tolmar \xb4\xf2\xd3\xa1\\TolmarLogon.exe";

struct SystemMachine : Machine {
    SystemMachine(OsVersion version, bool localSystem) : Machine(version) {
        system.localSystem = localSystem;
        context.logonProgramPath = kLogonProgram;
        system.existingFiles.insert(kLogonProgram);
        context.componentName = "Tolmar default printer";
        context.startTime = {2026, 12, 10, 14, 33, 5};
    }
    bool wroteUserDevice() const {
        for (const auto& write : system.registryWrites) {
            if (write.key == kUserDevice) return true;
        }
        return false;
    }
};

TEST(ActiveSetup, RegisteredOnlyForDefaultAsSystemOnTheNtFamily) {
    const struct {
        const char* name;
        OsVersion version;
        bool localSystem;
        bool asDefault;
        bool registered;
        bool userDevice;  // the calling account's own Device entry written
        bool tokenAsked;
    } cases[] = {
        {"XP as SYSTEM", kXp, true, true, true, false, true},
        {"NT 4.0 as SYSTEM", kNt4, true, true, true, false, true},
        {"Windows 10 as SYSTEM", kWin10, true, true, true, false, true},
        {"XP as a user", kXp, false, true, false, true, true},
        {"XP as SYSTEM without --default", kXp, true, false, false, false, false},
        {"98, whatever the token says", kWin98, true, true, false, false, false},
    };
    for (const auto& c : cases) {
        SystemMachine machine(c.version, c.localSystem);
        Args args = {"install", "--model", "QM-4716II"};
        if (c.asDefault) args.push_back("--default");
        EXPECT_EQ(machine.run(args), kExitOk) << c.name;
        EXPECT_EQ(machine.system.registryKeys.count(kComponent), c.registered ? 1u : 0u) << c.name;
        EXPECT_EQ(machine.wroteUserDevice(), c.userDevice) << c.name;
        const auto& calls = machine.system.calls;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetTokenInformation(TokenUser)"),
                  c.tokenAsked ? 1 : 0)
            << c.name;
        EXPECT_TRUE(machine.system.openHandles().empty()) << c.name;
    }
}

TEST(ActiveSetup, TheComponentRunsTheDefaultCommandOnceForEachUser) {
    SystemMachine machine(kXp, true);
    ASSERT_EQ(machine.run({"install", "--model", "qm-4716ii", "--port", "COM2", "--default"}),
              kExitOk);
    const std::string stubPath = std::string("\"") + kLogonProgram + "\" default --model QM-4716II";
    const std::map<std::string, std::string> expected = {
        {"(null)", std::string("Tolmar default printer QM-4716II") + '\0'},
        {"Version", std::string("2026,1210,1433,5") + '\0'},
        {"IsInstalled", std::string("\x01\0\0\0", 4)},
        {"StubPath", stubPath + '\0'},
    };
    EXPECT_EQ(machine.system.registryKeys[kComponent], expected);
    for (const auto& write : machine.system.registryWrites) {
        if (write.key != kComponent) continue;
        EXPECT_EQ(write.type, write.name == "IsInstalled" ? win32::kRegDword : win32::kRegSz)
            << write.name;
    }
    // The StubPath, as Windows starts it, is the default command for the model.
    ArgumentList arguments;
    ASSERT_TRUE(arguments.split(stubPath.c_str()));
    const ParsedCommandLine parsed = parseCommandLine(arguments.count(), arguments.arguments());
    EXPECT_EQ(parsed.error, UsageError::None);
    EXPECT_EQ(parsed.request.command, Command::SetDefault);
    EXPECT_EQ(parsed.request.modelIndex, 2);
    // A user's run of it sets that user's default to the printer on its port.
    EXPECT_EQ(machine.run({"default", "--model", "QM-4716II"}), kExitOk);
    EXPECT_EQ(machine.system.profileWindows["device"], "QM-4716II,winspool,COM2:");
}

// Active Setup runs the command again for a user whose copy of the version
// is lower, comparing field by field as numbers: every install must be
// newer than any before it.
TEST(ActiveSetup, EachInstallHasANewerVersionThanTheOnesBefore) {
    const RunTime times[] = {
        {2026, 1, 1, 0, 0, 0},     {2026, 1, 1, 0, 0, 9},   {2026, 1, 1, 0, 0, 10},
        {2026, 1, 1, 0, 9, 59},    {2026, 1, 1, 0, 10, 0},  {2026, 1, 1, 9, 59, 59},
        {2026, 1, 1, 23, 59, 59},  {2026, 1, 9, 0, 0, 0},   {2026, 1, 31, 23, 59, 59},
        {2026, 9, 30, 23, 59, 59}, {2026, 10, 1, 0, 0, 0},  {2026, 12, 31, 23, 59, 59},
        {2027, 1, 1, 0, 0, 0},     {2100, 2, 28, 12, 0, 0},
    };
    const auto fields = [](const ActiveSetupText& version) {
        std::vector<unsigned long> numbers;
        std::stringstream text(version.c_str());
        for (std::string field; std::getline(text, field, ',');) {
            numbers.push_back(std::stoul(field));
        }
        return numbers;
    };
    std::vector<unsigned long> previous = {1, 0, 0, 1};  // what earlier releases wrote
    for (const RunTime& time : times) {
        const ActiveSetupText version = activeSetupVersion(time);
        const std::vector<unsigned long> current = fields(version);
        ASSERT_EQ(current.size(), 4u) << version.c_str();
        for (const unsigned long field : current) EXPECT_LE(field, 65535u) << version.c_str();
        EXPECT_LT(previous, current) << version.c_str();
        previous = current;
    }
    // A reinstall rewrites it.
    SystemMachine machine(kXp, true);
    ASSERT_EQ(machine.run({"install", "--model", "QM-4716II", "--default"}), kExitOk);
    machine.context.startTime = {2026, 12, 11, 8, 0, 0};
    ASSERT_EQ(machine.run({"install", "--model", "QM-4716II", "--default"}), kExitOk);
    EXPECT_EQ(machine.system.registryKeys[kComponent]["Version"],
              std::string("2026,1211,800,0") + '\0');
}

TEST(ActiveSetup, NothingIsWrittenWhenTheRegistrationCannotBeMade) {
    const struct {
        const char* name;
        std::function<void(SystemMachine&)> before;
        int textId;
    } cases[] = {
        {"the token cannot be read",
         [](SystemMachine& m) { m.system.failEvery("GetTokenInformation", 5); },
         IDS_DEPLOY_FAIL_ACCOUNT},
        {"a path the code page cannot spell",
         [](SystemMachine& m) { m.context.logonProgramPath = ""; }, IDS_DEPLOY_ACTIVE_SETUP_PATH},
        {"a path with a quote",
         [](SystemMachine& m) { m.context.logonProgramPath = "C:\\a\" b\\TolmarLogon.exe"; },
         IDS_DEPLOY_ACTIVE_SETUP_PATH},
        {"no logon program beside the tool",
         [](SystemMachine& m) { m.system.existingFiles.erase(kLogonProgram); },
         IDS_DEPLOY_LOGON_PROGRAM_MISSING},
    };
    for (const auto& c : cases) {
        SystemMachine machine(kXp, true);
        c.before(machine);
        RecordedOutput output;
        EXPECT_EQ(machine.run({"install", "--model", "QM-4716II", "--default"}, output),
                  kExitFailed)
            << c.name;
        EXPECT_TRUE(output.said(c.textId)) << c.name << ::testing::PrintToString(output.err);
        EXPECT_EQ(machine.writes(), std::vector<std::string>{}) << c.name;
    }
}

TEST(ActiveSetup, AFailedValueTakesTheWholeComponentAway) {
    for (const char* failing : {"RegCreateKeyExA", "RegSetValueExA"}) {
        SystemMachine machine(kXp, true);
        machine.system.failEvery(failing, 5);
        RecordedOutput output;
        EXPECT_EQ(machine.run({"install", "--model", "QM-4716II", "--default"}, output),
                  kExitFailed)
            << failing;
        EXPECT_EQ(output.failures, std::vector<int>{IDS_DEPLOY_FAIL_ACTIVE_SETUP}) << failing;
        EXPECT_TRUE(machine.system.registryKeys.empty()) << failing;
        EXPECT_TRUE(machine.system.openHandles().empty()) << failing;
    }
}

TEST(ActiveSetup, RemoveDeletesTheRegistration) {
    const struct {
        const char* name;
        bool printerLeft;  // otherwise only the registration is there
        std::uint32_t deleteError;
        int exitCode;
    } cases[] = {
        {"with the printer", true, 0, kExitOk},
        {"after the printer went", false, 0, kExitOk},
        {"as a user who may not", true, 5, kExitFailed},
        {"registration only, as a user who may not", false, 5, kExitFailed},
    };
    for (const auto& c : cases) {
        SystemMachine machine(kXp, true);
        ASSERT_EQ(machine.run({"install", "--model", "QM-4716II", "--default"}), kExitOk);
        if (!c.printerLeft) {
            machine.system.spoolerPrinters.clear();
            machine.system.spoolerDrivers.clear();
        }
        if (c.deleteError) machine.system.failEvery("RegDeleteKeyA", c.deleteError);
        RecordedOutput output;
        EXPECT_EQ(machine.run({"remove", "--model", "QM-4716II"}, output), c.exitCode) << c.name;
        EXPECT_EQ(machine.system.registryKeys.count(kComponent), c.deleteError ? 1u : 0u) << c.name;
        EXPECT_EQ(output.said(IDS_DEPLOY_ACTIVE_SETUP_REMOVED), c.deleteError == 0) << c.name;
    }
    // Absent, it is no failure (the 9x family has none to look for).
    for (const OsVersion version : {kXp, kWin98}) {
        SystemMachine machine(version, false);
        EXPECT_EQ(machine.run({"remove", "--model", "QM-4716II"}), kExitOk);
    }
}

// ---- Taking turns ------------------------------------------------------------

TEST(DeploymentTurn, TheMutexIsGlobalFromNt5On) {
    const struct {
        OsVersion version;
        const char* name;
    } cases[] = {
        {kWin98, "TolmarDeploy"},
        {kNt4, "TolmarDeploy"},
        {{2, 5, 0}, "Global\\TolmarDeploy"},
        {kXp, "Global\\TolmarDeploy"},
        {kWin10, "Global\\TolmarDeploy"},
    };
    for (const auto& c : cases) {
        Machine machine(c.version);
        EXPECT_STREQ(deploymentMutexName(machine.context), c.name)
            << c.version.majorVersion << "." << c.version.minorVersion;
    }
}

TEST(DeploymentTurn, WaitsSaysSoAndGivesTheTurnBack) {
    constexpr std::uint32_t kTimeout = win32::kWaitTimeout;
    constexpr std::uint32_t kAbandoned = win32::kWaitAbandoned;
    const struct {
        const char* name;
        std::vector<std::uint32_t> waits;  // what each wait answers
        int exitCode;
        std::vector<int> said;
    } cases[] = {
        {"free", {}, kExitOk, {}},
        {"another run ends in time", {kTimeout}, kExitOk, {IDS_DEPLOY_TURN_WAITING}},
        {"another run died", {kAbandoned}, kExitOk, {IDS_DEPLOY_TURN_ABANDONED}},
        {"another run dies while waited for",
         {kTimeout, kAbandoned},
         kExitOk,
         {IDS_DEPLOY_TURN_WAITING, IDS_DEPLOY_TURN_ABANDONED}},
        {"another run outlasts the limit",
         {kTimeout, kTimeout},
         kExitBusy,
         {IDS_DEPLOY_TURN_WAITING, IDS_DEPLOY_TURN_TIMEOUT}},
    };
    for (const auto& c : cases) {
        Machine machine(kXp);
        machine.system.waitResults = c.waits;
        RecordedOutput output;
        {
            DeploymentTurn turn(machine.system);
            EXPECT_EQ(turn.take(machine.context, 7000, output), c.exitCode) << c.name;
        }
        std::vector<int> said;
        for (const int id : {IDS_DEPLOY_TURN_WAITING, IDS_DEPLOY_TURN_ABANDONED,
                             IDS_DEPLOY_TURN_TIMEOUT, IDS_DEPLOY_TURN_FAILED}) {
            if (output.said(id)) said.push_back(id);
        }
        EXPECT_EQ(said, c.said) << c.name;
        const std::string mutex = "mutex Global\\TolmarDeploy";
        std::vector<std::string> expected = {"CreateMutexA(Global\\TolmarDeploy)",
                                             "WaitForSingleObject(" + mutex + ", 0)"};
        if (!c.waits.empty() && c.waits[0] == kTimeout) {
            expected.push_back("WaitForSingleObject(" + mutex + ", 7000)");
        }
        if (c.exitCode == kExitOk) expected.push_back("ReleaseMutex(" + mutex + ")");
        expected.push_back("CloseHandle(" + mutex + ")");
        EXPECT_EQ(machine.system.calls, expected) << c.name;
        EXPECT_TRUE(machine.system.openHandles().empty()) << c.name;
        EXPECT_TRUE(machine.system.misuse.empty()) << c.name;
    }
}

// Any user can make a mutex of the name first (and hold it for ever); only
// one that Administrators or LocalSystem own makes a run wait. What Windows
// does with the descriptor the tool gives (a standard user may not name
// Administrators as the owner, nor open the administrators' mutex) Wine does
// not enforce for its one account: here the answers Windows gives.
TEST(DeploymentTurn, OnlyAnAdministratorsMutexMakesARunWait) {
    const std::string mutex = "mutex Global\\TolmarDeploy";
    const std::string create = "CreateMutexA(Global\\TolmarDeploy)";
    const std::string owner = "GetKernelObjectSecurity(" + mutex + ", OWNER)";
    const std::string wait = "WaitForSingleObject(" + mutex + ", 0)";
    const std::string release = "ReleaseMutex(" + mutex + ")";
    const std::string close = "CloseHandle(" + mutex + ")";
    const struct {
        const char* name;
        bool exists;
        bool ownedByAdministrators;
        std::uint32_t createError;
        std::uint32_t ownerError;
        int exitCode;
        int said;
        std::vector<std::string> calls;
    } cases[] = {
        {"made by another administrator's or SYSTEM's run",
         true,
         true,
         0,
         0,
         kExitOk,
         0,
         {create, owner, wait, release, close}},
        {"made by a standard user",
         true,
         false,
         0,
         0,
         kExitOk,
         IDS_DEPLOY_TURN_FOREIGN,
         {create, owner, close}},
        {"made by a user who shut everyone else out",
         false,
         true,
         5,
         0,
         kExitOk,
         IDS_DEPLOY_TURN_SHUT_OUT,
         {create}},
        {"a run whose account may not own it",
         false,
         true,
         win32::kErrorInvalidOwner,
         0,
         kExitOk,
         IDS_DEPLOY_TURN_SHUT_OUT,
         {create}},
        {"Windows 9x, which has no owners",
         true,
         false,
         0,
         win32::kErrorProcNotFound,
         kExitOk,
         0,
         {create, owner, wait, release, close}},
        {"an owner that cannot be read",
         true,
         true,
         0,
         6,
         kExitFailed,
         IDS_DEPLOY_TURN_FAILED,
         {create, owner, close}},
        {"a mutex that cannot be made",
         false,
         true,
         1450,
         0,
         kExitFailed,
         IDS_DEPLOY_TURN_FAILED,
         {create}},
    };
    for (const auto& c : cases) {
        Machine machine(kXp);
        machine.system.mutexExists = c.exists;
        machine.system.mutexOwnedByAdministrators = c.ownedByAdministrators;
        if (c.createError) machine.system.failEvery("CreateMutexA", c.createError);
        if (c.ownerError) machine.system.failEvery("GetKernelObjectSecurity", c.ownerError);
        RecordedOutput output;
        {
            DeploymentTurn turn(machine.system);
            EXPECT_EQ(turn.take(machine.context, 7000, output), c.exitCode) << c.name;
        }
        for (const int id :
             {IDS_DEPLOY_TURN_FOREIGN, IDS_DEPLOY_TURN_SHUT_OUT, IDS_DEPLOY_TURN_FAILED}) {
            EXPECT_EQ(output.said(id), id == c.said) << c.name << " " << id;
        }
        EXPECT_EQ(machine.system.calls, c.calls) << c.name;
        EXPECT_TRUE(machine.system.openHandles().empty()) << c.name;
    }
}

}  // namespace
}  // namespace setup
