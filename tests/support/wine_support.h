// What the programs run under Wine share (the engine tests, the tests that
// drive Setup.exe, the installation benchmark): text and paths, a package
// folder with placeholder driver files, a pass-through system interface to
// make one real call fail, a watcher that reads and closes the message boxes
// shown, and (system_state.h) the readers of what the spooler, the file
// system and the registry hold, with the guards that put it back.
// No test framework here: the benchmark links it too.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "install/install_report.h"
#include "install/system_api.h"
#include "tests/support/system_state.h"

namespace setup::winetest {

// ---- Windows version --------------------------------------------------------

struct ReportedVersion {
    DWORD platformId;
    DWORD major;
    DWORD minor;
};
// What GetVersionExA says to this process.
ReportedVersion reportedVersion();

// ---- Text -----------------------------------------------------------------------

std::wstring widen(const char* utf8);
std::string narrow(const std::wstring& text);  // UTF-8, for messages and output
// A window's text as UTF-16, of this process or another (empty when the
// window does not answer within 10 s).
std::wstring windowText(HWND window);

// A Unix path ("/work/...") as Wine sees it (Z:\work\...); Windows paths pass.
template <typename Char>
std::basic_string<Char> windowsPath(std::basic_string<Char> path) {
    const bool unixPath = !path.empty() && path[0] == Char('/');
    for (Char& c : path) {
        if (c == Char('/')) c = Char('\\');
    }
    return unixPath ? std::basic_string<Char>{Char('Z'), Char(':')} + path : path;
}

// ---- Files --------------------------------------------------------------------

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::wstring& path);
bool writeFile(const std::wstring& path, const std::string& content);
// The name the file system stores for path (its case), or "" when there is none.
std::wstring storedFileName(const std::wstring& path);
// The part after the last backslash.
std::wstring fileNameOf(const std::wstring& path);
// The files (not folders) directly inside folder, by name.
std::vector<std::wstring> filesIn(const std::wstring& folder);
// Removes folder with everything in it, read-only files too.
void removeTree(const std::wstring& folder);

// The recognisable content of the placeholder driver file fileName: its name.
std::string placeholderContent(const std::wstring& fileName);

// A fresh folder under %TEMP%, as the folder the program is started from,
// with the package folders "win2k" and "win9x" laid out in it (every file
// a placeholder) unless `withPackages` is false; removed again with
// everything in it.
class PackageFolder {
public:
    explicit PackageFolder(bool withPackages = true);
    ~PackageFolder();
    PackageFolder(const PackageFolder&) = delete;
    PackageFolder& operator=(const PackageFolder&) = delete;

    const std::wstring& path() const { return path_; }
    bool ready() const { return ready_; }
    // Creates relativePath ("win2k\QM47.DLL") and its folder, holding its placeholder.
    bool addPlaceholder(const std::wstring& relativePath) const;
    // Lays both packages out in `folder` (which must exist); false on failure.
    static bool layOut(const std::wstring& folder);

private:
    std::wstring path_;
    bool ready_ = false;
};

// Makes folder the current directory and puts the previous one back.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
    bool ready() const { return ready_; }

private:
    std::wstring previous_;
    bool ready_ = false;
};

// ---- Message boxes ------------------------------------------------------------

struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;  // the box's Static text, read as UTF-16
};

// From its own thread, finds each dialog box the creating thread shows,
// reads its caption and text and closes it with OK, so a modal box cannot
// hold the test up. A box with any caption is caught and recorded.
class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Ends the watch; what was seen, in order.
    std::vector<SeenMessageBox> stop();

private:
    void watch();

    DWORD watchedThread_;
    std::atomic<bool> stopping_{false};
    std::vector<SeenMessageBox> seen_;
    std::thread thread_;
};

// ---- Reports ------------------------------------------------------------------

const char* stepName(InstallStep step);
// One line per failure, for assertion messages.
std::string describe(const InstallReport& report);
// The failures of one step.
std::vector<InstallFailure> failuresOf(const InstallReport& report, InstallStep step);

// ---- Starting programs ----------------------------------------------------------

// CreateProcessW with these arguments. Wine itself has, rarely and on a busy
// machine, failed to start a program with ERROR_INTERNAL_ERROR (1359) before
// any of its code ran; only then is it started once more, which is said on
// standard error and counted in $SETUP_WINE_RESTARTS, as the test runner
// counts its own restarts. Any other failure stands.
BOOL startProgram(const std::wstring& application, std::wstring commandLine, BOOL inheritHandles,
                  DWORD creationFlags, const wchar_t* currentDirectory, STARTUPINFOW* startup,
                  PROCESS_INFORMATION* process);

}  // namespace setup::winetest
