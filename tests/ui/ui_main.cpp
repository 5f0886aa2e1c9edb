// The UI test program. Besides the tests it has three modes for scripts/demo.sh:
//   setup_ui_tests.exe --walk <folder> <screenshot folder>
//       starts <folder>\Setup.exe in <folder> and walks through it (Next,
//       the About box, Finish, any message), saving a screenshot of each step;
//   setup_ui_tests.exe --installed
//       prints what an installation left: driver files, drivers, printers
//       and the registry values the program writes;
//   setup_ui_tests.exe --clean
//       removes all of that again, so the next run starts from scratch;
//   setup_ui_tests.exe --lay-out <folder>
//       lays out the driver packages "win2k" and "win9x" in <folder>, every
//       file a placeholder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "resources/resource.h"
#include "tests/support/wine_support.h"
#include "tests/ui/screenshot.h"
#include "tests/ui/setup_driver.h"

namespace {

using namespace ui;

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void say(const std::wstring& line) {
    say(narrow(line));
}

const wchar_t kNoCapture[] = L" (Wine's desktop is not on this display?)";

void shoot(HWND window, const std::wstring& folder, const wchar_t* name) {
    // Let the program paint before the picture is taken.
    sync(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
    const std::wstring path = folder + L"\\" + name;
    say(captureWindow(window, path) ? L"  screenshot " + std::wstring(name)
                                    : L"  no screenshot " + std::wstring(name) + kNoCapture);
}

int walkThroughWizard(const std::wstring& folder, const std::wstring& shots) {
    CreateDirectoryW(shots.c_str(), nullptr);
    SetupProcess setup(folder, folder + L"\\Setup.exe");
    if (!setup.started()) {
        say("cannot start Setup.exe");
        return 1;
    }
    const HWND osPage = setup.waitForWindow(kOsPageCaption);
    if (!osPage) {
        say("the first page did not show");
        return 1;
    }
    std::wstring ticked = L"none";
    for (int id : {IDC_OS_WIN95, IDC_OS_WIN98, IDC_OS_NT4, IDC_OS_WIN2000, IDC_OS_XP, IDC_OS_2003,
                   IDC_OS_VISTA}) {
        if (checkState(osPage, id) == BST_CHECKED) ticked = itemText(osPage, id);
    }
    say(L"page 1 \"" + windowText(osPage) + L"\": detected " + ticked);
    shoot(osPage, shots, L"1-os-page.png");
    clickButton(osPage, IDC_NEXT);

    const HWND page = setup.waitForWindow(kSettingsPageCaption);
    if (!page) {
        say("the settings page did not show");
        return 1;
    }
    say(L"page 2 \"" + windowText(page) + L"\": model " + itemText(page, IDC_PRINTER_NAME) +
        (checkState(page, IDC_SET_DEFAULT) == BST_CHECKED ? L", made the default printer" : L""));
    shoot(page, shots, L"2-settings-page.png");
    PostMessageW(page, WM_SYSCOMMAND, IDM_ABOUT, 0);
    if (const HWND about = setup.waitForWindow(kAboutCaption)) {
        say(L"About box \"" + windowText(about) + L"\"");
        shoot(page, shots, L"3-about-box.png");
        clickButton(about, IDOK);
        waitUntil([&] { return !IsWindow(about); });
    }
    say("Finish");
    clickButton(page, IDC_FINISH);

    int messages = 0;
    waitUntil(
        [&] {
            const HWND box = setup.findWindow(kMessageCaption);
            if (box && IsWindowVisible(box)) {
                const MessageBoxView message = readMessageBox(box);
                say(L"message from Setup:");
                std::wstring line;
                for (wchar_t c : message.text + L"\n") {
                    if (c != L'\n') {
                        line += c;
                    } else if (!line.empty()) {
                        say(L"  | " + line);
                        line.clear();
                    }
                }
                wchar_t name[32];
                swprintf(name, 32, L"4-message-%d.png", ++messages);
                shoot(box, shots, name);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                waitUntil([&] { return !IsWindow(box); });
            }
            return !setup.running();
        },
        kExitTimeoutMs * 2);
    say(setup.running() ? "Setup.exe did not end" : "Setup.exe ended");
    return setup.running() ? 1 : 0;
}

std::string hex(const std::vector<BYTE>& data) {
    std::string text;
    char byte[4];
    for (BYTE b : data) {
        std::snprintf(byte, sizeof byte, "%02x ", b);
        text += byte;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

int printInstalled() {
    bool any = false;
    say("Driver files:");
    for (const wchar_t* environment : {kNtEnvironment, k9xEnvironment}) {
        for (const std::wstring& folder : driverFolders(environment)) {
            for (const std::wstring& name : filesIn(folder)) {
                say(L"  " + folder + L"\\" + name);
                any = true;
            }
        }
    }
    if (!any) say("  (none)");

    say("Printer drivers:");
    any = false;
    for (const std::wstring& environment : environments()) {
        for (const DriverRecord& driver : drivers(environment.c_str())) {
            if (driver.name.rfind(L"QM-", 0) != 0) continue;
            say(L"  " + driver.name + L" [" + driver.environment + L", version " +
                std::to_wstring(driver.version) + L"]");
            say(L"    driver " + driver.driverPath);
            say(L"    data   " + driver.dataFile);
            any = true;
        }
    }
    if (!any) say("  (none)");

    say("Printers:");
    any = false;
    const std::wstring defaultName = defaultPrinterName();
    for (const PrinterRecord& printer : printers()) {
        if (printer.name.rfind(L"QM-", 0) != 0) continue;
        say(L"  " + printer.name + L" on " + printer.port + L", driver " + printer.driver +
            (printer.name == defaultName ? L", the default printer (the user's \"Device\" value)"
             : printer.attributes & PRINTER_ATTRIBUTE_DEFAULT
                 ? L", added as the default printer (Wine keeps only the attribute)"
                 : L""));
        any = true;
    }
    if (!any) say("  (none)");

    say("Registry values:");
    const std::wstring userWindows = std::wstring(L"HKCU\\") + kUserWindowsKey;
    say(L"  " + userWindows + L"  Device = " +
        readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device").value_or(L"(not set)"));
    for (const wchar_t* port : {L"COM1:", L"COM2:", L"COM3:", L"COM4:"}) {
        say(std::wstring(L"  HKLM\\") + kPortsKey + L"  " + port + L" = " +
            readRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, port).value_or(L"(not set)"));
    }
    for (const wchar_t* key : {kFirstPortKey, kOtherPortsKey}) {
        const std::optional<RegistryValue> dcb = readRegistryValue(HKEY_LOCAL_MACHINE, key, L"DCB");
        say(L"  HKLM\\" + std::wstring(key) + L"  DCB = " +
            (dcb ? widen(hex(dcb->data).c_str()) : L"(not set)"));
    }
    return 0;
}

int cleanUp() {
    removeInstallation();
    HKEY key = nullptr;
    // Every Windows has this key; Wine's fresh prefix does not.
    if (RegCreateKeyW(HKEY_CURRENT_USER, kUserWindowsKey, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Device");
        RegCloseKey(key);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassPortsKey);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Plain LF line ends and UTF-8 bytes, as the shell expects them.
    _setmode(_fileno(stdout), _O_BINARY);
    // Unbuffered, so the output up to a crash is not lost with the process.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 4 && std::strcmp(argv[1], "--walk") == 0) {
        return walkThroughWizard(windowsPath(widen(argv[2])), windowsPath(widen(argv[3])));
    }
    if (argc == 2 && std::strcmp(argv[1], "--installed") == 0) return printInstalled();
    if (argc == 2 && std::strcmp(argv[1], "--clean") == 0) return cleanUp();
    if (argc == 3 && std::strcmp(argv[1], "--lay-out") == 0) {
        return PackageFolder::layOut(windowsPath(widen(argv[2]))) ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
