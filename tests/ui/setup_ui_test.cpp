// The real Setup.exe, driven through its windows from this separate process
// under the Windows versions Wine can pretend to be. Texts are compared as
// UTF-16: the program uses the A dialog functions, so they read correctly
// only under a code page 936 locale, which ctest gives these tests.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/support/wine_support.h"
#include "tests/ui/key_deleted_before_write.h"
#include "tests/ui/screenshot.h"
#include "tests/ui/setup_driver.h"

namespace {

using namespace ui;

// The program's one fixed message, shown when a registry value cannot be set.
const wchar_t kRegistryWriteFailed[] = L"错误：无法设置有关的注册表信息";

// The model list's entries, as the catalogue has them.
std::vector<std::wstring> modelEntries() {
    std::vector<std::wstring> entries;
    for (std::size_t i = 0; i < modelNames().size(); ++i) {
        entries.push_back(modelEntry(static_cast<int>(i)));
    }
    return entries;
}
const int kSerialLists[] = {IDC_BAUD, IDC_DATA_BITS, IDC_STOP_BITS, IDC_PARITY, IDC_FLOW};
const int kOsButtons[] = {IDC_OS_WIN95, IDC_OS_WIN98, IDC_OS_NT4,  IDC_OS_WIN2000,
                          IDC_OS_XP,    IDC_OS_2003,  IDC_OS_VISTA};

bool contains(const std::wstring& text, const std::wstring& part) {
    return !part.empty() && text.find(part) != std::wstring::npos;
}

// Keys go to the control with the focus, as typing would send them.
HWND keyTarget(HWND page) {
    const HWND focus = focusedWindow(page);
    return focus ? focus : page;
}

// The static controls of a dialog that have no id of their own, by text.
HWND staticWithText(HWND dialog, const std::wstring& text) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // The template stores IDC_STATIC as a 16-bit 0xFFFF.
        if (LOWORD(GetDlgCtrlID(child)) == LOWORD(IDC_STATIC) && windowText(child) == text) {
            return child;
        }
    }
    return nullptr;
}

POINT centreOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class SetupUi : public ::testing::Test {
protected:
    void SetUp() override {
        // Whatever an earlier test left, even one that was killed, goes
        // first; then the keys are recorded as they are, to be put back.
        removeInstallation();
        ReadOnlyKey::makeWritable(HKEY_CURRENT_USER, kUserWindowsKey);
        keys_.emplace();
        ASSERT_TRUE(package_.ready()) << "cannot lay out the driver packages";
    }

    void TearDown() override {
        process_.reset();
        removeInstallation();
    }

    SetupProcess& start(const wchar_t* version) {
        process_.reset();
        version_.reset();
        version_.emplace(version);
        process_ = std::make_unique<SetupProcess>(package_.path());
        EXPECT_TRUE(process_->started()) << "could not start " << narrow(setupExePath());
        return *process_;
    }

    // Starts the program and goes on to the settings page.
    HWND startOnSettingsPage(const wchar_t* version) {
        SetupProcess& setup = start(version);
        const HWND osPage = setup.waitForWindow(kOsPageCaption);
        if (!osPage) return nullptr;
        clickButton(osPage, IDC_NEXT);
        return setup.waitForWindow(kSettingsPageCaption);
    }

    // Waits for the program to end by itself, noting any window with
    // `caption` that shows meanwhile (a modal page or box would keep the
    // program from ending, so none can show and vanish unseen).
    bool endsWithout(const wchar_t* caption, bool* sawWindow) {
        *sawWindow = false;
        return waitUntil(
            [&] {
                if (process_->findWindow(caption)) *sawWindow = true;
                return !process_->running();
            },
            kExitTimeoutMs);
    }

    void expectNothingInstalled() {
        for (const std::wstring& environment : environments()) {
            for (const DriverRecord& driver : drivers(environment.c_str())) {
                EXPECT_NE(driver.name.rfind(L"QM-", 0), 0u)
                    << "driver " << narrow(driver.name) << " registered for "
                    << narrow(environment);
            }
        }
        for (const PrinterRecord& printer : printers()) {
            EXPECT_NE(printer.name.rfind(L"QM-", 0), 0u) << "printer " << narrow(printer.name);
        }
        for (const std::wstring& environment : environments()) {
            for (const std::wstring& folder : driverFolders(environment.c_str())) {
                EXPECT_TRUE(packageFilesIn(folder).empty())
                    << "files were copied into " << narrow(folder);
            }
        }
        const std::optional<std::wstring> device =
            readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device");
        EXPECT_FALSE(device) << "Device was set to " << narrow(device.value_or(L""));
    }

    // Each copied file must be the placeholder of the same name.
    void expectCopied(const std::wstring& folder, const std::vector<PackageCopy>& copies) {
        for (const PackageCopy& copy : copies) {
            EXPECT_EQ(readFile(folder + L"\\" + copy.installed),
                      placeholderContent(fileNameOf(copy.source)))
                << narrow(copy.source) << " not copied into " << narrow(folder);
        }
    }

    PackageFolder package_;
    // Put back whatever a run writes; a fresh prefix has none of these keys
    // except Ports.
    std::optional<InstallationKeysGuard> keys_;
    std::optional<WindowsVersion> version_;
    std::unique_ptr<SetupProcess> process_;
};

