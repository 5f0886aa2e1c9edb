// Checks the shipped i686 Setup.exe as built: a 32-bit GUI executable for
// Windows 4.0 that needs no C runtime DLL and imports only functions that
// Windows 95 and Windows NT 4.0 (with their usual updates) export. Anything
// newer must be looked up at run time, so the program still starts there.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/win/wine_fixture.h"

#ifndef SETUP_I686_EXE
#error "SETUP_I686_EXE must name the i686 Setup.exe"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// What each DLL may be asked for. Every name was checked against the
// platform SDK's requirements ("Windows 95" / "Windows NT 3.1" or earlier as
// the minimum client). No C runtime DLL: a Windows 95 without Internet
// Explorer 4 or OSR2 has none. The W dialog functions are looked up at run
// time on the NT family; only MessageBoxW, which Windows 95 implements, is
// imported. A new import fails this test until it has been checked the same
// way and added here.
const std::map<std::string, std::set<std::string>> kAvailableOnWin95AndNt4 = {
    {"ADVAPI32.DLL", {"RegCloseKey", "RegOpenKeyExA", "RegSetValueExA"}},
    {"KERNEL32.DLL", {"CloseHandle",          "CopyFileA",         "CreateFileA",
                      "ExitProcess",          "FindClose",         "FindFirstFileA",
                      "FindResourceA",        "FreeLibrary",       "GetCommState",
                      "GetCurrentDirectoryA", "GetCurrentProcess", "GetLastError",
                      "GetModuleFileNameA",   "GetModuleHandleA",  "GetProcAddress",
                      "GetSystemDirectoryA",  "GetVersion",        "GetVersionExA",
                      "LoadLibraryA",         "LoadResource",      "LockResource",
                      "MultiByteToWideChar",  "SetLastError",      "SizeofResource",
                      "WideCharToMultiByte",  "lstrcpynA"}},
    {"USER32.DLL", {"AppendMenuA",     "BeginPaint",       "CharNextA",
                    "CheckDlgButton",  "DialogBoxParamA",  "DrawIcon",
                    "EnableWindow",    "EndDialog",        "EndPaint",
                    "GetActiveWindow", "GetClientRect",    "GetDlgItem",
                    "GetSystemMenu",   "GetSystemMetrics", "GetWindow",
                    "GetWindowLongA",  "GetWindowRect",    "IsDlgButtonChecked",
                    "IsIconic",        "IsWindowVisible",  "LoadIconA",
                    "MessageBoxA",     "MessageBoxW",      "SendDlgItemMessageA",
                    "SendMessageA",    "SetDlgItemTextA",  "SetFocus",
                    "SetWindowLongA",  "SetWindowPos",     "SystemParametersInfoA"}},
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return s;
}

// Just enough of the PE format to read the header fields and the imports.
class PeImage {
public:
    explicit PeImage(const Bytes& bytes) : b_(bytes) {
        if (u16(0) != 0x5A4D) return;  // "MZ"
        pe_ = u32(0x3C);
        if (u32(pe_) != 0x00004550) return;  // "PE\0\0"
        optional_ = pe_ + 24;
        const std::uint32_t sections = optional_ + u16(pe_ + 20);
        for (std::uint32_t i = 0; i < u16(pe_ + 6); ++i) {
            const std::uint32_t at = sections + 40 * i;
            sections_.push_back({u32(at + 12), u32(at + 8), u32(at + 20), u32(at + 36)});
        }
        valid_ = true;
    }

    bool valid() const { return valid_; }
    std::uint16_t machine() const { return u16(pe_ + 4); }
    std::uint16_t magic() const { return u16(optional_); }
    std::uint16_t majorOsVersion() const { return u16(optional_ + 40); }
    std::uint16_t majorSubsystemVersion() const { return u16(optional_ + 48); }
    std::uint16_t subsystem() const { return u16(optional_ + 68); }

    // Where Windows starts the program: inside a section of executable code.
    // A link that found no entry symbol writes 0 here without a word, and the
    // program then crashes at its first instruction.
    bool entryPointIsInCode() const {
        constexpr std::uint32_t kCode = 0x00000020, kExecute = 0x20000000;
        const std::uint32_t entry = u32(optional_ + 16);
        for (const Section& s : sections_) {
            if (entry >= s.rva && entry < s.rva + s.size) {
                return (s.characteristics & kCode) && (s.characteristics & kExecute);
            }
        }
        return false;
    }

