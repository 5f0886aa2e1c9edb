// TolmarDeploy.exe run as its own process against Wine's spooler, files and
// registry: the exit code of each command, what it leaves installed, its
// status lines and its log. Wine reports Windows 98 to the tool for the
// full 9x procedure, or 64-bit XP for the NT refusal. Run in a code page 936
// locale, as a Chinese Windows is: the tool speaks Chinese there.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "install/nt_installer.h"
#include "install/win32_system.h"
#include "tests/win/wine_fixture.h"

namespace setup::winetest {
namespace {

constexpr char kModel[] = "QM-4712II";
constexpr char k9xEnvironment[] = "Windows 4.0";
constexpr char kNtEnvironment[] = "Windows NT x86";
constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\TolmarDeploy.exe";
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::vector<std::string> k9xPackage = {"QM47.DRV",    "QM47K.DRV",  "QM47V.DRV",
                                             "iconlib.DLL", "uniDRV.DLL", "uniDRV.hlp"};
const std::vector<std::string> k9xInstalled = {"QM47.DRV", "iconlib.DLL", "uniDRV.DLL",
                                               "uniDRV.HLP"};
const std::vector<std::string> kNtPackage = {"QM47.DLL",   "QM4712II.GPD", "uniDRVui.DLL",
                                             "uniDRV.DLL", "UNIDRV.HLP",   "UNIRES.DLL",
                                             "TTFSUB.GPD", "STDNAMES.GPD"};

std::wstring toolPath() {
    return widen(windowsPath(std::string(DEPLOY_EXE_PATH)).c_str());
}

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;  // as the tool wrote them
};

// Starts the tool with its output in two files and waits for it. (Not
// with CREATE_NO_WINDOW: Wine then gives it a console instead of the handles.)
ToolRun runTool(const std::wstring& exe, const std::wstring& arguments,
                const std::wstring& currentDirectory = L"") {
    ToolRun run;
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring outPath = std::wstring(temp) + L"deploy-test-out.txt";
    const std::wstring errPath = std::wstring(temp) + L"deploy-test-err.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
    const HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    SetLastError(0);
    const BOOL started = CreateProcessW(
        exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        ADD_FAILURE() << "CreateProcessW failed with error " << startError
                      << (startError == 1359 ? " (Wine failed to start a program: rare, seen "
                                               "on a busy machine)"
                                             : "");
        return run;
    }
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "TolmarDeploy did not end within a minute";
        TerminateProcess(process.hProcess, 99);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.out = readFile(narrow(outPath)).value_or("");
    run.err = readFile(narrow(errPath)).value_or("");
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return run;
}

std::string describe(const ToolRun& run) {
    return "exit " + std::to_string(run.exitCode) + "\nstdout:\n" + run.out + "stderr:\n" + run.err;
}

// The Windows version Wine reports to the tool, for this test only.
class ToolVersion {
public:
    explicit ToolVersion(const char* version) : key_(HKEY_CURRENT_USER, kAppDefaults) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, KEY_SET_VALUE, &key) == 0) {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                           static_cast<DWORD>(strlen(version) + 1));
            RegCloseKey(key);
        }
    }

private:
    ScopedRegistryKey key_;
    RegistryValueRestorer value_{HKEY_CURRENT_USER, kAppDefaults, "Version"};
};

class DeployWine : public MessageBoxGuardedTest {
protected:
    void SetUp() override {
        MessageBoxGuardedTest::SetUp();
        work_.emplace();
        ASSERT_TRUE(work_->ready()) << "expected a working folder under %TEMP%";
        // Every real Windows has the key of the user's default printer.
        ASSERT_TRUE(windowsKey_.ready());
    }

    // The tool and a package beside it in `folder` (created), as shipped.
    void layOut(const std::wstring& folder, bool nt, const std::string& leaveOut = "") {
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(toolPath().c_str(), (folder + L"\\TolmarDeploy.exe").c_str(), FALSE))
            << "copy of the tool, error " << GetLastError();
        const std::wstring family = nt ? L"win2k" : L"win9x";
        CreateDirectoryW((folder + L"\\" + family).c_str(), nullptr);
        for (const std::string& name : nt ? kNtPackage : k9xPackage) {
            if (name == leaveOut) continue;
            const std::wstring path = folder + L"\\" + family + L"\\" + widen(name.c_str());
            const HANDLE file =
                CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE) << narrow(path);
            DWORD written = 0;
            const std::string content = placeholderContent(name);
            WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
            CloseHandle(file);
        }
    }

    std::wstring folder(const wchar_t* name) const {
        return widen(work_->path().c_str()) + L"\\" + name;
    }

    std::optional<WorkFolder> work_;
    ScopedRegistryKey windowsKey_{HKEY_CURRENT_USER, kWindowsKey};
    RegistryValueRestorer device_{HKEY_CURRENT_USER, kWindowsKey, "Device"};
};