// The same in a 64-bit Windows: cmake/wine-run.sh runs this suite in a 64-bit
// prefix, the program under WOW64.
class Wow64 : public SetupUi {};

// ---------------------------------------------------------------------------
// The operating-system page

struct OsCase {
    const wchar_t* version;
    int tickedButton;  // 0: none (not recognised)
};

void PrintTo(const OsCase& c, std::ostream* out) {
    *out << narrow(c.version);
}

class OsPageTicks : public SetupUi, public ::testing::WithParamInterface<OsCase> {};

TEST_P(OsPageTicks, DetectedWindowsChineseAndDisabledChoices) {
    const OsCase& c = GetParam();
    SetupProcess& setup = start(c.version);
    const HWND page = setup.waitForWindow(kOsPageCaption);
    ASSERT_TRUE(page) << "the first page did not show";

    for (int id : kOsButtons) {
        EXPECT_EQ(checkState(page, id), id == c.tickedButton ? BST_CHECKED : BST_UNCHECKED)
            << "radio button " << id;
    }
    EXPECT_EQ(checkState(page, IDC_LANG_CHINESE), BST_CHECKED);
    EXPECT_EQ(checkState(page, IDC_LANG_ENGLISH), BST_UNCHECKED);

    const struct {
        int id;
        const wchar_t* text;
        bool enabled;
    } controls[] = {
        {IDC_OS_VISTA, L"Windows Vista", true},
        {IDC_OS_XP, L"Windows XP", true},
        {IDC_OS_2003, L"Windows 2003", true},
        {IDC_OS_NT4, L"Windows NT4.0", true},
        {IDC_OS_WIN98, L"Windows 98", true},
        {IDC_OS_WIN95, L"Windows 95", true},
        {IDC_OS_WIN2000, L"Windows 2000", true},
        {IDC_LANG_CHINESE, L"中文", true},
        {IDC_LANG_ENGLISH, L"英文", false},
        {IDC_BACK, L"后退", false},
        {IDC_NEXT, L"下一步", true},
        {IDC_EXIT, L"退出", true},
    };
    for (const auto& control : controls) {
        const HWND item = GetDlgItem(page, control.id);
        ASSERT_TRUE(item) << "control " << control.id;
        EXPECT_EQ(windowText(item), control.text) << "control " << control.id;
        EXPECT_EQ(IsWindowEnabled(item) != FALSE, control.enabled) << "control " << control.id;
        EXPECT_TRUE(IsWindowVisible(item)) << "control " << control.id;
    }
    EXPECT_TRUE(staticWithText(page, L"选择安装的操作系统"));
    EXPECT_TRUE(staticWithText(page, L"选择安装语言"));
    EXPECT_EQ(focusedWindow(page), GetDlgItem(page, IDC_NEXT)) << "the focus is not on Next";

    if (c.tickedButton == IDC_OS_XP || c.tickedButton == 0) {
        saveScreenshot(page, c.tickedButton ? L"os-page-winxp.png" : L"os-page-win7.png");
    }
    clickButton(page, IDC_EXIT);
    EXPECT_TRUE(setup.waitForExit());
}

INSTANTIATE_TEST_SUITE_P(
    Versions, OsPageTicks,
    ::testing::Values(OsCase{L"win95", IDC_OS_WIN95}, OsCase{L"win98", IDC_OS_WIN98},
                      OsCase{L"winme", IDC_OS_WIN98}, OsCase{L"nt351", IDC_OS_NT4},
                      OsCase{L"nt40", IDC_OS_NT4}, OsCase{L"win2k", IDC_OS_WIN2000},
                      OsCase{L"winxp", IDC_OS_XP}, OsCase{L"win2003", IDC_OS_2003},
                      OsCase{L"vista", IDC_OS_VISTA}, OsCase{L"win7", 0}),
    [](const ::testing::TestParamInfo<OsCase>& info) { return narrow(info.param.version); });