    // DLL name -> imported function names (ordinals as "#n").
    std::map<std::string, std::set<std::string>> imports() const {
        std::map<std::string, std::set<std::string>> result;
        const std::uint32_t directory = offsetOf(u32(optional_ + 104));
        for (std::uint32_t d = directory; d && u32(d + 12) != 0; d += 20) {
            auto& names = result[upper(text(offsetOf(u32(d + 12))))];
            const std::uint32_t lookup = u32(d) != 0 ? u32(d) : u32(d + 16);
            for (std::uint32_t t = offsetOf(lookup); t && u32(t) != 0; t += 4) {
                const std::uint32_t entry = u32(t);
                names.insert(entry & 0x80000000u ? "#" + std::to_string(entry & 0xFFFF)
                                                 : text(offsetOf(entry) + 2));
            }
        }
        return result;
    }

private:
    struct Section {
        std::uint32_t rva, size, fileOffset, characteristics;
    };
    std::uint32_t offsetOf(std::uint32_t rva) const {
        for (const Section& s : sections_) {
            if (rva >= s.rva && rva < s.rva + s.size) return rva - s.rva + s.fileOffset;
        }
        return 0;
    }
    std::uint32_t u16(std::uint32_t at) const {
        return at + 2 <= b_.size() ? b_[at] | b_[at + 1] << 8 : 0;
    }
    std::uint32_t u32(std::uint32_t at) const {
        return at + 4 <= b_.size() ? u16(at) | u16(at + 2) << 16 : 0;
    }
    std::string text(std::uint32_t at) const {
        std::string s;
        while (at && at < b_.size() && b_[at]) s += static_cast<char>(b_[at++]);
        return s;
    }

    const Bytes& b_;
    std::uint32_t pe_ = 0, optional_ = 0;
    std::vector<Section> sections_;
    bool valid_ = false;
};