class Deploy9xWine : public DeployWine {
protected:
    void SetUp() override {
        DeployWine::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        driverDirectory_ = printerDriverDirectory(k9xEnvironment);
        ASSERT_FALSE(driverDirectory_.empty());
    }
    bool installedFile(const std::string& name) const {
        return !storedFileName(driverDirectory_ + "\\" + name).empty();
    }

    ToolVersion version_{"win98"};
    InstallationCleanup cleanup_{kModel, k9xEnvironment, k9xInstalled};
    std::string driverDirectory_;
};

TEST_F(Deploy9xWine, InstallStatusInstallAgainRemoveRemoveAgainStatus) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir, false));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::wstring log = dir + L"\\deploy.log";
    const std::wstring logOption = L" --log \"" + log + L"\"";

    ToolRun run = runTool(tool, L"install --model qm-4712ii --default" + logOption);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, "") << "install says nothing on standard output";
    const std::optional<PrinterRecord> printer = findPrinter(kModel);
    ASSERT_TRUE(printer.has_value()) << describe(run);
    EXPECT_EQ(printer->port, "LPT1:");
    EXPECT_TRUE(printer->attributes & PRINTER_ATTRIBUTE_DEFAULT) << "--default on Windows 98";
    EXPECT_TRUE(findDriver(k9xEnvironment, kModel).has_value());
    for (const std::string& name : k9xInstalled) EXPECT_TRUE(installedFile(name)) << name;

    const std::string line = "QM-4712II driver=yes printer=yes default=yes port=LPT1:\r\n";
    run = runTool(tool, L"status");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, line);
    run = runTool(tool, L"status --model QM-4712II");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, line);

    run = runTool(tool, L"install --model QM-4712II --default" + logOption);
    EXPECT_EQ(run.exitCode, 0u) << "already installed counts: " << describe(run);

    // The default entry names the printer, as Windows writes it for the default printer.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, KEY_SET_VALUE, &key), 0);
    const char device[] = "QM-4712II,winspool,LPT1:";
    RegSetValueExA(key, "Device", 0, REG_SZ, reinterpret_cast<const BYTE*>(device), sizeof device);
    RegCloseKey(key);

    run = runTool(tool, L"remove --model QM-4712II" + logOption);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_FALSE(findPrinter(kModel).has_value());
    EXPECT_FALSE(findDriver(k9xEnvironment, kModel).has_value());
    EXPECT_FALSE(installedFile("QM47.DRV")) << "the model's own driver file goes";
    for (const char* shared : {"uniDRV.DLL", "uniDRV.HLP", "iconlib.DLL"}) {
        EXPECT_TRUE(installedFile(shared)) << shared << " is shared and stays";
    }
    const std::optional<RegistryValue> left =
        readRegistryValue(HKEY_CURRENT_USER, kWindowsKey, "Device");
    EXPECT_TRUE(!left || left->data.find("QM-4712II") == std::string::npos)
        << "the default entry still names the deleted printer: " << left->data;

    run = runTool(tool, L"remove --model QM-4712II" + logOption);
    EXPECT_EQ(run.exitCode, 0u) << "nothing there counts: " << describe(run);
    run = runTool(tool, L"status");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, "");
    run = runTool(tool, L"status --model QM-4712II");
    EXPECT_EQ(run.exitCode, 1u) << describe(run);
    EXPECT_EQ(run.out, "") << "not installed: nothing on standard output";

    // One timestamped UTF-8 line per check and step, the runs appended.
    const std::string text = readFile(narrow(log)).value_or("");
    ASSERT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0) << "a UTF-8 log starts with its mark";
    const std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\S.*\r$");
    int lines = 0, exits = 0;
    std::size_t start = 3;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string logLine = text.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(logLine, stamp)) << logLine;
        if (logLine.find(" 0\r") != std::string::npos && logLine.find("Exit") != std::string::npos)
            ++exits;
        ++lines;
        start = end == std::string::npos ? text.size() : end + 1;
    }
    EXPECT_GE(lines, 16) << text;
    std::printf("%s", text.c_str());
}

TEST_F(Deploy9xWine, AMissingPackageFileFailsBeforeAnythingIsWritten) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir, false, "uniDRV.hlp"));
    const std::wstring log = dir + L"\\failed.log";
    const ToolRun run =
        runTool(dir + L"\\TolmarDeploy.exe", L"install --model QM-4712II --log \"" + log + L"\"");
    EXPECT_EQ(run.exitCode, 1u) << describe(run);
    EXPECT_NE(run.err.find("win9x\\uniDRV.hlp"), std::string::npos) << describe(run);
    EXPECT_FALSE(findPrinter(kModel).has_value());
    EXPECT_FALSE(findDriver(k9xEnvironment, kModel).has_value());
    EXPECT_FALSE(installedFile("QM47.DRV"));
    const std::string text = readFile(narrow(log)).value_or("");
    EXPECT_NE(text.find("win9x\\uniDRV.hlp"), std::string::npos) << "the log names it too";
    std::printf("%s", text.c_str());
}