struct PageAction {
    const char* name;
    std::function<void(HWND page)> act;
};

// The ways out of either page.
const PageAction kLeavingWays[] = {
    {"Exit button", [](HWND page) { clickButton(page, IDC_EXIT); }},
    {"Escape key", [](HWND page) { PostMessageW(keyTarget(page), WM_KEYDOWN, VK_ESCAPE, 0); }},
    {"Cancel command", [](HWND page) { PostMessageW(page, WM_COMMAND, IDCANCEL, 0); }},
    {"close box", [](HWND page) { PostMessageW(page, WM_SYSCOMMAND, SC_CLOSE, 0); }},
};

TEST_F(SetupUi, OsPageExitEscapeAndCloseBoxEndWithoutSettingsPage) {
    for (const PageAction& way : kLeavingWays) {
        SCOPED_TRACE(way.name);
        start(L"winxp");
        const HWND page = process_->waitForWindow(kOsPageCaption);
        ASSERT_TRUE(page);
        way.act(page);
        bool sawSettings = false;
        EXPECT_TRUE(endsWithout(kSettingsPageCaption, &sawSettings)) << "the program did not end";
        EXPECT_FALSE(sawSettings) << "the settings page showed";
    }
}

TEST_F(SetupUi, OsPageNextEnterAndOkShowSettingsPage) {
    const PageAction ways[] = {
        {"Next button", [](HWND page) { clickButton(page, IDC_NEXT); }},
        {"Enter key", [](HWND page) { PostMessageW(keyTarget(page), WM_KEYDOWN, VK_RETURN, 0); }},
        {"OK command", [](HWND page) { PostMessageW(page, WM_COMMAND, IDOK, 0); }},
    };
    for (const PageAction& way : ways) {
        SCOPED_TRACE(way.name);
        start(L"winxp");
        const HWND page = process_->waitForWindow(kOsPageCaption);
        ASSERT_TRUE(page);
        // Back is disabled, and its command does nothing even when sent.
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_BACK, BN_CLICKED), 0);
        sync(page);
        EXPECT_TRUE(IsWindowVisible(page));
        way.act(page);
        const HWND settings = process_->waitForWindow(kSettingsPageCaption);
        EXPECT_TRUE(settings);
        EXPECT_FALSE(IsWindow(page)) << "the first page is still there";
        if (settings) clickButton(settings, IDC_EXIT);
        EXPECT_TRUE(process_->waitForExit());
    }
}

// ---------------------------------------------------------------------------
// The printer settings page

