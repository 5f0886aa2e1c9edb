// A DLL dropped beside the program under the name of a system DLL it uses
// (a downloaded Setup.exe often sits in a Downloads folder full of strangers)
// must not be loaded: the program takes winspool.drv and comctl32.dll from
// the system folder only. The planted DLL leaves "<its path>.mark" when
// loaded. A probe program that imports the same DLLs by name shows, in the
// same kind of folder, that Wine would load them from there, so the absence
// of marks after Setup.exe means something.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/wine_support.h"
#include "tests/ui/setup_driver.h"

#if !defined(PLANTED_DLL_PATH) || !defined(PLANTING_PROBE_PATH)
#error "PLANTED_DLL_PATH and PLANTING_PROBE_PATH must name the planting test's helpers"
#endif

namespace {

using namespace ui;

const wchar_t* const kPlantedNames[] = {L"winspool.drv", L"comctl32.dll"};

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Copies `program` into `folder` under `name` and plants the DLL beside it.
bool plantBeside(const std::wstring& folder, const std::wstring& program, const wchar_t* name) {
    bool ok = CopyFileW(program.c_str(), (folder + L"\\" + name).c_str(), FALSE) != FALSE;
    const std::wstring planted = windowsPath(widen(PLANTED_DLL_PATH));
    for (const wchar_t* dll : kPlantedNames)
        ok = ok && CopyFileW(planted.c_str(), (folder + L"\\" + dll).c_str(), FALSE);
    return ok;
}

std::vector<std::wstring> marksIn(const std::wstring& folder) {
    std::vector<std::wstring> marks;
    for (const wchar_t* dll : kPlantedNames) {
        if (fileExists(folder + L"\\" + dll + L".mark")) marks.push_back(dll);
    }
    return marks;
}

// Wine prefers its own builtin winspool.drv and comctl32.dll to a DLL of
// that name beside a program, unlike Windows, which takes the one beside it.
// Wine is told to prefer native DLLs for these two in the programs this test
// starts, which puts Windows' search order back. Per program in the registry:
// WINEDLLOVERRIDES set in this process did not reach the child's loader.
class NativeFirst {
public:
    NativeFirst() {
        for (const wchar_t* key : kKeys) {
            HKEY opened = nullptr;
            if (RegCreateKeyW(HKEY_CURRENT_USER, key, &opened) != ERROR_SUCCESS) continue;
            for (const wchar_t* dll : {L"winspool.drv", L"comctl32"}) {
                RegSetValueExW(opened, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder),
                               sizeof kOrder);
            }
            RegCloseKey(opened);
        }
    }
    ~NativeFirst() {
        for (const wchar_t* key : kKeys) RegDeleteTreeW(HKEY_CURRENT_USER, key);
    }
    NativeFirst(const NativeFirst&) = delete;
    NativeFirst& operator=(const NativeFirst&) = delete;

private:
    static constexpr const wchar_t* kKeys[] = {
        L"Software\\Wine\\AppDefaults\\planting_probe.exe\\DllOverrides",
        L"Software\\Wine\\AppDefaults\\Setup.exe\\DllOverrides"};
    static constexpr wchar_t kOrder[] = L"native,builtin";
};

class DllPlanting : public ::testing::Test {
protected:
    void SetUp() override { removeInstallation(); }
    void TearDown() override { removeInstallation(); }
    NativeFirst nativeFirst_;
};

TEST_F(DllPlanting, SetupIgnoresPlantedSystemDllsThatAProbeWouldLoad) {
    // The control: a program that imports the DLLs by name loads the plants.
    {
        PackageFolder folder;
        ASSERT_TRUE(folder.ready());
        ASSERT_TRUE(plantBeside(folder.path(), windowsPath(widen(PLANTING_PROBE_PATH)),
                                L"planting_probe.exe"));
        SetupProcess probe(folder.path(), folder.path() + L"\\planting_probe.exe");
        ASSERT_TRUE(probe.started());
        ASSERT_TRUE(probe.waitForExit());
        EXPECT_EQ(marksIn(folder.path()).size(), 2u)
            << "Wine did not load the planted DLLs for the probe: the check below proves nothing";
    }

    // Setup.exe through Finish on the 9x path, which uses the spooler and
    // creates the printer, with the same plants beside it.
    PackageFolder folder;
    ASSERT_TRUE(folder.ready());
    ASSERT_TRUE(plantBeside(folder.path(), setupExePath(), L"Setup.exe"));
    RegistryKeyGuard classPorts(HKEY_LOCAL_MACHINE, kClassPortsKey);
    WindowsVersion version(L"win98");
    SetupProcess setup(folder.path(), folder.path() + L"\\Setup.exe");
    ASSERT_TRUE(setup.started());
    const HWND osPage = setup.waitForDialogWith(IDC_OS_XP);
    ASSERT_TRUE(osPage) << "the first page did not show";
    clickButton(osPage, IDC_NEXT);
    const HWND page = setup.waitForDialogWith(IDC_PORT);
    ASSERT_TRUE(page) << "the settings page did not show";
    clickButton(page, IDC_FINISH);
    const std::vector<std::wstring> messages = answerMessages(setup);
    ASSERT_TRUE(setup.waitForExit()) << "the program did not end";
    EXPECT_EQ(setup.exitCode(), 0u);

    for (const std::wstring& dll : marksIn(folder.path()))
        ADD_FAILURE() << "Setup.exe loaded the planted " << narrow(dll);
    EXPECT_TRUE(messages.empty()) << "message: " << narrow(messages.front());
    EXPECT_TRUE(findDriver(k9xEnvironment, modelNames()[0])) << "the driver was not installed";
    EXPECT_TRUE(findPrinter(modelNames()[0])) << "the printer was not created";
}

}  // namespace