Bytes readFile(const char* unixPath) {
    std::ifstream file(setup::winetest::windowsPath(std::string(unixPath)), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes readI686Exe() {
    return readFile(SETUP_I686_EXE);
}

TEST(ShippedPrograms, StartInsideTheirCode) {
    for (const char* path :
         {SETUP_I686_EXE, SETUP_I686_DEPLOY_EXE, SETUP_I686_LOGON_EXE, SETUP_I686_ACTION_DLL}) {
        const Bytes bytes = readFile(path);
        ASSERT_FALSE(bytes.empty()) << "build the win32 preset first: " << path;
        const PeImage image(bytes);
        ASSERT_TRUE(image.valid()) << path;
        EXPECT_TRUE(image.entryPointIsInCode())
            << path << ": the entry point lies outside the code; the program would not start";
    }
}

TEST(ShippedExecutable, IsA32BitGuiProgramForWindows4) {
    const Bytes bytes = readI686Exe();
    ASSERT_FALSE(bytes.empty()) << "build the win32 preset first: " << SETUP_I686_EXE;
    const PeImage image(bytes);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.machine(), 0x14c) << "i386";
    EXPECT_EQ(image.magic(), 0x10b) << "PE32";
    EXPECT_EQ(image.subsystem(), 2) << "Windows GUI";
    // Windows 95 and NT 4.0 refuse an image that asks for a newer system.
    EXPECT_LE(image.majorOsVersion(), 4);
    EXPECT_LE(image.majorSubsystemVersion(), 4);
    // A bound that catches the C runtime or the C++ library creeping back in;
    // the size itself is a benchmark figure (scripts/benchmark.sh).
    EXPECT_LE(bytes.size(), 32u * 1024) << "the shipped program has grown out of bounds";
}

TEST(ShippedExecutable, ImportsOnlyWhatWindows95AndNt4Have) {
    const Bytes bytes = readI686Exe();
    ASSERT_FALSE(bytes.empty()) << "build the win32 preset first: " << SETUP_I686_EXE;
    const auto imports = PeImage(bytes).imports();
    ASSERT_FALSE(imports.empty());
    for (const auto& [dll, functions] : imports) {
        const auto allowed = kAvailableOnWin95AndNt4.find(dll);
        ASSERT_NE(allowed, kAvailableOnWin95AndNt4.end())
            << dll << " is not a DLL the program may import (no C runtime DLLs; "
            << "winspool.drv and comctl32.dll are loaded from the system folder at run time)";
        for (const std::string& function : functions) {
            EXPECT_EQ(allowed->second.count(function), 1u)
                << dll << "!" << function << " is not known to exist on Windows 95 and NT 4.0";
        }
    }
}

// The deployment tool: a console program with a few more kernel calls (its
// removal and status calls bring DeleteFileA, the profile and the process
// heap; its log, its turn-taking mutex and the restart deletion of Windows
// 9x bring the file, wait and WININIT.INI calls; the logon registration of
// a run as SYSTEM brings RegCreateKeyExA and RegDeleteKeyA), each checked
// the same way (lstrlenW is one of the wide functions Windows 95
// implements); the wide ones it uses on NT, MoveFileExA and the process
// token's calls are looked up at run time. No C
// runtime either.
const std::map<std::string, std::set<std::string>> kAlsoForTheTool = {
    {"ADVAPI32.DLL", {"RegCreateKeyExA", "RegDeleteKeyA", "RegQueryValueExA"}},
    {"KERNEL32.DLL", {"CompareStringA",     "CreateMutexA",
                      "DeleteFileA",        "FindResourceExA",
                      "FormatMessageA",     "GetCommandLineA",
                      "GetConsoleMode",     "GetConsoleOutputCP",
                      "GetFileAttributesA", "GetFileSize",
                      "GetFileType",        "GetFullPathNameA",
                      "GetLocalTime",       "GetProcessHeap",
                      "GetProfileStringA",  "GetStdHandle",
                      "GetSystemTime",      "GetUserDefaultLangID",
                      "GetVersion",         "GetWindowsDirectoryA",
                      "HeapAlloc",          "HeapFree",
                      "LockFile",           "ReadFile",
                      "ReleaseMutex",       "SetErrorMode",
                      "SetFilePointer",     "Sleep",
                      "UnlockFile",         "WaitForSingleObject",
                      "WriteFile",          "WriteProfileStringA",
                      "lstrlenA",           "lstrlenW"}},
};

// Each import of the tool or the logon program is known to exist on Windows 95 and NT 4.0.
void expectOnlyTheToolsImports(const PeImage& image) {
    for (const auto& [dll, functions] : image.imports()) {
        const auto allowed = kAvailableOnWin95AndNt4.find(dll);
        const auto extra = kAlsoForTheTool.find(dll);
        ASSERT_NE(allowed, kAvailableOnWin95AndNt4.end()) << dll;
        for (const std::string& function : functions) {
            const bool known = allowed->second.count(function) ||
                               (extra != kAlsoForTheTool.end() && extra->second.count(function));
            EXPECT_TRUE(known) << dll << "!" << function
                               << " is not known to exist on Windows 95 and NT 4.0";
        }
    }
}

TEST(ShippedDeployTool, IsA32BitConsoleProgramImportingOnlyWhatWindows95AndNt4Have) {
    const Bytes bytes = readFile(SETUP_I686_DEPLOY_EXE);
    ASSERT_FALSE(bytes.empty()) << "build the win32 preset first: " << SETUP_I686_DEPLOY_EXE;
    const PeImage image(bytes);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.machine(), 0x14c) << "i386";
    EXPECT_EQ(image.subsystem(), 3) << "Windows console";
    EXPECT_LE(image.majorOsVersion(), 4);
    EXPECT_LE(image.majorSubsystemVersion(), 4);
    expectOnlyTheToolsImports(image);
}

// The logon program: a GUI program (no console window opens at logon),
// with a part of the tool's imports.
TEST(ShippedLogonProgram, IsA32BitGuiProgramImportingOnlyWhatWindows95AndNt4Have) {
    const Bytes bytes = readFile(SETUP_I686_LOGON_EXE);
    ASSERT_FALSE(bytes.empty()) << "build the win32 preset first: " << SETUP_I686_LOGON_EXE;
    const PeImage image(bytes);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.machine(), 0x14c) << "i386";
    EXPECT_EQ(image.subsystem(), 2) << "Windows GUI";
    EXPECT_LE(image.majorOsVersion(), 4);
    EXPECT_LE(image.majorSubsystemVersion(), 4);
    expectOnlyTheToolsImports(image);
}

}  // namespace