TEST_F(SetupUi, SettingsPageOpensWithItsDefaultsAndListEntries) {
    const HWND page = startOnSettingsPage(L"winxp");
    ASSERT_TRUE(page) << "the settings page did not show";

    const struct {
        int id;
        std::vector<std::wstring> entries;
        int selected;
    } lists[] = {
        {IDC_MODEL, modelEntries(), 0},
        {IDC_PORT, {L"LPT1", L"LPT2", L"LPT3", L"COM1", L"COM2", L"COM3", L"COM4"}, 0},
        {IDC_BAUD,
         {L"300", L"1200", L"2400", L"4800", L"9600", L"19200", L"38400", L"57600", L"115200"},
         4},
        {IDC_DATA_BITS, {L"5", L"6", L"7", L"8"}, 3},
        {IDC_FLOW, {L"None", L"XonXoff", L"Hardware"}, 2},
        {IDC_PARITY, {L"Even", L"Mark", L"None", L"Odd", L"Space"}, 2},
        {IDC_STOP_BITS, {L"1", L"1.5", L"2"}, 0},
    };
    for (const auto& list : lists) {
        const HWND combo = GetDlgItem(page, list.id);
        ASSERT_TRUE(combo) << "list " << list.id;
        EXPECT_EQ(comboEntries(combo), list.entries) << "entries of list " << list.id;
        EXPECT_EQ(comboSelection(combo), list.selected) << "selection of list " << list.id;
    }
    EXPECT_EQ(checkState(page, IDC_SET_DEFAULT), BST_CHECKED);
    EXPECT_EQ(itemText(page, IDC_PRINTER_NAME), modelEntry(0));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(page, IDC_PRINTER_NAME), GWL_STYLE) & ES_READONLY);

    // The port section is laid out but hidden; its serial lists disabled.
    const struct {
        int id;
        const wchar_t* text;  // for the unnamed static controls
        bool visible;
        bool enabled;
    } controls[] = {
        {IDC_MODEL, nullptr, true, true},          {IDC_SET_DEFAULT, L"设为默认打印机", true, true},
        {IDC_PRINTER_NAME, nullptr, true, true},   {IDC_BACK, L"后退", true, true},
        {IDC_FINISH, L"结束", true, true},         {IDC_EXIT, L"退出", true, true},
        {IDC_PORT, nullptr, false, true},          {IDC_BAUD, nullptr, false, false},
        {IDC_DATA_BITS, nullptr, false, false},    {IDC_STOP_BITS, nullptr, false, false},
        {IDC_PARITY, nullptr, false, false},       {IDC_FLOW, nullptr, false, false},
        {IDC_STATIC, L"打印机设置", true, true},   {IDC_STATIC, L"驱动名称", true, true},
        {IDC_STATIC, L"打印机名称 :", true, true}, {IDC_STATIC, L"打印机端口设置", false, true},
        {IDC_STATIC, L"端口", false, true},        {IDC_STATIC, L"波特率", false, true},
        {IDC_STATIC, L"字节长度", false, true},    {IDC_STATIC, L"停止位", false, true},
        {IDC_STATIC, L"校验位", false, true},      {IDC_STATIC, L"流控制", false, true},
    };
    for (const auto& control : controls) {
        const std::string name =
            control.id == IDC_STATIC ? narrow(control.text) : std::to_string(control.id);
        const HWND item = control.id == IDC_STATIC ? staticWithText(page, control.text)
                                                   : GetDlgItem(page, control.id);
        ASSERT_TRUE(item) << "control " << name;
        if (control.id != IDC_STATIC && control.text) {
            EXPECT_EQ(windowText(item), control.text) << "text of " << name;
        }
        EXPECT_EQ(IsWindowVisible(item) != FALSE, control.visible) << "visibility of " << name;
        EXPECT_EQ(IsWindowEnabled(item) != FALSE, control.enabled) << "enabled state of " << name;
    }
    EXPECT_EQ(focusedWindow(page), GetDlgItem(page, IDC_MODEL))
        << "the focus is not on the model list";

    saveScreenshot(page, L"settings-page.png");
    clickButton(page, IDC_EXIT);
    EXPECT_TRUE(process_->waitForExit());
    expectNothingInstalled();
}

TEST_F(SetupUi, SettingsPageFollowsModelAndPortChanges) {
    const HWND page = startOnSettingsPage(L"winxp");
    ASSERT_TRUE(page);

    for (const int row : {14, 8, 10, 1, 0}) {
        selectComboRow(page, IDC_MODEL, row);
        EXPECT_EQ(itemText(page, IDC_PRINTER_NAME), modelEntry(row)) << "row " << row;
    }

    // Serial ports (index 3 on) enable the serial lists, parallel ones
    // disable them; the section stays hidden either way.
    const struct {
        int row;
        bool serial;
    } ports[] = {{3, true}, {2, false}, {6, true}, {4, true}, {0, false}, {5, true}, {1, false}};
    for (const auto& port : ports) {
        selectComboRow(page, IDC_PORT, port.row);
        for (int id : kSerialLists) {
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, id)) != FALSE, port.serial)
                << "list " << id << " after port row " << port.row;
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, id)));
        }
    }
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_PORT)));
    clickButton(page, IDC_EXIT);
    EXPECT_TRUE(process_->waitForExit());
    expectNothingInstalled();
}

TEST_F(SetupUi, SettingsPageExitEscapeCloseBoxAndEnterEndWithoutInstalling) {
    // On this page Enter and OK leave too (the focus is on the model list
    // when the page opens).
    std::vector<PageAction> ways(std::begin(kLeavingWays), std::end(kLeavingWays));
    ways.push_back(
        {"Enter key", [](HWND page) { PostMessageW(keyTarget(page), WM_KEYDOWN, VK_RETURN, 0); }});
    ways.push_back({"OK command", [](HWND page) { PostMessageW(page, WM_COMMAND, IDOK, 0); }});
    for (const PageAction& way : ways) {
        SCOPED_TRACE(way.name);
        const HWND page = startOnSettingsPage(L"winxp");
        ASSERT_TRUE(page);
        way.act(page);
        bool sawFirstPage = false;
        EXPECT_TRUE(endsWithout(kOsPageCaption, &sawFirstPage)) << "the program did not end";
        EXPECT_FALSE(sawFirstPage) << "the first page showed again";
        expectNothingInstalled();
    }
}

