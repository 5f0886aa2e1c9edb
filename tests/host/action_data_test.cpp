// What the MSI's elevated action is given: each property a user can set is
// held against the catalogue, the data the deferred action reads is built
// from the catalogue's names only, and every argument it passes on reaches
// the tool as exactly that one argument, whatever was typed.
#include "packaging/action_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "deploy/command_line.h"

namespace setup {
namespace {

constexpr char kTool[] = "C:\\Program Files\\Tolmar Printer Driver\\TolmarDeploy.exe";

TEST(ActionProperties, AcceptOnlyWhatTheToolAcceptsAndSayWhyNot) {
    const std::string tooLong(kMaxPropertyValue + 1, 'A');
    const struct {
        ActionProperty property;
        std::string value;
        bool accepted;
        int model = -1, port = 0;
        bool asDefault = false;
    } cases[] = {
        {ActionProperty::Model, "qm-4716ii", true, 2, 0, false},
        {ActionProperty::RememberedModel, "QM-4720XIII", true, 14, 0, false},
        {ActionProperty::PackageModel, "QM-4706", true, 10, 0, false},
        {ActionProperty::Model, "", true, -1, 0, false},
        {ActionProperty::Model, "QM-0000", false},
        {ActionProperty::Model, "QM-4716II --package C:\\other", false},
        {ActionProperty::Model, "QM-4716II\t--package\tZ:\\other", false},
        {ActionProperty::Model, "\"QM-4716II\"", false},
        {ActionProperty::Model, "C:\\Windows\\System32", false},
        {ActionProperty::Model, "QM-4716II" + tooLong, false},
        {ActionProperty::Port, "LPT1", true, -1, 0, false},
        {ActionProperty::Port, "com4:", true, -1, 6, false},
        {ActionProperty::RememberedPort, "LPT3:", true, -1, 2, false},
        {ActionProperty::Port, "", true, -1, 0, false},
        {ActionProperty::Port, "LPT1:\t--package\tZ:\\other", false},
        {ActionProperty::Port, "LPT1 --package Z:\\other", false},
        {ActionProperty::Port, "LPT1\" --package \"Z:\\other", false},
        {ActionProperty::Port, "LPT4", false},
        {ActionProperty::Port, "\\\\.\\LPT1", false},
        {ActionProperty::Default, "1", true, -1, 0, true},
        {ActionProperty::RememberedDefault, "0", true, -1, 0, false},
        {ActionProperty::Default, "", true, -1, 0, false},
        {ActionProperty::Default, "yes", false},
        {ActionProperty::Default, "1 --package Z:\\other", false},
        {ActionProperty::Default, "01", false},
        {ActionProperty::Default, tooLong, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(propertyName(c.property)) + "=" + c.value);
        ActionRequest request;
        const char* why = checkProperty(c.property, c.value.c_str(), request);
        EXPECT_EQ(why == nullptr, c.accepted) << (why ? why : "");
        if (!c.accepted) continue;
        EXPECT_EQ(request.modelIndex, c.model);
        EXPECT_EQ(request.portIndex, c.port);
        EXPECT_EQ(request.setAsDefault, c.asDefault);
    }
}

TEST(ActionProperties, AValueInTheLogStaysOnOneLineAndInItsRoom) {
    const struct {
        const char* value;
        std::size_t room;
        const char* shown;
    } cases[] = {
        {"LPT1:\t--package\tZ:\\other", 64, "LPT1:\\x09--package\\x09Z:\\other"},
        {"a\r\nMSI (s) forged", 64, "a\\x0D\\x0AMSI (s) forged"},
        {"\xe4\xb8\xad", 64, "\\xE4\\xB8\\xAD"},
        {"0123456789", 8, "0123..."},
        {"\t\t\t", 8, "\\x09..."},
        {"abc", 1, ""},
    };
    for (const auto& c : cases) {
        char out[64];
        describeValue(c.value, out, c.room);
        EXPECT_STREQ(out, c.shown) << c.value;
    }
}

// A repair started by a standard user runs elevated with the secure
// properties the user gave: what was installed stays. An administrator's
// values, and whatever a first installation is given, count.
TEST(ActionSettings, ARepairKeepsWhatWasInstalledUnlessAnAdministratorGivesNewValues) {
    ActionRequest given;
    given.modelIndex = 2;
    given.portIndex = 1;
    given.setAsDefault = true;
    ActionRequest remembered;
    remembered.modelIndex = 2;
    remembered.portIndex = 2;
    const struct {
        bool maintenance, administrator;
        int port;
        bool asDefault, kept;
    } cases[] = {
        {false, false, 1, true, false},
        {false, true, 1, true, false},
        {true, true, 1, true, false},
        {true, false, 2, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.maintenance ? "repair" : "first installation") + " by " +
                     (c.administrator ? "an administrator" : "a standard user"));
        bool kept = !c.kept;
        const ActionRequest settings =
            settingsToRun(given, remembered, c.maintenance, c.administrator, kept);
        EXPECT_EQ(settings.modelIndex, 2);
        EXPECT_EQ(settings.portIndex, c.port);
        EXPECT_EQ(settings.setAsDefault, c.asDefault);
        EXPECT_EQ(kept, c.kept);
    }
    bool kept = true;
    settingsToRun(remembered, remembered, true, false, kept);
    EXPECT_FALSE(kept) << "the installed values given again change nothing";
}

// The tool SYSTEM runs is the package's own under Program Files, as Windows
// names that folder; any other INSTALLDIR may be one users can write to.
TEST(ActionSettings, TheToolRunsOnlyFromThePackagesFolderUnderProgramFiles) {
    const struct {
        const char* tool;
        const char* programFiles;
        bool accepted;
    } cases[] = {
        {kTool, "C:\\Program Files", true},
        {kTool, "C:\\Program Files\\", true},
        {"c:\\PROGRAM FILES\\tolmar printer driver\\tolmardeploy.EXE", "C:\\Program Files", true},
        {"D:\\Apps\\Tolmar Printer Driver\\TolmarDeploy.exe", "D:\\Apps", true},
        {"C:\\users\\Public\\Tolmar 100%PATH%\\TolmarDeploy.exe", "C:\\Program Files", false},
        {"C:\\Tolmar\\TolmarDeploy.exe", "C:\\Program Files", false},
        {"C:\\Program Files\\Tolmar Printer Driver\\..\\..\\Tolmar\\TolmarDeploy.exe",
         "C:\\Program Files", false},
        {"C:\\Program Files\\Other\\Tolmar Printer Driver\\TolmarDeploy.exe", "C:\\Program Files",
         false},
        {"C:\\Program Files\\Tolmar Printer Driver\\TolmarDeploy.exe.exe", "C:\\Program Files",
         false},
        {"\\Tolmar Printer Driver\\TolmarDeploy.exe", "", false},
        {kTool, "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isPackageTool(c.tool, c.programFiles), c.accepted)
            << c.tool << " under " << c.programFiles;
    }
}

DecodedActionData roundTrip(ActionCommand command, const ActionRequest& request, const char* tool,
                            std::string& buffer) {
    char data[1024];
    EXPECT_TRUE(encodeActionData(command, request, tool, data, sizeof data));
    buffer = data;
    DecodedActionData decoded;
    EXPECT_TRUE(decodeActionData(buffer.data(), decoded)) << data;
    return decoded;
}

// The tool's C runtime reading a command line back into its arguments.
std::vector<std::string> asTheToolReadsIt(const char* const* arguments, int count) {
    char line[4096] = "t";
    for (int i = 0; i < count; ++i) EXPECT_TRUE(appendArgument(line, sizeof line, arguments[i]));
    ArgumentList list;
    EXPECT_TRUE(list.split(line)) << line;
    return {list.arguments(), list.arguments() + list.count()};
}

TEST(ActionData, CarriesOnlyTheCatalogueNamesToTheToolsArguments) {
    for (int model = 0; model < ModelCatalogue::kCount; ++model) {
        for (int port : {0, 6}) {
            ActionRequest request;
            request.modelIndex = model;
            request.portIndex = port;
            request.setAsDefault = port == 6;
            std::string buffer;
            const DecodedActionData decoded =
                roundTrip(ActionCommand::Install, request, kTool, buffer);
            EXPECT_EQ(decoded.command, ActionCommand::Install);
            EXPECT_STREQ(decoded.toolPath, kTool);
            const char* arguments[kMaxToolArguments];
            const int count = installArguments(decoded, arguments);
            std::vector<std::string> expected = {kTool,     "install",
                                                 "--model", ModelCatalogue::row(model).modelName,
                                                 "--port",  port == 0 ? "LPT1" : "COM4"};
            if (request.setAsDefault) expected.push_back("--default");
            EXPECT_EQ(std::vector<std::string>(arguments, arguments + count), expected);
            // Past the program's own name, the tool reads exactly these.
            expected.erase(expected.begin());
            EXPECT_EQ(asTheToolReadsIt(arguments + 1, count - 1), expected);
        }
    }
    ActionRequest request;
    request.modelIndex = 2;
    std::string buffer;
    const DecodedActionData removal = roundTrip(ActionCommand::Remove, request, kTool, buffer);
    const char* arguments[kMaxToolArguments];
    const int count = removeArguments(removal, arguments);
    EXPECT_EQ(std::vector<std::string>(arguments, arguments + count),
              (std::vector<std::string>{kTool, "remove", "--model", "QM-4716II"}));
}

TEST(ActionData, RefusesDataItDidNotWrite) {
    char data[1024];
    ActionRequest noModel;
    EXPECT_FALSE(encodeActionData(ActionCommand::Install, noModel, kTool, data, sizeof data));
    EXPECT_STREQ(data, "");
    ActionRequest request;
    request.modelIndex = 2;
    EXPECT_FALSE(encodeActionData(ActionCommand::Install, request, "", data, sizeof data));
    EXPECT_FALSE(encodeActionData(ActionCommand::Install, request, kTool, data, 20));
    EXPECT_STREQ(data, "") << "nothing half-written";
    for (const char* bad : {
             "",
             "install",
             "status\tQM-4716II\tLPT1\t0\tC:\\t.exe",
             "install\tQM-4716II --package C:\\x\tLPT1\t0\tC:\\t.exe",
             "install\tQM-4716II\tLPT1:\t--package\t0\tC:\\t.exe",
             "install\tQM-4716II\tLPT1\t2\tC:\\t.exe",
             "install\t\tLPT1\t0\tC:\\t.exe",
             "install\tQM-4716II\tLPT1\t0\t",
             "install\tQM-4716II\tLPT1\t0",
         }) {
        std::string copy = bad;
        DecodedActionData decoded;
        EXPECT_FALSE(decodeActionData(copy.data(), decoded)) << bad;
    }
}

TEST(ActionData, EveryArgumentReachesTheToolWhole) {
    const std::vector<const char*> hostile = {
        "a b", "a\tb", "x\"y",      "C:\\dir\\",          "C:\\dir with space\\",
        "\"",  "",     "--package", "\\\\srv\\share\\\"", "\xe4\xb8\xad\xe6\x96\x87 \\\"\\",
    };
    EXPECT_EQ(asTheToolReadsIt(hostile.data(), static_cast<int>(hostile.size())),
              std::vector<std::string>(hostile.begin(), hostile.end()));
    char line[16] = "t";
    EXPECT_FALSE(appendArgument(line, sizeof line, "a long argument"));
    EXPECT_STREQ(line, "t") << "a line that cannot take it keeps what it had";
}

}  // namespace
}  // namespace setup
