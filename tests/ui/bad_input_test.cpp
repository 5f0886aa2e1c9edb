// The real Setup.exe given what a user's machine can throw at it: driver
// packages incomplete or locked, a deep or Chinese folder, a driver directory
// it cannot write, a second run, a COM1 that is absent or unreadable, and
// registry keys missing or read-only. Each run must end normally, say in
// Chinese what failed and what to do, write nothing outside the driver
// directory, leave no half-written driver file, and carry on with the steps
// that still can work.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "resources/resource.h"
#include "tests/support/wine_support.h"
#include "tests/ui/setup_driver.h"

namespace {

using namespace ui;

// The first row, chosen when the page opens.
const std::wstring kDefaultModel = modelNames()[0];
constexpr int kCom1Row = 3;
constexpr int kCom3Row = 5;

// The files each family copies for the default model; the message names
// them by their installed names.
const std::vector<PackageCopy> kNtCopies = ntCopies(0);
const std::vector<PackageCopy> k9xCopies = win9xCopies(0);
const std::vector<std::wstring> kNtInstalled = installedNames(kNtCopies);
const std::vector<std::wstring> k9xInstalled = installedNames(k9xCopies);

const UINT kFailureLines[] = {IDS_FAIL_NO_SELECTION,
                              IDS_FAIL_DRIVER_DIRECTORY,
                              IDS_FAIL_FILES_MISSING_WIN2K,
                              IDS_FAIL_FILES_MISSING_WIN9X,
                              IDS_FAIL_FILES_NOT_COPIED,
                              IDS_FAIL_DRIVER,
                              IDS_FAIL_PRINTER,
                              IDS_FAIL_PRINTER_64BIT,
                              IDS_FAIL_REGISTRY,
                              IDS_FAIL_PATH_TOO_LONG,
                              IDS_FAIL_FILES_IN_USE};
const UINT kAdvice[] = {IDS_ADVICE_ADMIN,         IDS_ADVICE_FOLDER_WIN2K, IDS_ADVICE_FOLDER_WIN9X,
                        IDS_ADVICE_SPOOLER,       IDS_ADVICE_32BIT,        IDS_ADVICE_SHORTER_PATH,
                        IDS_ADVICE_CLOSE_PROGRAMS};

bool isNt(const wchar_t* version) {
    return lstrcmpW(version, L"win98") != 0;
}

// The message's line that starts with `heading`, or empty.
std::wstring lineStartingWith(const std::wstring& text, const std::wstring& heading) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        if (!heading.empty() && line.rfind(heading, 0) == 0) return line;
        start = end + 1;
    }
    return L"";
}

// What the one message after Finish must say: each failure line with the
// names it lists, and the advice. Every other line and advice must be absent.
struct ExpectedLine {
    UINT id;
    std::vector<std::wstring> names;
};
struct ExpectedMessage {
    std::vector<ExpectedLine> lines;
    std::vector<UINT> advice;
};

