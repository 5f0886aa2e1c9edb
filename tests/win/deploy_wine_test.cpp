// TolmarDeploy.exe run as its own process against Wine's spooler, files and
// registry: the exit code of each command, what it leaves installed, its
// status lines and its log. Wine reports Windows 98 to the tool for the 9x
// procedure, or XP for the NT one, in a 32-bit Windows; the suite Wow64 runs
// in a 64-bit one, where the tool refuses. Run in a code page 936 locale, as
// a Chinese Windows is: the tool speaks Chinese there.
#include <gtest/gtest.h>
#include <windows.h>
// clang-format off
#include <sddl.h>
// clang-format on
#include <winspool.h>

#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "install/nt_installer.h"
#include "install/win32_deployment_system.h"
#include "install/win32_system.h"
#include "tests/win/wine_fixture.h"

namespace setup::winetest {
namespace {

constexpr int kModel = 0;  // the first row of the list
constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\TolmarDeploy.exe";

const std::wstring& model() {
    return modelNames()[kModel];
}
// The model's name as the tool writes it and as its command line takes it.
std::string modelText() {
    return narrow(model());
}

std::wstring toolPath() {
    return widen(windowsPath(std::string(DEPLOY_EXE_PATH)).c_str());
}

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;  // as the tool wrote them
};

// The tool started with its output in two files of its own, ended (and its
// files deleted) by finish() or, failing that, by the destructor.
class ToolProcess {
public:
    // (Not with CREATE_NO_WINDOW: Wine then gives it a console instead of the handles.)
    ToolProcess(const std::wstring& exe, const std::wstring& arguments,
                const std::wstring& currentDirectory = L"", int index = 0) {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const std::wstring suffix = std::to_wstring(index) + L".txt";
        outPath_ = std::wstring(temp) + L"deploy-test-out" + suffix;
        errPath_ = std::wstring(temp) + L"deploy-test-err" + suffix;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        const HANDLE out = CreateFileW(outPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                       CREATE_ALWAYS, 0, nullptr);
        const HANDLE err = CreateFileW(errPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                       CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
        const BOOL started = startProgram(
            exe, L"\"" + exe + L"\" " + arguments, TRUE, 0,
            currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &process_);
        const DWORD startError = GetLastError();
        CloseHandle(out);
        CloseHandle(err);
        if (!started) {
            ADD_FAILURE() << "CreateProcessW failed with error " << startError;
            process_ = {};
        }
    }
    ~ToolProcess() { finish(); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Waits for the tool (a minute at most) and reads what it wrote.
    ToolRun finish() {
        if (!process_.hProcess) return run_;
        if (WaitForSingleObject(process_.hProcess, 60000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "TolmarDeploy did not end within a minute";
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        GetExitCodeProcess(process_.hProcess, &run_.exitCode);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        process_ = {};
        run_.out = readFile(outPath_).value_or("");
        run_.err = readFile(errPath_).value_or("");
        DeleteFileW(outPath_.c_str());
        DeleteFileW(errPath_.c_str());
        return run_;
    }

private:
    std::wstring outPath_, errPath_;
    PROCESS_INFORMATION process_ = {};
    ToolRun run_;
};

ToolRun runTool(const std::wstring& exe, const std::wstring& arguments,
                const std::wstring& currentDirectory = L"") {
    return ToolProcess(exe, arguments, currentDirectory).finish();
}

std::string describe(const ToolRun& run) {
    return "exit " + std::to_string(run.exitCode) + "\nstdout:\n" + run.out + "stderr:\n" + run.err;
}

// The Windows version Wine reports to the tool, for this test only.
class ToolVersion {
public:
    explicit ToolVersion(const std::wstring& version) {
        writeRegistryText(HKEY_CURRENT_USER, kAppDefaults, L"Version", version);
    }

private:
    // The key first: its values are put back before the keys it made go.
    ScopedRegistryKey key_{HKEY_CURRENT_USER, kAppDefaults};
    RegistryKeyGuard values_{HKEY_CURRENT_USER, kAppDefaults};
};

class DeployWine : public MessageBoxGuardedTest {
protected:
    void SetUp() override {
        MessageBoxGuardedTest::SetUp();
        // Every real Windows has the key of the user's default printer.
        ASSERT_TRUE(windowsKey_.ready());
        work_.emplace(false);
        ASSERT_TRUE(work_->ready()) << "expected a working folder under %TEMP%";
        current_.emplace(work_->path());
        ASSERT_TRUE(current_->ready());
    }

    // The tool and both packages beside it in `folder` (created), as
    // shipped; without the package file `leaveOut` ("win9x\\uniDRV.hlp").
    void layOut(const std::wstring& folder, const std::wstring& leaveOut = L"") {
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(toolPath().c_str(), (folder + L"\\TolmarDeploy.exe").c_str(), FALSE))
            << "copy of the tool, error " << GetLastError();
        ASSERT_TRUE(PackageFolder::layOut(folder)) << narrow(folder);
        if (!leaveOut.empty()) {
            ASSERT_TRUE(DeleteFileW((folder + L"\\" + leaveOut).c_str())) << narrow(leaveOut);
        }
    }

    std::wstring folder(const wchar_t* name) const { return work_->path() + L"\\" + name; }

    void expectTwoInstallsAtOnceTakeTurns(const wchar_t* mutexName, DWORD exitCode);

    // A log named through a second hard link to another file is refused
    // before anything is done, and that file keeps what it held.
    void expectALinkedLogIsRefused(DWORD exitCodeWithoutTheLog) {
        const std::wstring dir = folder(L"pkg");
        ASSERT_NO_FATAL_FAILURE(layOut(dir));
        const std::wstring tool = dir + L"\\TolmarDeploy.exe";
        const std::wstring other = folder(L"other.txt");
        const std::wstring linked = folder(L"linked.log");
        ASSERT_TRUE(writeFile(other, "kept\r\n"));
        ASSERT_TRUE(CreateHardLinkW(linked.c_str(), other.c_str(), nullptr))
            << "hard link, error " << GetLastError();
        const std::wstring install = L"install --model " + model();
        for (const std::wstring& arguments :
             {install + L" --log \"" + linked + L"\"",
              L"remove --model " + model() + L" --log \"" + linked + L"\""}) {
            const ToolRun run = runTool(tool, arguments);
            EXPECT_EQ(run.exitCode, 1u) << narrow(arguments) << "\n" << describe(run);
            EXPECT_NE(run.err.find(narrow(linked)), std::string::npos) << describe(run);
        }
        EXPECT_EQ(readFile(other).value_or(""), "kept\r\n") << "written through the link";
        EXPECT_FALSE(findDriver(k9xEnvironment, model()).has_value());
        EXPECT_FALSE(findDriver(kNtEnvironment, model()).has_value());
        EXPECT_FALSE(findPrinter(model()).has_value());
        // The same file through its own single name is a log like any other.
        ASSERT_TRUE(DeleteFileW(other.c_str()));
        const ToolRun run = runTool(tool, install + L" --log \"" + linked + L"\"");
        EXPECT_EQ(run.exitCode, exitCodeWithoutTheLog) << describe(run);
        EXPECT_NE(readFile(linked).value_or("").find(narrow(model())), std::string::npos);
    }

    // Declared first, so destroyed last: what the installation made goes
    // before the keys are put back.
    ScopedRegistryKey windowsKey_{HKEY_CURRENT_USER, kUserWindowsKey};
    InstallationKeysGuard keys_;
    InstallationCleanup cleanup_;
    std::optional<PackageFolder> work_;
    std::optional<CurrentFolder> current_;
};

class Deploy9xWine : public DeployWine {
protected:
    void SetUp() override {
        DeployWine::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        driverDirectory_ = driverDirectory(k9xEnvironment);
        ASSERT_FALSE(driverDirectory_.empty());
    }
    bool installedFile(const std::wstring& name) const {
        return !storedFileName(driverDirectory_ + L"\\" + name).empty();
    }

    ToolVersion version_{L"win98"};
    std::wstring driverDirectory_;
};

TEST_F(Deploy9xWine, InstallStatusInstallAgainRemoveRemoveAgainStatus) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::wstring log = dir + L"\\deploy.log";
    const std::wstring logOption = L" --log \"" + log + L"\"";

    const std::wstring modelOption = L" --model " + model();

    // The model's name in any case.
    ToolRun run = runTool(tool, L"install --model qm-4712ii --default" + logOption);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, "") << "install says nothing on standard output";
    const std::optional<PrinterRecord> printer = findPrinter(model());
    ASSERT_TRUE(printer.has_value()) << describe(run);
    EXPECT_EQ(printer->port, L"LPT1:");
    EXPECT_TRUE(printer->attributes & PRINTER_ATTRIBUTE_DEFAULT) << "--default on Windows 98";
    EXPECT_TRUE(findDriver(k9xEnvironment, model()).has_value());
    const std::vector<PackageCopy> copies = win9xCopies(kModel);
    for (const std::wstring& name : installedNames(copies)) {
        EXPECT_TRUE(installedFile(name)) << narrow(name);
    }

    const std::string line = modelText() + " driver=yes printer=yes default=yes port=LPT1:\r\n";
    run = runTool(tool, L"status");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, line);
    run = runTool(tool, L"status" + modelOption);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, line);