TEST_F(SetupUi, BackShowsFirstPageAndNextStartsFromDefaultsAgain) {
    start(L"winxp");
    HWND osPage = process_->waitForWindow(kOsPageCaption);
    ASSERT_TRUE(osPage);
    clickButton(osPage, IDC_OS_WIN98);
    ASSERT_TRUE(waitUntil([&] { return checkState(osPage, IDC_OS_WIN98) == BST_CHECKED; }));
    clickButton(osPage, IDC_NEXT);
    HWND page = process_->waitForWindow(kSettingsPageCaption);
    ASSERT_TRUE(page);
    selectComboRow(page, IDC_MODEL, 14);
    clickButton(page, IDC_SET_DEFAULT);
    selectComboRow(page, IDC_PORT, 3);
    ASSERT_TRUE(waitUntil([&] { return checkState(page, IDC_SET_DEFAULT) == BST_UNCHECKED; }));

    // The first page is made anew: the detected Windows ticked again, the
    // user's earlier tick gone.
    clickButton(page, IDC_BACK);
    osPage = process_->waitForWindow(kOsPageCaption);
    ASSERT_TRUE(osPage) << "Back did not show the first page";
    EXPECT_FALSE(process_->findWindow(kSettingsPageCaption)) << "the settings page is still there";
    EXPECT_EQ(checkState(osPage, IDC_OS_XP), BST_CHECKED);
    EXPECT_EQ(checkState(osPage, IDC_OS_WIN98), BST_UNCHECKED);
    EXPECT_EQ(checkState(osPage, IDC_LANG_CHINESE), BST_CHECKED);

    clickButton(osPage, IDC_NEXT);
    page = process_->waitForWindow(kSettingsPageCaption);
    ASSERT_TRUE(page);
    EXPECT_EQ(comboSelection(GetDlgItem(page, IDC_MODEL)), 0);
    EXPECT_EQ(itemText(page, IDC_PRINTER_NAME), modelEntry(0));
    EXPECT_EQ(checkState(page, IDC_SET_DEFAULT), BST_CHECKED);
    EXPECT_EQ(comboSelection(GetDlgItem(page, IDC_PORT)), 0);
    for (int id : kSerialLists)
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << "list " << id;

    clickButton(page, IDC_EXIT);
    EXPECT_TRUE(process_->waitForExit());
    expectNothingInstalled();
}

TEST_F(SetupUi, AboutBoxOpensOverSettingsPageAndLeavesItUnchanged) {
    const HWND page = startOnSettingsPage(L"winxp");
    ASSERT_TRUE(page);
    selectComboRow(page, IDC_MODEL, 5);
    clickButton(page, IDC_SET_DEFAULT);
    ASSERT_TRUE(waitUntil([&] { return checkState(page, IDC_SET_DEFAULT) == BST_UNCHECKED; }));

    // The system menu's command, as choosing "关于 Tolmar(&A)..." sends it;
    // the low four bits are the system's own and do not matter.
    const struct {
        WPARAM command;
        const char* closedBy;
    } openings[] = {{IDM_ABOUT, "OK button"}, {IDM_ABOUT | 0x3, "Escape key"}};
    for (const auto& opening : openings) {
        SCOPED_TRACE(opening.closedBy);
        PostMessageW(page, WM_SYSCOMMAND, opening.command, 0);
        const HWND about = process_->waitForWindow(kAboutCaption);
        ASSERT_TRUE(about) << "no About box";
        EXPECT_EQ(GetWindow(about, GW_OWNER), page);
        EXPECT_FALSE(IsWindowEnabled(page)) << "the page is usable while the box is open";
        EXPECT_TRUE(staticWithText(about, L"Tolmar 1.0 版"));
        EXPECT_EQ(itemText(about, IDOK), L"确定");
        const POINT a = centreOf(about), p = centreOf(page);
        EXPECT_LE(std::abs(a.x - p.x), 1) << "not centred over the page";
        EXPECT_LE(std::abs(a.y - p.y), 1) << "not centred over the page";
        if (opening.command == IDM_ABOUT) {
            saveScreenshot(page, L"about-box.png");
            clickButton(about, IDOK);
        } else {
            PostMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0);
        }
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(about) && IsWindowEnabled(page); }));

        EXPECT_EQ(comboSelection(GetDlgItem(page, IDC_MODEL)), 5);
        EXPECT_EQ(itemText(page, IDC_PRINTER_NAME), modelEntry(5));
        EXPECT_EQ(checkState(page, IDC_SET_DEFAULT), BST_UNCHECKED);
        EXPECT_TRUE(IsWindowVisible(page));
    }
    clickButton(page, IDC_EXIT);
    EXPECT_TRUE(process_->waitForExit());
    expectNothingInstalled();
}

