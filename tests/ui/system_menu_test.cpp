// The system menu entries and icons of the two pages. Wine gives no access
// to another process's system menu (GetSystemMenu returns NULL for its
// windows), so the pages' own code runs here instead: the real OsSelectPage
// and PrinterSettingsPage, linked into this program, shown modally on a
// thread of their own from the resources of the built Setup.exe. That the
// running Setup.exe answers the entry's command is checked across processes
// (the About box test in setup_ui_test.cpp).
#include <windows.h>
// After <windows.h>, whose types it needs:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/application.h"
#include "pages/os_select_page.h"
#include "pages/printer_settings_page.h"
#include "resources/resource.h"
#include "tests/ui/setup_driver.h"

namespace {

using namespace ui;

// The framework finds the program's resources through the application
// object; here they come from Setup.exe, loaded as a data file.
class ResourceHost final : public setup::Application {
public:
    bool InitInstance() override { return false; }
};

ResourceHost host;

bool useSetupResources() {
    static const HMODULE resources = LoadLibraryExW(
        setupExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!resources) return false;
    InitCommonControls();  // the first page's divider is a trackbar
    host.run(reinterpret_cast<HINSTANCE>(resources));
    return true;
}

// A page run modally on its own thread, as the program's page loop runs it;
// cancelled on destruction if it is still open.
template <typename Page>
class PageOnThread {
public:
    PageOnThread()
        : thread_([this] {
              threadId_ = GetCurrentThreadId();
              Page page;
              result_ = page.runModal();
          }) {}
    ~PageOnThread() {
        if (!thread_.joinable()) return;
        while (result_ == kRunning) {
            if (const HWND window = dialog()) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            Sleep(20);
        }
        thread_.join();
    }
    PageOnThread(const PageOnThread&) = delete;
    PageOnThread& operator=(const PageOnThread&) = delete;

    // The page's window once it is visible; nullptr if it never shows.
    HWND waitForWindow() const {
        HWND window = nullptr;
        waitUntil([&] {
            window = dialog();
            return (window && IsWindowVisible(window)) || result_ != kRunning;
        });
        return window && IsWindowVisible(window) ? window : nullptr;
    }
    INT_PTR waitForResult() {
        thread_.join();
        return result_;
    }

private:
    static constexpr INT_PTR kRunning = -100;

    // Found by its thread, not its caption, so a wrong caption cannot hide it.
    HWND dialog() const {
        HWND found = nullptr;
        if (threadId_ == 0) return nullptr;
        EnumThreadWindows(
            threadId_,
            [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
                wchar_t className[16] = {};
                GetClassNameW(window, className, 16);
                if (lstrcmpW(className, L"#32770") != 0) return TRUE;
                *reinterpret_cast<HWND*>(parameter) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    std::atomic<INT_PTR> result_{kRunning};
    std::atomic<DWORD> threadId_{0};
    std::thread thread_;
};

struct MenuEntry {
    UINT id;
    bool separator;
    bool enabled;
    std::wstring text;
};

// A request to read a window's system menu on the window's own thread.
struct MenuRequest {
    HWND window = nullptr;
    std::vector<MenuEntry> entries;
    bool done = false;
};
MenuRequest* pendingRequest = nullptr;

UINT readMenuMessage() {
    static const UINT message = RegisterWindowMessageW(L"setup_ui_tests read system menu");
    return message;
}

LRESULT CALLBACK readMenuOnWindowThread(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && pendingRequest && call->message == readMenuMessage() &&
        call->hwnd == pendingRequest->window) {
        const HMENU menu = GetSystemMenu(call->hwnd, FALSE);
        for (int position = 0, count = menu ? GetMenuItemCount(menu) : 0; position < count;
             ++position) {
            MENUITEMINFOW item = {};
            item.cbSize = sizeof item;
            item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
            GetMenuItemInfoW(menu, position, TRUE, &item);
            wchar_t text[128] = {};
            GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
            pendingRequest->entries.push_back({item.wID, (item.fType & MFT_SEPARATOR) != 0,
                                               (item.fState & MFS_DISABLED) == 0, text});
        }
        pendingRequest->done = menu != nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The window's system menu, read on the thread that owns the window: Wine's
// own painting of the caption uses the menu on that thread, and creating or
// reading it from another one races with that.
std::vector<MenuEntry> systemMenuOf(HWND window, bool* read) {
    MenuRequest request;
    request.window = window;
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &readMenuOnWindowThread, nullptr,
                                         GetWindowThreadProcessId(window, nullptr));
    pendingRequest = &request;
    SendMessageW(window, readMenuMessage(), 0, 0);
    pendingRequest = nullptr;
    if (hook) UnhookWindowsHookEx(hook);
    *read = request.done;
    return request.entries;
}

// The system's own entries: its commands (from 0xF000 on; Wine adds one of
// its own) and separators.
bool isSystemEntry(const MenuEntry& entry) {
    return entry.id >= 0xF000 || entry.separator;
}

TEST(PagesInProcess, SettingsPageMenuEndsWithAboutAndWindowHasTheIcon) {
    ASSERT_TRUE(useSetupResources()) << "cannot load " << narrow(setupExePath());
    PageOnThread<setup::PrinterSettingsPage> run;
    const HWND page = run.waitForWindow();
    ASSERT_TRUE(page) << "the settings page did not show";
    EXPECT_EQ(windowText(page), kSettingsPageCaption);

    bool read = false;
    const std::vector<MenuEntry> menu = systemMenuOf(page, &read);
    ASSERT_TRUE(read) << "no system menu";
    ASSERT_GE(menu.size(), 3u);
    const std::size_t count = menu.size();
    for (std::size_t position = 0; position < count - 2; ++position) {
        EXPECT_TRUE(isSystemEntry(menu[position]))
            << "entry " << position << " is not the system's: ours must come last";
    }
    EXPECT_TRUE(menu[count - 2].separator);
    EXPECT_EQ(menu[count - 1].id, static_cast<UINT>(IDM_ABOUT));
    EXPECT_EQ(menu[count - 1].text, L"关于 Tolmar(&A)...");
    EXPECT_TRUE(menu[count - 1].enabled);

    // The application icon for the window, large and small, and for dragging
    // the minimised window (another process cannot ask Wine for these).
    const auto icon = reinterpret_cast<HICON>(SendMessageW(page, WM_GETICON, ICON_BIG, 0));
    ASSERT_TRUE(icon) << "no icon";
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask = {};
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, GetSystemMetrics(SM_CXICON)) << "not a large icon";
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(page, WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(page, WM_QUERYDRAGICON, 0, 0)), icon);

    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
    EXPECT_EQ(run.waitForResult(), 1);
}

TEST(PagesInProcess, OsPageMenuHasNoAboutEntry) {
    ASSERT_TRUE(useSetupResources()) << "cannot load " << narrow(setupExePath());
    PageOnThread<setup::OsSelectPage> run;
    const HWND page = run.waitForWindow();
    ASSERT_TRUE(page) << "the first page did not show";
    EXPECT_EQ(windowText(page), kOsPageCaption);

    bool read = false;
    const std::vector<MenuEntry> menu = systemMenuOf(page, &read);
    ASSERT_TRUE(read) << "no system menu";
    EXPECT_FALSE(menu.empty());
    for (std::size_t position = 0; position < menu.size(); ++position) {
        EXPECT_TRUE(isSystemEntry(menu[position]))
            << "entry " << position << ": " << narrow(menu[position].text);
        EXPECT_NE(menu[position].id, static_cast<UINT>(IDM_ABOUT));
    }

    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
    EXPECT_EQ(run.waitForResult(), 2);
}

}  // namespace