    run = runTool(tool, L"install" + modelOption + L" --default" + logOption);
    EXPECT_EQ(run.exitCode, 0u) << "already installed counts: " << describe(run);

    // The default entry names the printer, as Windows writes it for the default printer.
    ASSERT_TRUE(writeRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device",
                                  model() + L",winspool,LPT1:"));

    run = runTool(tool, L"remove" + modelOption + logOption);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_FALSE(findPrinter(model()).has_value());
    EXPECT_FALSE(findDriver(k9xEnvironment, model()).has_value());
    EXPECT_FALSE(installedFile(copies[0].installed)) << "the model's own driver file goes";
    for (std::size_t i = 1; i < copies.size(); ++i) {
        EXPECT_TRUE(installedFile(copies[i].installed))
            << narrow(copies[i].installed) << " is shared and stays";
    }
    const std::optional<std::wstring> left =
        readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device");
    EXPECT_TRUE(!left || left->find(model()) == std::wstring::npos)
        << "the default entry still names the deleted printer: " << narrow(left.value_or(L""));

    run = runTool(tool, L"remove" + modelOption + logOption);
    EXPECT_EQ(run.exitCode, 0u) << "nothing there counts: " << describe(run);
    run = runTool(tool, L"status");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, "");
    run = runTool(tool, L"status" + modelOption);
    EXPECT_EQ(run.exitCode, 1u) << describe(run);
    EXPECT_EQ(run.out, "") << "not installed: nothing on standard output";

    // One timestamped UTF-8 line per check and step, the runs appended.
    const std::string text = readFile(log).value_or("");
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
    // The last file the installation copies.
    const PackageCopy missing = win9xCopies(kModel).back();
    ASSERT_NO_FATAL_FAILURE(layOut(dir, missing.source));
    const std::wstring log = dir + L"\\failed.log";
    const ToolRun run = runTool(dir + L"\\TolmarDeploy.exe",
                                L"install --model " + model() + L" --log \"" + log + L"\"");
    EXPECT_EQ(run.exitCode, 1u) << describe(run);
    EXPECT_NE(run.err.find(narrow(missing.source)), std::string::npos) << describe(run);
    EXPECT_FALSE(findPrinter(model()).has_value());
    EXPECT_FALSE(findDriver(k9xEnvironment, model()).has_value());
    EXPECT_FALSE(installedFile(win9xCopies(kModel)[0].installed));
    const std::string text = readFile(log).value_or("");
    EXPECT_NE(text.find(narrow(missing.source)), std::string::npos) << "the log names it too";
    std::printf("%s", text.c_str());
}