// ---------------------------------------------------------------------------
// Finish

// A 32-bit XP: the driver for "Windows NT x86", the printer on it and the
// user's default printer, without a word.
TEST_F(SetupUi, FinishOnWindowsXpInstallsTheNtDriverAndTheDefaultPrinterSilently) {
    // A fresh prefix lacks the key every Windows has.
    const ScopedRegistryKey windowsKey(HKEY_CURRENT_USER, kUserWindowsKey);
    ASSERT_TRUE(windowsKey.ready());
    constexpr int kRow = 8;
    SetupProcess& setup = start(L"winxp");
    const HWND osPage = setup.waitForWindow(kOsPageCaption);
    ASSERT_TRUE(osPage);
    // The ticks are only a display: the detected Windows decides.
    clickButton(osPage, IDC_OS_WIN98);
    ASSERT_TRUE(waitUntil([&] { return checkState(osPage, IDC_OS_WIN98) == BST_CHECKED; }));
    clickButton(osPage, IDC_NEXT);
    const HWND page = setup.waitForWindow(kSettingsPageCaption);
    ASSERT_TRUE(page);
    selectComboRow(page, IDC_MODEL, kRow);
    clickButton(page, IDC_FINISH);
    bool sawMessage = false;
    ASSERT_TRUE(endsWithout(kMessageCaption, &sawMessage)) << "the program did not end";
    EXPECT_FALSE(sawMessage) << "a message showed after a successful installation";

    const std::wstring model = modelNames()[kRow];
    const std::wstring directory = driverDirectory(kNtEnvironment);
    expectCopied(directory, ntCopies(kRow));
    EXPECT_EQ(packageFilesIn(directory).size(), ntCopies(kRow).size())
        << "only the chosen model's .GPD is copied";
    const std::optional<DriverRecord> driver = findDriver(kNtEnvironment, model);
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->environment, kNtEnvironment);
    // The spooler answers with full paths into its own folders; the names are ours.
    const std::vector<std::wstring> names = installedNames(ntCopies(kRow));
    EXPECT_EQ(
        (std::vector<std::wstring>{fileNameOf(driver->driverPath), fileNameOf(driver->dataFile),
                                   fileNameOf(driver->configFile), fileNameOf(driver->helpFile)}),
        (std::vector<std::wstring>{L"uniDRV.DLL", names[1], L"uniDRVui.DLL", L"uniDRV.HLP"}))
        << "driver, data file (the model's .GPD), config file, help file";
    std::vector<std::wstring> dependent;
    for (const std::wstring& path : driver->dependentFiles) dependent.push_back(fileNameOf(path));
    EXPECT_EQ(dependent,
              (std::vector<std::wstring>{L"ttfsub.GPD", L"unires.DLL", L"stdnames.GPD", names[0]}))
        << "the three fixed dependent files, then the family DLL";
    EXPECT_EQ(driver->defaultDataType, L"RAW");
    for (const std::wstring& folder : driverFolders(k9xEnvironment)) {
        EXPECT_TRUE(packageFilesIn(folder).empty()) << "the Windows 9x files were installed";
    }

    const std::optional<PrinterRecord> printer = findPrinter(model);
    ASSERT_TRUE(printer) << "no printer was created";
    EXPECT_EQ(printer->name, model);
    EXPECT_EQ(printer->port, L"LPT1:");
    EXPECT_EQ(printer->driver, model);
    EXPECT_EQ(printer->printProcessor, L"WinPrint");
    EXPECT_EQ(printer->datatype, L"RAW");
    EXPECT_EQ(printer->attributes & (PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_SHARED), 0u)
        << "the NT path sets the default through the registry and shares nothing";
    ASSERT_TRUE(printer->driverRecord) << "GetPrinterDriverW level 3 on the printer failed";
    EXPECT_EQ(printer->driverRecord->name, model);
    EXPECT_EQ(printer->driverRecord->environment, kNtEnvironment);
    // The user's default printer names the printer that now exists.
    EXPECT_EQ(readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device"),
              model + L",winspool,LPT1:");
    EXPECT_EQ(defaultPrinterName(), model);
    EXPECT_TRUE(findPrinter(defaultPrinterName())) << "Device names no existing printer";
}