void expectMessages(const std::vector<std::wstring>& messages, const ExpectedMessage& expected) {
    if (expected.lines.empty()) {
        EXPECT_TRUE(messages.empty()) << "unexpected message: " << narrow(messages.front());
        return;
    }
    ASSERT_EQ(messages.size(), 1u) << "expected one message at the end";
    const std::wstring& text = messages.front();
    SCOPED_TRACE(narrow(text));
    EXPECT_EQ(text.rfind(setupString(IDS_INSTALL_INCOMPLETE), 0), 0u) << "no heading";
    for (UINT id : kFailureLines) {
        const ExpectedLine* wanted = nullptr;
        for (const ExpectedLine& line : expected.lines) {
            if (line.id == id) wanted = &line;
        }
        const std::wstring line = lineStartingWith(text, setupString(id));
        EXPECT_EQ(!line.empty(), wanted != nullptr) << "failure line " << id;
        if (!wanted || line.empty()) continue;
        std::wstring names = line.substr(setupString(id).size());
        for (const std::wstring& name : wanted->names) {
            const std::size_t at = names.find(name);
            EXPECT_NE(at, std::wstring::npos) << "line " << id << " lacks " << narrow(name);
            if (at != std::wstring::npos) names.erase(at, name.size());
        }
        // Nothing but separators may be left: no name the run did not fail on.
        EXPECT_EQ(names.find_first_not_of(L", "), std::wstring::npos)
            << "line " << id << " also names " << narrow(names);
    }
    for (UINT id : kAdvice) {
        bool wanted = false;
        for (UINT advice : expected.advice) wanted = wanted || advice == id;
        EXPECT_EQ(!lineStartingWith(text, setupString(id)).empty(), wanted) << "advice " << id;
    }
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        // Whatever an earlier test left, even one that was killed, goes
        // first; then the keys are recorded as they are, to be put back.
        removeInstallation();
        for (const auto& [root, key] : kReadOnlyCandidates) ReadOnlyKey::makeWritable(root, key);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassPortsKey);
        keys_.emplace();
        ASSERT_TRUE(package_.ready()) << "cannot lay out the driver packages";
        // Every Windows has this key; a fresh prefix does not.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, kUserWindowsKey, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        // Create the driver folders, so the snapshots see them as they are.
        for (const std::wstring& environment : environments()) driverDirectory(environment.c_str());
    }

    void TearDown() override { removeInstallation(); }

    struct Run {
        bool started = false;
        DWORD startError = 0;
        bool reachedFinish = false;
        bool ended = false;
        DWORD exitCode = STILL_ACTIVE;
        std::vector<std::wstring> messages;
    };

    // Starts Setup.exe in `folder`, goes Next, lets `onSettings` change the
    // page, clicks Finish and answers every message until the program ends.
    // The pages are found by their controls: their captions are Chinese in
    // the A functions' code page and read "??" under code page 1252.
    Run runThrough(const wchar_t* version, const std::wstring& folder,
                   const std::function<void(HWND)>& onSettings = {}) {
        Run run;
        std::optional<WindowsVersion> reported;
        reported.emplace(version);
        SetupProcess setup(folder);
        run.started = setup.started();
        run.startError = setup.startError();
        if (!setup.started()) return run;
        const HWND osPage = setup.waitForDialogWith(IDC_OS_XP);
        EXPECT_TRUE(osPage) << "the first page did not show";
        if (osPage) {
            clickButton(osPage, IDC_NEXT);
            const HWND page = setup.waitForDialogWith(IDC_PORT);
            EXPECT_TRUE(page) << "the settings page did not show";
            if (page) {
                if (onSettings) onSettings(page);
                clickButton(page, IDC_FINISH);
                run.reachedFinish = true;
                run.messages = answerMessages(setup);
            }
        }
        run.ended = setup.waitForExit();
        run.exitCode = setup.exitCode();
        return run;
    }

    // The run started, and ended by itself with the program's own exit code
    // (a crash ends with an exception code, or not at all while Wine's
    // debugger holds it).
    static void expectCleanEnd(const Run& run) {
        ASSERT_TRUE(run.started) << "could not start Setup.exe, error " << run.startError;
        EXPECT_TRUE(run.reachedFinish);
        EXPECT_TRUE(run.ended) << "the program did not end";
        EXPECT_EQ(run.exitCode, 0u) << std::hex << "exit code 0x" << run.exitCode;
    }

    // What a run must keep to whatever went wrong: the work folder and the
    // files in the root of C: as they were (a copy to "\\<name>" lands
    // there), every driver file of ours whole or absent. Folders in the root
    // are left out: the program makes none, and Wine's own processes may.
    struct Untouched {
        std::wstring folder;
        FolderSnapshot work = folderSnapshot(folder);
        FolderSnapshot root = rootFiles();

        static FolderSnapshot rootFiles() {
            FolderSnapshot files = folderSnapshot(L"C:", false);
            for (auto entry = files.begin(); entry != files.end();) {
                const bool isFolder = !entry->first.empty() && entry->first.back() == L'\\';
                entry = isFolder ? files.erase(entry) : std::next(entry);
            }
            return files;
        }

        void check() const {
            EXPECT_EQ(snapshotChanges(work, folderSnapshot(folder)), "")
                << "the work folder changed";
            EXPECT_EQ(snapshotChanges(root, rootFiles()), "") << "files in C:\\ changed";
            for (const std::wstring& damaged : damagedDriverFiles())
                ADD_FAILURE() << "half-written or foreign driver file " << narrow(damaged);
        }
    };

    // Runs the program in `folder` and checks it all: a clean end, the
    // expected message, nothing touched that should not be.
    Run runAndCheck(const wchar_t* version, const std::wstring& folder,
                    const ExpectedMessage& expected,
                    const std::function<void(HWND)>& onSettings = {}) {
        const Untouched untouched{folder};
        const Run run = runThrough(version, folder, onSettings);
        expectCleanEnd(run);
        expectMessages(run.messages, expected);
        untouched.check();
        return run;
    }

    // The steps after the copies: the driver registered, on 9x the printer
    // created, on NT the default printer's registry value written.
    void expectLaterStepsRan(const wchar_t* version) {
        EXPECT_TRUE(findDriver(isNt(version) ? kNtEnvironment : k9xEnvironment, kDefaultModel))
            << "the driver was not registered";
        if (isNt(version)) {
            EXPECT_EQ(readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device"),
                      kDefaultModel + L",winspool,LPT1:");
        } else {
            EXPECT_TRUE(findPrinter(kDefaultModel)) << "the printer was not created";
        }
    }

    void expectNothingInstalled() {
        for (const wchar_t* environment : {kNtEnvironment, k9xEnvironment})
            EXPECT_FALSE(findDriver(environment, kDefaultModel)) << narrow(environment);
        EXPECT_FALSE(findPrinter(kDefaultModel));
    }

    std::wstring packageFile(const wchar_t* version, const std::wstring& name) const {
        return package_.path() + (isNt(version) ? L"\\win2k\\" : L"\\win9x\\") + name;
    }

    // The keys the cases make read-only.
    static inline const std::pair<HKEY, const wchar_t*> kReadOnlyCandidates[] = {
        {HKEY_LOCAL_MACHINE, kPortsKey}, {HKEY_CURRENT_USER, kUserWindowsKey}};

    PackageFolder package_;
    std::optional<InstallationKeysGuard> keys_;
};