// The model's own driver file still open (as the spooler holds a loaded
// driver): Windows 98 deletes it at its next start through WININIT.INI, and
// remove says a restart is needed.
TEST_F(Deploy9xWine, RemoveOfADriverFileInUseAsksForARestart) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    ToolRun run = runTool(tool, L"install --model " + model());
    ASSERT_EQ(run.exitCode, 0u) << describe(run);
    const std::wstring driverName = win9xCopies(kModel)[0].installed;
    WCHAR windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::wstring wininit = std::wstring(windows) + L"\\WININIT.INI";
    const RestoredFile restored(wininit);
    ASSERT_TRUE(writeFile(wininit, "[rename]\r\nNUL=C:\\OLD.TMP\r\n\r\n[other]\r\nx=1\r\n"));
    {
        const HANDLE held =
            CreateFileW((driverDirectory_ + L"\\" + driverName).c_str(), GENERIC_READ,
                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE) << narrow(driverName);
        run = runTool(tool, L"remove --model " + model());
        CloseHandle(held);
    }
    EXPECT_EQ(run.exitCode, 3010u) << describe(run);
    EXPECT_FALSE(findPrinter(model()).has_value());
    EXPECT_FALSE(findDriver(k9xEnvironment, model()).has_value());
    // The line goes into the section there is, the other deletion stays.
    const std::string text = readFile(wininit).value_or("");
    const std::regex expected("\\[rename\\]\r\nNUL=[^\r]*\\\\" + narrow(driverName) +
                              "\r\nNUL=C:\\\\OLD\\.TMP\r\n\r\n\\[other\\]\r\nx=1\r\n");
    EXPECT_TRUE(std::regex_search(text, expected)) << text;
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
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring install = L"install --model " + model();
    const ToolRun run =
        GetParam().packageOption
            ? runTool(dir + L"\\TolmarDeploy.exe",
                      install + L" --package \"deploy test \u6253\u5370\u673a\"", work_->path())
            : runTool(dir + L"\\TolmarDeploy.exe", install, system);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_TRUE(findPrinter(model()).has_value());
    EXPECT_TRUE(installedFile(win9xCopies(kModel)[0].installed));
}

INSTANTIATE_TEST_SUITE_P(Folders, Deploy9xPlacement,
                         ::testing::Values(Placement{"BesideTheToolStartedInTheSystemFolder",
                                                     false},
                                           Placement{"RelativePackageOption", true}));