// Where the package is found: beside the tool whatever the current directory
// (deployment systems start programs in the system folder), or the folder
// given, relative to the current directory; spaces and Chinese in its name,
// which a Windows 98 can spell only in its Chinese code page (these tests
// run under a code page 936 locale).
struct Placement {
    const char* name;
    bool packageOption;
};
void PrintTo(const Placement& p, std::ostream* os) {
    *os << p.name;
}

class Deploy9xPlacement : public Deploy9xWine, public ::testing::WithParamInterface<Placement> {};

TEST_P(Deploy9xPlacement, FindsThePackage) {
    const std::wstring dir = folder(L"deploy test \u6253\u5370\u673a");
    ASSERT_NO_FATAL_FAILURE(layOut(dir, false));
    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const ToolRun run =
        GetParam().packageOption
            ? runTool(dir + L"\\TolmarDeploy.exe",
                      L"install --model QM-4712II --package \"deploy test \u6253\u5370\u673a\"",
                      widen(work_->path().c_str()))
            : runTool(dir + L"\\TolmarDeploy.exe", L"install --model QM-4712II", system);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_TRUE(findPrinter(kModel).has_value());
    EXPECT_TRUE(installedFile("QM47.DRV"));
}

INSTANTIATE_TEST_SUITE_P(Folders, Deploy9xPlacement,
                         ::testing::Values(Placement{"BesideTheToolStartedInTheSystemFolder",
                                                     false},
                                           Placement{"RelativePackageOption", true}));

// The exit code of a wrong command line, and of help.
TEST_F(Deploy9xWine, UsageErrorsDoNothing) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir, false));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    for (const wchar_t* arguments :
         {L"install --model QM-4799", L"install --model QM-4712II --port LPT9", L"frobnicate",
          L"install --default", L"remove --model QM-4712II --model QM-4712II",
          L"status --package x"}) {
        const ToolRun run = runTool(tool, arguments);
        EXPECT_EQ(run.exitCode, 2u) << narrow(arguments) << "\n" << describe(run);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_FALSE(findDriver(k9xEnvironment, kModel).has_value());
    for (const wchar_t* arguments : {L"", L"help", L"/?", L"--help"}) {
        const ToolRun run = runTool(tool, arguments);
        EXPECT_EQ(run.exitCode, 0u) << describe(run);
        EXPECT_NE(run.out.find("QM-4720XIII"), std::string::npos) << "help lists the models";
    }
}

// 64-bit XP: the package's NT driver is 32-bit.
class DeployNt64Wine : public DeployWine {
protected:
    ToolVersion version_{"winxp"};
    InstallationCleanup cleanup_{kModel, kNtEnvironment, kNtPackage};
};

TEST_F(DeployNt64Wine, InstallRefusesAndWritesNothing) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir, true));
    const std::string ntDirectory = printerDriverDirectory(kNtEnvironment);
    const ToolRun run =
        runTool(dir + L"\\TolmarDeploy.exe", L"install --model QM-4712II --default");
    EXPECT_EQ(run.exitCode, 3u) << describe(run);
    EXPECT_NE(run.err.find("64"), std::string::npos) << describe(run);
    EXPECT_FALSE(findDriver(kNtEnvironment, kModel).has_value());
    EXPECT_FALSE(findPrinter(kModel).has_value());
    for (const std::string& name : kNtPackage) {
        EXPECT_EQ(storedFileName(ntDirectory + "\\" + name), "") << name << " was copied";
    }
    EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kWindowsKey, "Device").has_value());
}

TEST_F(DeployNt64Wine, StatusAndRemoveOfTheX86DriverAWizardRunLeft) {
    // What the wizard leaves on 64-bit Windows: the x86 driver, no printer.
    ASSERT_TRUE(work_->addPlaceholder("win2k\\QM47.DLL"));
    for (const std::string& name : kNtPackage) ASSERT_TRUE(work_->addPlaceholder("win2k\\" + name));
    Win32System system;
    NtInstaller(system).run(InstallSelection{});
    ASSERT_TRUE(findDriver(kNtEnvironment, kModel).has_value());
    ASSERT_FALSE(findPrinter(kModel).has_value());

    const std::wstring dir = folder(L"tool");
    ASSERT_NO_FATAL_FAILURE(layOut(dir, true));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::string line = "QM-4712II driver=yes printer=no default=no port=\r\n";
    ToolRun run = runTool(tool, L"status");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, line);
    run = runTool(tool, L"status --model QM-4712II");
    EXPECT_EQ(run.exitCode, 1u) << "no printer: not installed. " << describe(run);
    EXPECT_EQ(run.out, line);

    run = runTool(tool, L"remove --model QM-4712II");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_FALSE(findDriver(kNtEnvironment, kModel).has_value());
    run = runTool(tool, L"status --model QM-4712II");
    EXPECT_EQ(run.exitCode, 1u) << describe(run);
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace setup::winetest