// ---------------------------------------------------------------------------
// Driver packages that are incomplete or cannot be read

TEST_F(BadInput, MissingPackageFolderNamesEveryFileAndTheFolder) {
    const struct {
        const wchar_t* version;
        const wchar_t* folder;
        UINT line;
        const std::vector<std::wstring>& names;
        UINT advice;
    } cases[] = {
        {L"winxp", L"win2k", IDS_FAIL_FILES_MISSING_WIN2K, kNtInstalled, IDS_ADVICE_FOLDER_WIN2K},
        {L"win98", L"win9x", IDS_FAIL_FILES_MISSING_WIN9X, k9xInstalled, IDS_ADVICE_FOLDER_WIN9X},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.version));
        const MovedAside moved(package_.path() + L"\\" + c.folder, package_.path() + L"\\aside");
        ASSERT_TRUE(moved.ready());
        runAndCheck(c.version, package_.path(), {{{c.line, c.names}}, {c.advice}});
        expectLaterStepsRan(c.version);
        const std::wstring directory =
            driverDirectory(isNt(c.version) ? kNtEnvironment : k9xEnvironment);
        for (const std::wstring& name : c.names) {
            EXPECT_EQ(GetFileAttributesW((directory + L"\\" + name).c_str()),
                      INVALID_FILE_ATTRIBUTES)
                << narrow(name) << " appeared in the driver directory";
        }
        removeInstallation();
    }
}

// One launch per file the default model needs, and one for a file of another
// model, which must not matter.
TEST_F(BadInput, EachMissingDriverFileIsNamedAndTheRestInstalled) {
    struct Case {
        const wchar_t* version;
        std::wstring source;     // in the package folder
        std::wstring installed;  // as the message names it; empty: not needed
    };
    std::vector<Case> cases;
    for (const auto* copies : {&kNtCopies, &k9xCopies}) {
        for (const PackageCopy& copy : *copies) {
            cases.push_back({copies == &kNtCopies ? L"winxp" : L"win98", fileNameOf(copy.source),
                             copy.installed});
        }
    }
    // Row 5's .GPD and row 8's .DRV belong to other models only.
    cases.push_back({L"winxp", ntCopies(5)[1].installed, L""});
    cases.push_back({L"win98", win9xCopies(8)[0].installed, L""});

    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.version) + " without " + narrow(c.source));
        const MovedAside moved(packageFile(c.version, c.source), package_.path() + L"\\aside");
        ASSERT_TRUE(moved.ready());
        ExpectedMessage expected;
        if (!c.installed.empty()) {
            const bool nt = isNt(c.version);
            const UINT line = nt ? IDS_FAIL_FILES_MISSING_WIN2K : IDS_FAIL_FILES_MISSING_WIN9X;
            const UINT advice = nt ? IDS_ADVICE_FOLDER_WIN2K : IDS_ADVICE_FOLDER_WIN9X;
            expected = {{{line, {c.installed}}}, {advice}};
        }
        runAndCheck(c.version, package_.path(), expected);
        expectLaterStepsRan(c.version);
        removeInstallation();
    }
}