// The exit code of a wrong command line, and of help.
TEST_F(Deploy9xWine, UsageErrorsDoNothing) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::vector<std::wstring> wrong = {
        L"install --model QM-4799", L"install --model QM-4712II --port LPT9", L"frobnicate",
        L"install --default", L"remove --model QM-4712II --model QM-4712II", L"status --package x",
        // Longer than the tool takes: refused whole, never cut to a shorter path.
        L"install --model QM-4712II --log " + std::wstring(1040, L'l'),
        L"install --model QM-4712II --package " + std::wstring(1040, L'p')};
    for (const std::wstring& arguments : wrong) {
        const ToolRun run = runTool(tool, arguments);
        EXPECT_EQ(run.exitCode, 2u) << narrow(arguments).substr(0, 80) << "\n" << describe(run);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_FALSE(findDriver(k9xEnvironment, model()).has_value());
    for (const wchar_t* arguments : {L"", L"help", L"/?", L"--help"}) {
        const ToolRun run = runTool(tool, arguments);
        EXPECT_EQ(run.exitCode, 0u) << describe(run);
        for (const std::wstring& name : modelNames()) {
            EXPECT_NE(run.out.find(narrow(name)), std::string::npos)
                << "help lists the models: " << narrow(name) << " missing\n"
                << describe(run);
        }
    }
}

// ---------------------------------------------------------------------------
// Runs at once: installs and removals take turns through one mutex (plain
// "TolmarDeploy" on Windows 98, "Global\\TolmarDeploy" from NT 5 on) and
// append whole lines to a log they share.

// The turn's mutex made as the tool makes it (owned by Administrators, open
// to them and SYSTEM alone) and taken; null when it was there already.
HANDLE takeNewTurn(const wchar_t* name) {
    SysHandle handle = 0;
    bool existed = false;
    if (Win32DeploymentSystem().createMutex(narrow(name).c_str(), &handle, &existed) != 0) {
        return nullptr;
    }
    const auto mutex = reinterpret_cast<HANDLE>(handle);
    if (existed || WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex;
}

// The turn, held by the test as another run would hold it.
class HeldTurn {
public:
    explicit HeldTurn(const wchar_t* name) {
        mutex_ = takeNewTurn(name);
        owned_ = mutex_ != nullptr;
    }
    ~HeldTurn() {
        release();
        if (mutex_) CloseHandle(mutex_);
    }
    HeldTurn(const HeldTurn&) = delete;
    HeldTurn& operator=(const HeldTurn&) = delete;

    bool owned() const { return owned_; }
    void release() {
        if (owned_) ReleaseMutex(mutex_);
        owned_ = false;
    }

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

// The wait limit an administrator can set (seconds), put back afterwards.
class WaitLimit {
public:
    explicit WaitLimit(DWORD seconds) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == 0) {
            set_ = RegSetValueExW(key, L"DeployWaitSeconds", 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&seconds), sizeof seconds) == 0;
            RegCloseKey(key);
        }
    }
    bool set() const { return set_; }

private:
    static constexpr wchar_t kKey[] = L"Software\\Tolmar\\Printer Driver";
    ScopedRegistryKey key_{HKEY_LOCAL_MACHINE, kKey};
    RegistryKeyGuard values_{HKEY_LOCAL_MACHINE, kKey};
    bool set_ = false;
};

