// Which functions made the program's windows. On the NT family the pages and
// the About box are Unicode windows, so their Chinese reads right whatever
// the system's ANSI code page; Windows 95, 98 and ME keep the A functions,
// which read right on a Chinese system. Run under code page 936 and, as
// "ui.cp1252.", under 1252 with the NT cases of the UI suite that show text
// (tests/CMakeLists.txt names them).
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

#include "resources/resource.h"
#include "tests/ui/setup_driver.h"

namespace {

using namespace ui;

TEST(CodePage, NtFamilyGetsUnicodeWindowsAndWindows9xAnsiOnes) {
    const PackageFolder package;
    ASSERT_TRUE(package.ready()) << "cannot lay out the driver packages";
    const struct {
        const wchar_t* version;
        bool unicode;
    } cases[] = {
        {L"nt40", true}, {L"winxp", true}, {L"vista", true}, {L"win95", false}, {L"win98", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.version));
        std::optional<WindowsVersion> reported;
        reported.emplace(c.version);
        SetupProcess setup(package.path());
        ASSERT_TRUE(setup.started());
        // Found by their controls: under code page 1252 the captions of the
        // ANSI windows read "??".
        const HWND osPage = setup.waitForDialogWith(IDC_OS_XP);
        ASSERT_TRUE(osPage) << "the first page did not show";
        EXPECT_EQ(IsWindowUnicode(osPage) != FALSE, c.unicode);
        clickButton(osPage, IDC_NEXT);
        const HWND page = setup.waitForDialogWith(IDC_PORT);
        ASSERT_TRUE(page) << "the settings page did not show";
        EXPECT_EQ(IsWindowUnicode(page) != FALSE, c.unicode);
        if (c.unicode) {
            EXPECT_EQ(windowText(page), kSettingsPageCaption);
        }

        PostMessageW(page, WM_SYSCOMMAND, IDM_ABOUT, 0);
        // Of the program's windows, only the About box has an OK button.
        const HWND about = setup.waitForDialogWith(IDOK);
        ASSERT_TRUE(about) << "no About box";
        EXPECT_EQ(IsWindowUnicode(about) != FALSE, c.unicode);
        if (c.unicode) {
            EXPECT_EQ(windowText(about), kAboutCaption);
        }
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));
        clickButton(page, IDC_EXIT);
        EXPECT_TRUE(setup.waitForExit());
    }
}

}  // namespace
