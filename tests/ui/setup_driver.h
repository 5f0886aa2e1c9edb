// Drives the real Setup.exe through its windows from a separate process, the
// way a user would: start it in a folder with the driver packages, find a
// page by its caption, read its controls, click, press keys, wait for the end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/wine_support.h"

namespace ui {

// Generous upper bounds for Wine to start a process or show a window; a test
// that is on track never waits for them.
constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 30000;

// The page captions and the message box caption (the application title).
extern const wchar_t kOsPageCaption[];
extern const wchar_t kSettingsPageCaption[];
extern const wchar_t kAboutCaption[];
extern const wchar_t kMessageCaption[];

// The test support library: text, package folders, system state.
using namespace setup::winetest;

// The Setup.exe under test: SETUP_EXE_PATH from the build.
std::wstring setupExePath();

// Makes Wine report `version` ("winxp", "win98", ...) to Setup.exe only, from
// its next start on; removes the setting again.
class WindowsVersion {
public:
    explicit WindowsVersion(const wchar_t* version);
    ~WindowsVersion();
    WindowsVersion(const WindowsVersion&) = delete;
    WindowsVersion& operator=(const WindowsVersion&) = delete;
};

// One run of Setup.exe. Terminated on destruction if it is still running.
class SetupProcess {
public:
    // Starts `exe` (setupExePath() when empty) with `folder` as its current
    // directory; creationFlags as for CreateProcessW.
    explicit SetupProcess(const std::wstring& folder, const std::wstring& exe = L"",
                          DWORD creationFlags = 0);
    // Adopts a process started elsewhere (for example under a debugger); the
    // handle is duplicated.
    SetupProcess(HANDLE process, DWORD id);
    ~SetupProcess();
    SetupProcess(const SetupProcess&) = delete;
    SetupProcess& operator=(const SetupProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    // Why CreateProcessW refused to start it; 0 once started.
    DWORD startError() const { return startError_; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_; }

    // The visible top-level dialog of this process with that caption, or
    // nullptr after the timeout (or as soon as the process has ended).
    HWND waitForWindow(const wchar_t* caption, DWORD timeoutMs = kWindowTimeoutMs) const;
    // The same without waiting; visible or not.
    HWND findWindow(const wchar_t* caption) const;
    // The visible top-level dialog of this process that has a control with
    // that id: finds a page whatever code page its caption went through.
    HWND waitForDialogWith(int controlId, DWORD timeoutMs = kWindowTimeoutMs) const;
    // True when the process has ended within the timeout.
    bool waitForExit(DWORD timeoutMs = kExitTimeoutMs) const;
    bool running() const;
    // The exit code once ended; STILL_ACTIVE while running.
    DWORD exitCode() const;

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    DWORD startError_ = 0;
};

// The top-level dialog ("#32770") of that process with that caption.
HWND findDialog(DWORD processId, const wchar_t* caption);

// Controls of another process's dialog (windowText is in wine_support.h).
std::wstring itemText(HWND dialog, int id);
int checkState(HWND dialog, int id);
std::vector<std::wstring> comboEntries(HWND combo);
int comboSelection(HWND combo);
// Selects a row and sends the notification the list itself would send.
void selectComboRow(HWND dialog, int id, int row);
// Clicks a button the way the mouse does (BM_CLICK, posted).
void clickButton(HWND dialog, int id);
// The control that has the keyboard focus in the dialog's thread.
HWND focusedWindow(HWND dialog);
// Waits until the window's thread has handled everything sent before.
void sync(HWND window);

// A message box: its text (the Static control) and owner.
struct MessageBoxView {
    HWND window = nullptr;
    std::wstring text;
    HWND owner = nullptr;
};
MessageBoxView readMessageBox(HWND box);

// Answers every message box the program shows until it ends, and returns
// their texts in order. Empty when the program did not end in time.
std::vector<std::wstring> answerMessages(const SetupProcess& setup,
                                         DWORD timeoutMs = kExitTimeoutMs);

// A string of the program's string table, read from the built Setup.exe.
std::wstring setupString(UINT id);

// Runs `check` every few milliseconds until it holds or the timeout passes.
template <typename Check>
bool waitUntil(Check check, DWORD timeoutMs = kWindowTimeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (check()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

}  // namespace ui