// The log's lines (after its byte order mark), each checked to be one whole
// timestamped line.
std::vector<std::string> wholeLogLines(const std::wstring& log) {
    const std::string text = readFile(log).value_or("");
    EXPECT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0) << "a UTF-8 log starts with its mark";
    EXPECT_EQ(text.find("\xEF\xBB\xBF", 3), std::string::npos) << "one mark, at the start";
    const std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\S.*\r$");
    std::vector<std::string> lines;
    for (std::size_t start = 3; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        EXPECT_TRUE(std::regex_match(lines.back(), stamp)) << "not a whole line: " << lines.back();
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

int linesEndingWith(const std::vector<std::string>& lines, const std::string& end) {
    int n = 0;
    for (const std::string& line : lines) {
        if (line.size() >= end.size() &&
            line.compare(line.size() - end.size(), end.size(), end) == 0)
            ++n;
    }
    return n;
}

// The tool speaks Chinese in these tests: "exit code: " and the end of the
// line that says a run waits (its limit in seconds).
const std::string kExitLine = u8"\u9000\u51fa\u4ee3\u7801\uff1a";
std::string waitingLine(const char* seconds) {
    return u8"\u79d2\u6570\uff09\uff1a" + std::string(seconds) + "\r";
}
const std::string kWaitingFiveMinutes = waitingLine("300");

// Two installs started while a third run has the turn: both say they wait,
// then each runs in turn and ends with `exitCode`; their log has every line
// whole. Both ask for the default printer: which of them runs first is the
// system's choice, and the end state must not depend on it.
void DeployWine::expectTwoInstallsAtOnceTakeTurns(const wchar_t* mutexName, DWORD exitCode) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::wstring log = folder(L"shared.log");
    const std::wstring install = L"install --model " + model() + L" --log \"" + log + L"\"";
    std::optional<ToolProcess> first, second;
    {
        HeldTurn other(mutexName);
        ASSERT_TRUE(other.owned());
        first.emplace(tool, install + L" --default", L"", 1);
        second.emplace(tool, install + L" --default", L"", 2);
        int waiting = 0;
        for (int i = 0; i < 600 && waiting < 2; ++i) {
            Sleep(50);
            const std::string text = readFile(log).value_or("");
            waiting = 0;
            for (std::size_t at = text.find(kWaitingFiveMinutes); at != std::string::npos;
                 at = text.find(kWaitingFiveMinutes, at + 1)) {
                ++waiting;
            }
        }
        EXPECT_EQ(waiting, 2) << readFile(log).value_or("");
    }
    const ToolRun a = first->finish();
    const ToolRun b = second->finish();
    for (const ToolRun& run : {a, b}) {
        EXPECT_EQ(run.exitCode, exitCode) << describe(run);
        EXPECT_NE(run.err.find(kWaitingFiveMinutes.substr(0, kWaitingFiveMinutes.size() - 1)),
                  std::string::npos)
            << "a waiting run says so on standard error too: " << describe(run);
    }
    const std::vector<std::string> lines = wholeLogLines(log);
    EXPECT_EQ(linesEndingWith(lines, kWaitingFiveMinutes), 2);
    EXPECT_EQ(linesEndingWith(lines, kExitLine + std::to_string(exitCode) + "\r"), 2);
}

TEST_F(Deploy9xWine, TwoInstallsAtOnceTakeTurnsAndAppendWholeLines) {
    expectTwoInstallsAtOnceTakeTurns(L"TolmarDeploy", 0);
    const std::optional<PrinterRecord> printer = findPrinter(model());
    ASSERT_TRUE(printer.has_value());
    EXPECT_TRUE(printer->attributes & PRINTER_ATTRIBUTE_DEFAULT);
}

TEST_F(Deploy9xWine, ARunThatDoesNotGetItsTurnInTimeDoesNothing) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const WaitLimit limit(1);
    ASSERT_TRUE(limit.set());
    const std::wstring log = folder(L"late.log");
    HeldTurn other(L"TolmarDeploy");
    ASSERT_TRUE(other.owned());
    for (const wchar_t* command : {L"install", L"remove"}) {
        const ToolRun run =
            runTool(dir + L"\\TolmarDeploy.exe",
                    std::wstring(command) + L" --model " + model() + L" --log \"" + log + L"\"");
        EXPECT_EQ(run.exitCode, 1618u) << "busy, as deployment systems read it: " << describe(run);
    }
    EXPECT_FALSE(findDriver(k9xEnvironment, model()).has_value());
    EXPECT_FALSE(findPrinter(model()).has_value());
    EXPECT_FALSE(installedFile(win9xCopies(kModel)[0].installed));
    const std::vector<std::string> lines = wholeLogLines(log);
    EXPECT_EQ(linesEndingWith(lines, waitingLine("1")), 2) << "each waits one second";
    EXPECT_EQ(linesEndingWith(lines, kExitLine + "1618\r"), 2);
    // Status only reads: it never waits.
    const ToolRun status = runTool(dir + L"\\TolmarDeploy.exe", L"status");
    EXPECT_EQ(status.exitCode, 0u) << describe(status);
}

// A 32-bit XP: the NT procedure, the printer on the "Windows NT x86" driver.
class DeployNtWine : public DeployWine {
protected:
    ToolVersion version_{L"winxp"};
};

TEST_F(DeployNtWine, InstallCreatesThePrinterOnTheNtDriverAndRemoveTakesItAway) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    ToolRun run = runTool(tool, L"install --model " + model() + L" --default");
    ASSERT_EQ(run.exitCode, 0u) << describe(run);
    const std::optional<PrinterRecord> printer = findPrinter(model());
    ASSERT_TRUE(printer.has_value()) << describe(run);
    EXPECT_EQ(narrow(printer->port), "LPT1:");
    ASSERT_TRUE(printer->driverRecord.has_value());
    EXPECT_EQ(narrow(printer->driverRecord->environment), narrow(kNtEnvironment));
    EXPECT_EQ(printer->driverRecord->version, 3u);
    const std::wstring ntDirectory = driverDirectory(kNtEnvironment);
    for (const std::wstring& name : installedNames(ntCopies(kModel))) {
        EXPECT_NE(storedFileName(ntDirectory + L"\\3\\" + name), L"") << narrow(name);
    }
    EXPECT_EQ(readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").value_or(L""),
              model() + L",winspool,LPT1:");
    run = runTool(tool, L"status --model " + model());
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, modelText() + " driver=yes printer=yes default=yes port=LPT1:\r\n");

    run = runTool(tool, L"remove --model " + model());
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_FALSE(findPrinter(model()).has_value());
    EXPECT_FALSE(findDriver(kNtEnvironment, model()).has_value());
    EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").has_value());
}