// A 64-bit XP (this case runs in a 64-bit prefix, the program under WOW64).
// The driver for "Windows NT x86" is registered either way. Windows' 64-bit
// spooler then creates no printer on it, and the program says at the end
// that the package is for 32-bit Windows, naming the printer. Wine is not
// Windows here: its spooler, in the 32-bit process itself, creates the
// printer on the 32-bit driver and nothing fails. So either that message and
// no printer, or no message and the printer; never the plain printer
// failure with its advice to run as administrator.
TEST_F(Wow64, FinishOnA64BitWindowsRegistersTheNtDriverAndNamesAMissingPrinterAs64Bit) {
    const ScopedRegistryKey windowsKey(HKEY_CURRENT_USER, kUserWindowsKey);
    ASSERT_TRUE(windowsKey.ready());
    const HWND page = startOnSettingsPage(L"winxp");
    ASSERT_TRUE(page);
    clickButton(page, IDC_FINISH);
    const std::wstring model = modelNames()[0];
    std::wstring text;
    const bool ended = waitUntil([&] {
        if (const HWND box = process_->findWindow(kMessageCaption)) {
            if (IsWindowVisible(box) && text.empty()) {
                text = readMessageBox(box).text;
                saveScreenshot(box, L"finish-message-winxp-64bit.png");
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
        return !process_->running();
    });
    ASSERT_TRUE(ended) << "the program did not end";
    expectCopied(driverDirectory(kNtEnvironment), ntCopies(0));
    EXPECT_TRUE(findDriver(kNtEnvironment, model));
    if (findPrinter(model)) {
        EXPECT_EQ(text, L"") << "a message although the printer was created";
    } else {
        EXPECT_TRUE(contains(text, setupString(IDS_FAIL_PRINTER_64BIT) + model)) << narrow(text);
        EXPECT_TRUE(contains(text, setupString(IDS_ADVICE_32BIT))) << narrow(text);
    }
    EXPECT_FALSE(contains(text, setupString(IDS_FAIL_PRINTER))) << narrow(text);
    EXPECT_FALSE(contains(text, setupString(IDS_ADVICE_ADMIN))) << narrow(text);
}

TEST_F(SetupUi, FinishOnWindows98InstallsTheDriverAndTheDefaultPrinterSilently) {
    const HWND page = startOnSettingsPage(L"win98");
    ASSERT_TRUE(page);
    selectComboRow(page, IDC_MODEL, 14);
    clickButton(page, IDC_FINISH);
    bool sawMessage = false;
    ASSERT_TRUE(endsWithout(kMessageCaption, &sawMessage)) << "the program did not end";
    EXPECT_FALSE(sawMessage) << "a message showed after a successful installation";

    const std::wstring model = modelNames()[14];
    const std::wstring directory = driverDirectory(k9xEnvironment);
    const std::vector<PackageCopy> copies = win9xCopies(14);
    expectCopied(directory, copies);
    for (const PackageCopy& copy : copies) {
        EXPECT_EQ(storedFileName(directory + L"\\" + copy.installed), copy.installed)
            << "the name as stored";
    }
    const std::optional<PrinterRecord> printer = findPrinter(model);
    ASSERT_TRUE(printer) << "no printer was created";
    EXPECT_EQ(printer->port, L"LPT1:");
    EXPECT_EQ(printer->driver, model);
    EXPECT_EQ(printer->printProcessor, L"WinPrint");
    EXPECT_EQ(printer->datatype, L"RAW");
    // Windows 9x makes a printer added with this attribute the default one;
    // Wine keeps the attribute but leaves its default printer as it was.
    EXPECT_EQ(printer->attributes & PRINTER_ATTRIBUTE_DEFAULT, DWORD{PRINTER_ATTRIBUTE_DEFAULT});
    // This process is no Windows 98: it asks the spooler for the 9x driver by name.
    const std::optional<DriverRecord> driver = findDriver(k9xEnvironment, model);
    ASSERT_TRUE(driver);
    const std::wstring family = copies[0].installed;
    EXPECT_EQ(
        (std::vector<std::wstring>{fileNameOf(driver->driverPath), fileNameOf(driver->dataFile),
                                   fileNameOf(driver->configFile), fileNameOf(driver->helpFile)}),
        (std::vector<std::wstring>{family, family, family, L"UNIDRV.HLP"}))
        << "driver, data and config file the family's .DRV, then the help file";
    for (const std::wstring& folder : driverFolders(kNtEnvironment)) {
        EXPECT_TRUE(packageFilesIn(folder).empty()) << "the NT files were installed";
    }
}

TEST_F(SetupUi, FinishOnAnUnrecognisedWindowsSaysSoAndInstallsNothing) {
    const HWND page = startOnSettingsPage(L"win7");
    ASSERT_TRUE(page);
    clickButton(page, IDC_FINISH);
    const HWND box = process_->waitForWindow(kMessageCaption);
    ASSERT_TRUE(box) << "no message after Finish";
    const MessageBoxView message = readMessageBox(box);
    EXPECT_EQ(message.owner, page);
    EXPECT_EQ(message.text, setupString(IDS_UNSUPPORTED_WINDOWS));
    saveScreenshot(box, L"finish-message-win7.png");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(process_->waitForExit());
    expectNothingInstalled();
}

TEST_F(SetupUi, FailedRegistryWriteShowsTheErrorMessageAndInstallationGoesOn) {
    const struct {
        const wchar_t* version;
        int portRow;
        HKEY root;
        std::wstring key;
        const char* value;
        const wchar_t* installedPrinter;
    } cases[] = {
        {L"winxp", 5, HKEY_CURRENT_USER, kUserWindowsKey, "Device", modelNames()[0].c_str()},
        {L"win98", 3, HKEY_LOCAL_MACHINE, kFirstPortKey, "DCB", modelNames()[0].c_str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.version));
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyW(c.root, c.key.c_str(), &created), ERROR_SUCCESS);
        RegCloseKey(created);
        version_.reset();
        version_.emplace(c.version);
        KeyDeletedBeforeWrite debugger(package_.path(), c.root, c.key, c.value);
        ASSERT_TRUE(debugger.process()) << "could not start Setup.exe under the debugger";
        SetupProcess setup(debugger.process(), debugger.processId());

        const HWND osPage = setup.waitForWindow(kOsPageCaption);
        ASSERT_TRUE(osPage);
        ASSERT_TRUE(debugger.armed()) << "no breakpoint on RegSetValueExA";
        clickButton(osPage, IDC_NEXT);
        const HWND page = setup.waitForWindow(kSettingsPageCaption);
        ASSERT_TRUE(page);
        if (c.portRow != 0) selectComboRow(page, IDC_PORT, c.portRow);
        clickButton(page, IDC_FINISH);

        // The failed write is reported at once, with the fixed text ...
        const HWND box = setup.waitForWindow(kMessageCaption);
        ASSERT_TRUE(box) << "no message after the failed write";
        EXPECT_TRUE(debugger.keyDeleted()) << "the key was not deleted at the write";
        const MessageBoxView message = readMessageBox(box);
        EXPECT_EQ(message.text, kRegistryWriteFailed);
        EXPECT_EQ(message.owner, page);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));

        // ... and the installation carries on: on the NT path the printer
        // message still follows, and it does not report the key (it opened).
        if (!c.installedPrinter) {
            const HWND summary = setup.waitForWindow(kMessageCaption);
            ASSERT_TRUE(summary);
            const MessageBoxView last = readMessageBox(summary);
            EXPECT_TRUE(contains(last.text, setupString(IDS_FAIL_PRINTER_64BIT)))
                << narrow(last.text);
            EXPECT_FALSE(contains(last.text, setupString(IDS_FAIL_REGISTRY))) << narrow(last.text);
            PostMessageW(summary, WM_COMMAND, IDOK, 0);
        }
        EXPECT_TRUE(setup.waitForExit()) << "the program did not end";
        if (c.installedPrinter) {
            EXPECT_TRUE(findPrinter(c.installedPrinter)) << "the printer was not created";
        } else {
            // COM3's mode string is written after the failed write.
            EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, L"COM3:"),
                      storedText(L"9600,N,8,1,p"));
        }
        removeInstallation();
    }
}

}  // namespace