TEST_F(BadInput, PackageFileHeldOpenByAnotherProgramIsReportedAsInUse) {
    const struct {
        const wchar_t* version;
        const wchar_t* source;
        const wchar_t* installed;
    } cases[] = {{L"winxp", L"UNIRES.DLL", L"UNIRES.DLL"},
                 {L"win98", L"uniDRV.hlp", L"uniDRV.HLP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.version));
        {
            // Opened without sharing: nobody else may read it meanwhile.
            const HeldFile held(packageFile(c.version, c.source));
            ASSERT_TRUE(held.ready());
            runAndCheck(c.version, package_.path(),
                        {{{IDS_FAIL_FILES_IN_USE, {c.installed}}}, {IDS_ADVICE_CLOSE_PROGRAMS}});
        }
        const std::wstring directory =
            driverDirectory(isNt(c.version) ? kNtEnvironment : k9xEnvironment);
        EXPECT_EQ(GetFileAttributesW((directory + L"\\" + c.installed).c_str()),
                  INVALID_FILE_ATTRIBUTES)
            << "the file in use was copied after all";
        expectLaterStepsRan(c.version);
        removeInstallation();
    }
}

// ---------------------------------------------------------------------------
// The folder the program is started in: deep, or with Chinese in its name.
// Registered twice: under code page 936 and, as "ui.cp1252.", under 1252.

struct FolderCase {
    const char* name;
    std::size_t length;      // of the whole current directory, in characters
    const wchar_t* segment;  // repeated to make it up
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.name;
}

class StartFolder : public BadInput, public ::testing::WithParamInterface<FolderCase> {
protected:
    // A folder of exactly `length` characters under the package folder, with
    // both packages laid out in it; empty when it cannot be made.
    std::wstring deepFolder(std::size_t length, const std::wstring& segment) {
        std::wstring folder = package_.path();
        while (folder.size() + 1 < length) {
            std::wstring part = segment;
            while (part.size() < 100 && folder.size() + 1 + part.size() < length) part += segment;
            if (folder.size() + 1 + part.size() > length) part.resize(length - folder.size() - 1);
            // One character left over could not make a folder of its own ("\\x" takes two).
            if (length - (folder.size() + 1 + part.size()) == 1 && part.size() > 1) part.pop_back();
            folder += L"\\" + part;
            // The long form, as the ANSI limit of MAX_PATH does not apply to it.
            if (!CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr)) return L"";
        }
        if (!PackageFolder::layOut(L"\\\\?\\" + folder)) return L"";
        return folder;
    }
};