TEST_F(DeployNtWine, ALogThatIsAHardLinkIsRefusedAndNothingIsDone) {
    expectALinkedLogIsRefused(0);
}

// From NT 5 on the turn is global.
TEST_F(DeployNtWine, TwoInstallsAtOnceTakeTurnsAndAppendWholeLines) {
    expectTwoInstallsAtOnceTakeTurns(L"Global\\TolmarDeploy", 0);
}

// A run that died holding the turn leaves it abandoned: the next run takes
// it, says so, and goes on.
TEST_F(DeployNtWine, TakesTheTurnARunThatDiedLeft) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    HANDLE mutex = nullptr;
    std::thread([&mutex] { mutex = takeNewTurn(L"Global\\TolmarDeploy"); }).join();
    ASSERT_NE(mutex, nullptr);
    const ToolRun run = runTool(dir + L"\\TolmarDeploy.exe", L"install --model " + model());
    CloseHandle(mutex);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_NE(run.err.find(u8"\u4e0a\u4e00\u6b21\u8fd0\u884c"), std::string::npos)
        << "says the previous run did not end: " << describe(run);
}

// A 64-bit XP (this suite runs in a 64-bit prefix, the tool under WOW64):
// the package's NT driver is 32-bit, so the tool refuses.
class Wow64 : public DeployWine {
protected:
    ToolVersion version_{L"winxp"};
};

TEST_F(Wow64, InstallRefusesAndWritesNothing) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring ntDirectory = driverDirectory(kNtEnvironment);
    ASSERT_FALSE(ntDirectory.empty());
    const ToolRun run =
        runTool(dir + L"\\TolmarDeploy.exe", L"install --model " + model() + L" --default");
    EXPECT_EQ(run.exitCode, 3u) << describe(run);
    EXPECT_NE(run.err.find("64"), std::string::npos) << describe(run);
    EXPECT_FALSE(findDriver(kNtEnvironment, model()).has_value());
    EXPECT_FALSE(findPrinter(model()).has_value());
    for (const std::wstring& name : installedNames(ntCopies(kModel))) {
        EXPECT_EQ(storedFileName(ntDirectory + L"\\" + name), L"") << narrow(name) << " was copied";
    }
    EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").has_value());
}

TEST_F(DeployNtWine, StatusAndRemoveOfADriverWithoutItsPrinter) {
    // The driver without its printer, as a user who deleted the printer leaves it.
    for (const PackageCopy& copy : ntCopies(kModel)) {
        ASSERT_TRUE(work_->addPlaceholder(copy.source)) << narrow(copy.source);
    }
    Win32System system;
    NtInstaller(system).run(InstallSelection{});
    ASSERT_TRUE(findDriver(kNtEnvironment, model()).has_value());
    ASSERT_TRUE(deletePrinter(model()));

    const std::wstring dir = folder(L"tool");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::wstring modelOption = L" --model " + model();
    const std::string line = modelText() + " driver=yes printer=no default=no port=\r\n";
    ToolRun run = runTool(tool, L"status");
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(run.out, line);
    run = runTool(tool, L"status" + modelOption);
    EXPECT_EQ(run.exitCode, 1u) << "no printer: not installed. " << describe(run);
    EXPECT_EQ(run.out, line);

    run = runTool(tool, L"remove" + modelOption);
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_FALSE(findDriver(kNtEnvironment, model()).has_value());
    run = runTool(tool, L"status" + modelOption);
    EXPECT_EQ(run.exitCode, 1u) << describe(run);
    EXPECT_EQ(run.out, "");
}

// ---- Each user's default printer from an install as SYSTEM --------------------
// Under Wine the tool never runs as SYSTEM, so the registration itself is
// the recording fake's to test; here what it leads to: the command each user
// runs at logon, and its removal.

constexpr wchar_t kComponentsKey[] = L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components";

std::wstring componentKey() {
    return std::wstring(kComponentsKey) + L"\\Tolmar.DefaultPrinter." + model();
}

// The printer of the first model, created through the NT procedure, without
// being made the default.
class DeployNtPrinterWine : public DeployNtWine {
protected:
    void SetUp() override {
        DeployNtWine::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        for (const PackageCopy& copy : ntCopies(kModel)) {
            ASSERT_TRUE(work_->addPlaceholder(copy.source)) << narrow(copy.source);
        }
        Win32System system;
        InstallSelection selection;
        selection.portIndex = 1;  // LPT2:, so the entry's port is the printer's
        selection.setAsDefault = false;
        NtInstaller(system).run(selection);
        ASSERT_TRUE(findPrinter(model()).has_value());
        ASSERT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").has_value());
    }
};

