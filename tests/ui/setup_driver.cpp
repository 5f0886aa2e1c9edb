#include "tests/ui/setup_driver.h"

#include <cstdio>

#ifndef SETUP_EXE_PATH
#error "SETUP_EXE_PATH must name the Setup.exe under test"
#endif

namespace ui {

const wchar_t kOsPageCaption[] = L"选择操作系统";
const wchar_t kSettingsPageCaption[] = L"详细设置";
const wchar_t kAboutCaption[] = L"关于 Tolmar";
const wchar_t kMessageCaption[] = L"Setup";

namespace {

constexpr wchar_t kAppDefaultsKey[] = L"Software\\Wine\\AppDefaults\\Setup.exe";

struct WindowQuery {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
    auto* query = reinterpret_cast<WindowQuery*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != query->processId) return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (lstrcmpW(className, L"#32770") != 0) return TRUE;
    // GetWindowTextW reads another process's caption without a message, so
    // a busy program cannot hold the search up.
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (lstrcmpW(caption, query->caption) != 0) return TRUE;
    query->found = window;
    return FALSE;
}

struct ControlQuery {
    DWORD processId;
    int controlId;
    HWND found;
};

BOOL CALLBACK matchDialogWithControl(HWND window, LPARAM parameter) {
    auto* query = reinterpret_cast<ControlQuery*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != query->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (lstrcmpW(className, L"#32770") != 0 || !GetDlgItem(window, query->controlId)) return TRUE;
    query->found = window;
    return FALSE;
}

}  // namespace

std::wstring setupExePath() {
    return windowsPath(widen(SETUP_EXE_PATH));
}

WindowsVersion::WindowsVersion(const wchar_t* version) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppDefaultsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                       static_cast<DWORD>((lstrlenW(version) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

WindowsVersion::~WindowsVersion() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kAppDefaultsKey);
}

SetupProcess::SetupProcess(const std::wstring& folder, const std::wstring& exe,
                           DWORD creationFlags) {
    const std::wstring program = exe.empty() ? setupExePath() : exe;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (startProgram(program, L"\"" + program + L"\"", FALSE, creationFlags, folder.c_str(),
                     &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
    } else {
        startError_ = GetLastError();
    }
}

SetupProcess::SetupProcess(HANDLE process, DWORD id) : id_(id) {
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &process_, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
}

SetupProcess::~SetupProcess() {
    if (!process_) return;
    if (running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, kExitTimeoutMs);
    }
    CloseHandle(process_);
}

HWND findDialog(DWORD processId, const wchar_t* caption) {
    WindowQuery query = {processId, caption, nullptr};
    EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND SetupProcess::findWindow(const wchar_t* caption) const {
    return findDialog(id_, caption);
}

HWND SetupProcess::waitForWindow(const wchar_t* caption, DWORD timeoutMs) const {
    HWND found = nullptr;
    waitUntil(
        [&] {
            found = findWindow(caption);
            if (found && IsWindowVisible(found)) return true;
            found = nullptr;
            return !running();
        },
        timeoutMs);
    return found;
}

HWND SetupProcess::waitForDialogWith(int controlId, DWORD timeoutMs) const {
    ControlQuery query = {id_, controlId, nullptr};
    waitUntil(
        [&] {
            EnumWindows(&matchDialogWithControl, reinterpret_cast<LPARAM>(&query));
            return query.found || !running();
        },
        timeoutMs);
    return query.found;
}

DWORD SetupProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

bool SetupProcess::waitForExit(DWORD timeoutMs) const {
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

bool SetupProcess::running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::wstring itemText(HWND dialog, int id) {
    return windowText(GetDlgItem(dialog, id));
}

int checkState(HWND dialog, int id) {
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0));
}

std::vector<std::wstring> comboEntries(HWND combo) {
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, row, 0);
        std::wstring text(length > 0 ? length + 1 : 1, L'\0');
        const LRESULT copied =
            SendMessageW(combo, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(copied > 0 ? copied : 0);
        entries.push_back(text);
    }
    return entries;
}

int comboSelection(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

void selectComboRow(HWND dialog, int id, int row) {
    const HWND combo = GetDlgItem(dialog, id);
    SendMessageW(combo, CB_SETCURSEL, row, 0);
    // CB_SETCURSEL notifies nobody; the list sends this itself when the user
    // picks a row. Sent, so the page has reacted when this returns.
    DWORD_PTR ignored;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo), SMTO_BLOCK, 10000, &ignored);
}

void clickButton(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

HWND focusedWindow(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void sync(HWND window) {
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored);
}

MessageBoxView readMessageBox(HWND box) {
    MessageBoxView view;
    view.window = box;
    view.owner = GetWindow(box, GW_OWNER);
    // The message is the box's one Static control with text; the icon is
    // another Static without any.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Static") != 0) continue;
        const std::wstring text = windowText(child);
        if (!text.empty()) view.text = text;
    }
    return view;
}

std::vector<std::wstring> answerMessages(const SetupProcess& setup, DWORD timeoutMs) {
    std::vector<std::wstring> texts;
    const bool ended = waitUntil(
        [&] {
            const HWND box = setup.findWindow(kMessageCaption);
            if (box && IsWindowVisible(box)) {
                texts.push_back(readMessageBox(box).text);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                waitUntil([&] { return !IsWindow(box); });
            }
            return !setup.running();
        },
        timeoutMs);
    if (!ended) texts.clear();
    return texts;
}

std::wstring setupString(UINT id) {
    static const HMODULE module = LoadLibraryExW(
        setupExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    wchar_t text[1024] = {};
    return module && LoadStringW(module, id, text, 1024) > 0 ? text : L"";
}

}  // namespace ui