// Wine, unlike Windows, copies "win2k\\<name>" from a current directory
// deeper than MAX_PATH allows the ANSI functions; so a deep folder either
// installs or says the path is too long, whichever the system does, never
// anything else. The deepest case is the deepest folder a program can be
// started in (MAX_PATH less the separator and the NUL). Windows starts no
// program in a deeper one, and Wine 8 asked to do so overruns the caller's
// heap while it copies the folder into the new process's parameters (seen
// as glibc's "corrupted size vs. prev_size" in this test program, depending
// on the length of the prefix's own path): no case asks for that.
TEST_P(StartFolder, InstallsOrSaysThePathIsTooLong) {
    const FolderCase& c = GetParam();
    const std::wstring folder = deepFolder(c.length, c.segment);
    ASSERT_EQ(folder.size(), c.length) << "cannot make the folder";
    for (const wchar_t* version : {L"winxp", L"win98"}) {
        SCOPED_TRACE(narrow(version));
        const Untouched untouched{folder};
        const Run run = runThrough(version, folder);
        untouched.check();
        expectCleanEnd(run);
        const bool tooLong =
            !run.messages.empty() &&
            !lineStartingWith(run.messages.front(), setupString(IDS_FAIL_PATH_TOO_LONG)).empty();
        if (tooLong) {
            // "<folder>\\win2k\\<name>" did not fit in MAX_PATH.
            ExpectedLine line{IDS_FAIL_PATH_TOO_LONG, {}};
            for (const std::wstring& name : isNt(version) ? kNtInstalled : k9xInstalled) {
                if (folder.size() + 1 + 6 + name.size() + 1 > MAX_PATH) line.names.push_back(name);
            }
            EXPECT_FALSE(line.names.empty()) << "a path that fits was called too long";
            expectMessages(run.messages, {{line}, {IDS_ADVICE_SHORTER_PATH}});
        } else {
            expectMessages(run.messages, {});
            expectLaterStepsRan(version);
        }
        removeInstallation();
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, StartFolder,
                         ::testing::Values(FolderCase{"Length100", 100, L"folder"},
                                           FolderCase{"Length250", 250, L"folder"},
                                           FolderCase{"Length258", MAX_PATH - 2, L"folder"},
                                           FolderCase{"Chinese", 80, L"打印机驱动程序"}),
                         [](const ::testing::TestParamInfo<FolderCase>& info) {
                             return info.param.name;
                         });

// ---------------------------------------------------------------------------
// The driver directory and an earlier installation

TEST_F(BadInput, DestinationThatCannotBeWrittenIsReportedForAnAdministrator) {
    const struct {
        const wchar_t* version;
        const wchar_t* environment;
        const wchar_t* blocked;
    } cases[] = {{L"winxp", kNtEnvironment, kNtInstalled[0].c_str()},
                 {L"win98", k9xEnvironment, k9xInstalled[0].c_str()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.version));
        // A folder under the file's name: CopyFileA cannot replace it.
        {
            const ScopedFolder blocker(driverDirectory(c.environment) + L"\\" + c.blocked);
            ASSERT_TRUE(blocker.ready());
            runAndCheck(c.version, package_.path(),
                        {{{IDS_FAIL_FILES_NOT_COPIED, {c.blocked}}}, {IDS_ADVICE_ADMIN}});
            expectLaterStepsRan(c.version);
        }
        removeInstallation();
    }
}

TEST_F(BadInput, SecondRunOverAnInstallationAddsNoMessage) {
    for (const wchar_t* version : {L"winxp", L"win98"}) {
        SCOPED_TRACE(narrow(version));
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE("run " + std::to_string(round));
            runAndCheck(version, package_.path(), {});
            expectLaterStepsRan(version);
        }
        removeInstallation();
    }
}

// ---------------------------------------------------------------------------
// COM1 and the registry on the 9x path

TEST_F(BadInput, UnusableCom1StillStoresTheSerialSettingsOnABlankRecord) {
    const struct {
        const char* what;
        const char* com1;  // what COM1 leads to
        int portRow;
        const wchar_t* key;
        const wchar_t* other;
    } cases[] = {
        // Opening a folder for writing fails: no COM1 to be had.
        {"COM1 cannot be opened", "/", kCom1Row, kFirstPortKey, kOtherPortsKey},
        // Wine then falls back on the machine's first serial device, if any.
        {"COM1 leads nowhere", "/nonexistent/ttyS", kCom1Row, kFirstPortKey, kOtherPortsKey},
        // Opens, but is no terminal: its state cannot be read.
        {"COM1 state unreadable", "/dev/null", kCom3Row, kOtherPortsKey, kFirstPortKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case starts without the keys and leaves none.
        const RegistryKeyGuard classPorts(HKEY_LOCAL_MACHINE, kClassPortsKey);
        Com1Mapping mapping(c.com1);
        if (!mapping.ready()) {
            GTEST_SKIP() << "cannot remap COM1 outside Wine or without WINEPREFIX";
        }
        for (const wchar_t* key : {kFirstPortKey, kOtherPortsKey}) {
            HKEY created = nullptr;
            ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, key, &created), ERROR_SUCCESS);
            RegCloseKey(created);
        }
        runAndCheck(L"win98", package_.path(), {},
                    [&](HWND page) { selectComboRow(page, IDC_PORT, c.portRow); });
        expectLaterStepsRan(L"win98");

        // The defaults: 9600 baud, 8 data bits, hardware flow control.
        std::vector<BYTE> expected(28, 0);
        expected[0] = 28;  // DCBlength
        expected[4] = 0x80;
        expected[5] = 0x25;
        expected[8] = 0x15;
        expected[9] = 0x20;
        expected[18] = 8;
        const std::optional<RegistryValue> dcb =
            readRegistryValue(HKEY_LOCAL_MACHINE, c.key, L"DCB");
        ASSERT_TRUE(dcb);
        EXPECT_EQ(dcb->type, DWORD{REG_BINARY});
        EXPECT_EQ(dcb->data, expected) << "not the zeroed template with the choices";
        EXPECT_FALSE(readRegistryValue(HKEY_LOCAL_MACHINE, c.other, L"DCB"));
        removeInstallation();
    }
}