// The calls behind the registration against Wine's own token and registry:
// Wine runs every process as the user, and a key deleted twice answers
// "not found" the second time, which remove takes for no failure.
TEST(DeploySystemWine, TheTokenIsReadAndTheKeyIsCreatedAndDeleted) {
    Win32DeploymentSystem system;
    bool localSystem = true;
    EXPECT_EQ(system.tokenUserIsLocalSystem(&localSystem), 0u);
    EXPECT_FALSE(localSystem);

    const ScopedRegistryKey parent(HKEY_CURRENT_USER, L"Software\\TolmarDeployTest");
    ASSERT_TRUE(parent.ready());
    const char* const component = "Software\\TolmarDeployTest\\Component";
    {
        ScopedRegKey key(system);
        ASSERT_EQ(system.regCreateKeyForSet(RegistryRoot::CurrentUser, component, key.receive()),
                  0u);
        const char version[] = "1,0,0,1";
        EXPECT_EQ(
            system.regSetValue(key.get(), "Version", win32::kRegSz,
                               reinterpret_cast<const std::uint8_t*>(version), sizeof version),
            0u);
    }
    EXPECT_EQ(readRegistryText(HKEY_CURRENT_USER, widen(component), L"Version").value_or(L""),
              L"1,0,0,1");
    EXPECT_EQ(system.regDeleteKey(RegistryRoot::CurrentUser, component), 0u);
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, widen(component)));
    EXPECT_EQ(system.regDeleteKey(RegistryRoot::CurrentUser, component), win32::kErrorFileNotFound);
}

// The tool's own default command, as a logon script starts it: the tool by
// its full, quoted path (here with a space and Chinese in it), then
// "default --model NAME".
TEST_F(DeployNtPrinterWine, TheLogonCommandMakesThePrinterTheUsersDefault) {
    const std::wstring dir = folder(L"Tolmar \u6253\u5370\u673a");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const ToolRun run = runTool(dir + L"\\TolmarDeploy.exe", L"default --model " + model());
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").value_or(L""),
              model() + L",winspool,LPT2:");
    EXPECT_EQ(run.out, "") << "its words go to standard error";
}

TEST_F(DeployNtWine, TheLogonCommandRefusesBadInputAndWritesNothing) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const struct {
        std::wstring arguments;
        DWORD exitCode;
        std::string named;  // what the message names
    } cases[] = {
        {L"default --model QM-4799", 2, "QM-4799"},
        {L"default --model " + model(), 1, modelText()},  // no such printer
        {L"default --model " + model() + L" --default", 2, "--default"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool(dir + L"\\TolmarDeploy.exe", c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << narrow(c.arguments) << "\n" << describe(run);
        EXPECT_NE(run.err.find(c.named), std::string::npos) << describe(run);
        EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").has_value())
            << narrow(c.arguments);
    }
}

TEST_F(DeployNtWine, RemoveDeletesTheLogonRegistration) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    {
        // As an install as SYSTEM leaves it; the key goes with this scope
        // whatever the tool did.
        const ScopedRegistryKey component(HKEY_LOCAL_MACHINE, componentKey());
        ASSERT_TRUE(component.ready());
        ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, componentKey(), L"StubPath",
                                      L"\"" + tool + L"\" default --model " + model()));

        const ToolRun run = runTool(tool, L"remove --model " + model());
        EXPECT_EQ(run.exitCode, 0u) << describe(run);
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, componentKey())) << describe(run);
    }
    // Gone already: no failure.
    const ToolRun again = runTool(tool, L"remove --model " + model());
    EXPECT_EQ(again.exitCode, 0u) << describe(again);
}

// ---- Whose turn: a busy tool, and a mutex of the name that is not ours ---------

// A mutex of the turn's name as a standard user makes one, held by the test:
// owned by the user's own account and open to it and SYSTEM (what Windows
// gives a user's objects), or open to no one at all.
class UsersMutex {
public:
    UsersMutex(const wchar_t* name, bool openToNoOne) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        union {
            TOKEN_USER user;
            BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } info;
        DWORD size = 0;
        LPWSTR sid = nullptr;
        const bool known = GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
                           ConvertSidToStringSidW(info.user.User.Sid, &sid);
        CloseHandle(token);
        if (!known) return;
        const std::wstring user = sid;
        LocalFree(sid);
        const std::wstring sddl =
            L"O:" + user + (openToNoOne ? L"D:" : L"D:(A;;GA;;;" + user + L")(A;;GA;;;SY)");
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                  &descriptor, nullptr)) {
            return;
        }
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        mutex_ = CreateMutexW(&attributes, TRUE, name);
        held_ = mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
        LocalFree(descriptor);
    }
    ~UsersMutex() {
        if (held_) ReleaseMutex(mutex_);
        if (mutex_) CloseHandle(mutex_);
    }
    UsersMutex(const UsersMutex&) = delete;
    UsersMutex& operator=(const UsersMutex&) = delete;

    bool held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

// Only the administrators' mutex makes a run wait; one that does not get it
// in time ends with 1618, as deployment systems expect of a busy installer.
// Wine runs everything as one account, an administrator, which may name any
// owner: the test plays a standard user through its mutex's owner and
// access. On Windows a standard user can neither make the mutex with
// Administrators as its owner nor open theirs; those answers are the
// recording fake's to give (host DeploymentTurn tests).
TEST_F(DeployNtWine, OnlyTheAdministratorsTurnMakesARunWait) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const WaitLimit limit(1);
    ASSERT_TRUE(limit.set());
    const std::wstring tool = dir + L"\\TolmarDeploy.exe";
    const std::wstring remove = L"remove --model " + model();
    const std::string waits = waitingLine("1").substr(0, waitingLine("1").size() - 1);
    {
        HeldTurn administrators(L"Global\\TolmarDeploy");
        ASSERT_TRUE(administrators.owned());
        const ToolRun run = runTool(tool, remove);
        EXPECT_EQ(run.exitCode, 1618u) << describe(run);
        EXPECT_NE(run.err.find(waits), std::string::npos) << describe(run);
    }
    for (const bool openToNoOne : {false, true}) {
        UsersMutex user(L"Global\\TolmarDeploy", openToNoOne);
        ASSERT_TRUE(user.held()) << "open to no one: " << openToNoOne;
        const ToolRun run = runTool(tool, remove);
        EXPECT_EQ(run.exitCode, 0u) << "open to no one: " << openToNoOne << "\n" << describe(run);
        EXPECT_EQ(run.err.find(waits), std::string::npos) << "it waited: " << describe(run);
    }
}

// The run that makes a new log writes its byte order mark and lets no one
// else write before it is in; a run that finds the log being made waits for
// the mark and writes none of its own. (Two runs making one log at once
// each wrote a mark.) The test makes the log as such a run would.
TEST_F(DeployNtWine, ARunWaitsForTheMarkOfALogAnotherRunIsMaking) {
    const std::wstring dir = folder(L"pkg");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring log = folder(L"new.log");
    std::unique_ptr<void, decltype(&CloseHandle)> making(
        CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr),
        &CloseHandle);
    ASSERT_NE(making.get(), INVALID_HANDLE_VALUE) << GetLastError();
    ToolProcess tool(dir + L"\\TolmarDeploy.exe",
                     L"remove --model " + model() + L" --log \"" + log + L"\"");
    // The tool tries for two seconds.
    Sleep(1000);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(making.get(), "\xEF\xBB\xBF", 3, &written, nullptr));
    CloseHandle(making.release());
    const ToolRun run = tool.finish();
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    const std::vector<std::string> lines = wholeLogLines(log);
    EXPECT_EQ(linesEndingWith(lines, kExitLine + "0\r"), 1);
}

// ---- The logon program ------------------------------------------------------------

// What Active Setup starts at each user's logon after an install as SYSTEM:
// the logon program beside the tool, by its full, quoted path (here with a
// space and Chinese in it), then "default --model NAME". A GUI program, so
// no console window opens; it takes that one command alone and has no words.
TEST_F(DeployNtPrinterWine, TheLogonProgramMakesThePrinterTheUsersDefault) {
    const std::wstring dir = folder(L"Tolmar \u6253\u5370\u673a");
    ASSERT_NO_FATAL_FAILURE(layOut(dir));
    const std::wstring logon = dir + L"\\TolmarLogon.exe";
    ASSERT_TRUE(CopyFileW(widen(windowsPath(std::string(LOGON_EXE_PATH)).c_str()).c_str(),
                          logon.c_str(), FALSE))
        << "copy of the logon program, error " << GetLastError();
    for (const std::wstring& wrong : {L"install --model " + model(), std::wstring(L"help"),
                                      std::wstring(L"default --model QM-4799")}) {
        const ToolRun run = runTool(logon, wrong);
        EXPECT_EQ(run.exitCode, 2u) << narrow(wrong) << "\n" << describe(run);
        EXPECT_FALSE(readRegistryValue(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").has_value())
            << narrow(wrong);
    }
    const ToolRun run = runTool(logon, L"default --model " + model());
    EXPECT_EQ(run.exitCode, 0u) << describe(run);
    EXPECT_EQ(readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").value_or(L""),
              model() + L",winspool,LPT2:");
    EXPECT_EQ(run.out + run.err, "") << "it has no words: " << describe(run);
}

}  // namespace
}  // namespace setup::winetest