// Keys the program opens for writing that are missing or read-only are named
// once, at the end, with the advice to run as administrator; everything else
// is installed, and nothing is written into them.
TEST_F(BadInput, RegistryKeysMissingOrReadOnlyAreReportedOnceAtTheEnd) {
    struct Case {
        const char* what;
        const wchar_t* version;
        int portRow;
        std::vector<std::wstring> createKeys;  // under HKLM, before the run
        std::vector<std::pair<HKEY, std::wstring>> readOnlyKeys;
        bool deleteUserWindowsKey;
        std::vector<std::wstring> reported;
    };
    const std::wstring windowsKey = kUserWindowsKey;
    const std::wstring portsKey = kPortsKey;
    const std::vector<Case> cases = {
        {"9x, no Ports class keys", L"win98", kCom1Row, {}, {}, false, {kFirstPortKey}},
        {"9x, only COM1's key there, COM3 chosen",
         L"win98",
         kCom3Row,
         {kFirstPortKey},
         {},
         false,
         {kOtherPortsKey}},
        {"NT, no HKCU Windows key and the Ports key read-only",
         L"winxp",
         kCom1Row,
         {},
         {{HKEY_LOCAL_MACHINE, portsKey}},
         true,
         {windowsKey, portsKey}},
        // Everyone may read the key, nobody may set its values.
        {"NT, the HKCU Windows key read-only",
         L"winxp",
         0,
         {},
         {{HKEY_CURRENT_USER, windowsKey}},
         false,
         {windowsKey}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Put back, whatever the assertions do: the keys made read-only
        // first (they are destroyed first), then the keys and their values.
        const RegistryKeyGuard classPorts(HKEY_LOCAL_MACHINE, kClassPortsKey);
        const RegistryKeyGuard userWindows(HKEY_CURRENT_USER, kUserWindowsKey);
        for (const std::wstring& key : c.createKeys) {
            HKEY created = nullptr;
            ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, key.c_str(), &created), ERROR_SUCCESS);
            RegCloseKey(created);
        }
        if (c.deleteUserWindowsKey) RegDeleteTreeW(HKEY_CURRENT_USER, kUserWindowsKey);
        std::vector<std::unique_ptr<ReadOnlyKey>> readOnly;
        for (const auto& [root, key] : c.readOnlyKeys) {
            readOnly.push_back(std::make_unique<ReadOnlyKey>(root, key));
            ASSERT_TRUE(readOnly.back()->ready()) << "cannot make " << narrow(key) << " read-only";
            HKEY probe = nullptr;
            const LONG openError = RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &probe);
            if (openError == ERROR_SUCCESS) RegCloseKey(probe);
            ASSERT_EQ(openError, ERROR_ACCESS_DENIED) << narrow(key) << " still opens for setting";
        }
        runAndCheck(c.version, package_.path(),
                    {{{IDS_FAIL_REGISTRY, c.reported}}, {IDS_ADVICE_ADMIN}},
                    [&](HWND page) { selectComboRow(page, IDC_PORT, c.portRow); });
        EXPECT_TRUE(findDriver(isNt(c.version) ? kNtEnvironment : k9xEnvironment, kDefaultModel));
        if (isNt(c.version)) {
            EXPECT_FALSE(readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device"));
        } else {
            EXPECT_TRUE(findPrinter(kDefaultModel));
        }
        readOnly.clear();
        removeInstallation();
    }
}

}  // namespace
