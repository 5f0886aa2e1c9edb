#include "tests/support/wine_support.h"

#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace setup::winetest {

std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 10000, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                        SMTO_BLOCK, 10000, &copied);
    text.resize(copied);
    return text;
}

namespace {

std::wstring className(HWND window) {
    WCHAR name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK findVisibleDialog(HWND window, LPARAM found) {
    if (className(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK collectStatics(HWND child, LPARAM list) {
    if (className(child) == L"Static") reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

}  // namespace

ReportedVersion reportedVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

// ---- Text and files -----------------------------------------------------------

std::wstring widen(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], n);
    return wide;
}

std::string narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

std::optional<std::string> readFile(const std::wstring& path) {
    // Readable while a program still appends to it (a log).
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    char chunk[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &read, nullptr) != 0) && read > 0) {
        content.append(chunk, read);
    }
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return content;
}

bool writeFile(const std::wstring& path, const std::string& content) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    return CloseHandle(file) && ok;
}

std::wstring storedFileName(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    FindClose(search);
    return found.cFileName;
}

std::wstring fileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::vector<std::wstring> filesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string placeholderContent(const std::wstring& fileName) {
    return "placeholder driver file " + narrow(fileName) + "\r\n";
}

PackageFolder::PackageFolder(bool withPackages) {
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) return;
    for (unsigned n = GetTickCount();; ++n) {
        wchar_t name[64];
        swprintf(name, 64, L"setup-test-%lu-%u", GetCurrentProcessId(), n);
        path_ = std::wstring(temp) + name;
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            ready_ = !withPackages || layOut(path_);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path_.clear();
            return;
        }
    }
}

PackageFolder::~PackageFolder() {
    if (!path_.empty()) removeTree(path_);
}

bool PackageFolder::addPlaceholder(const std::wstring& relativePath) const {
    const std::size_t slash = relativePath.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        CreateDirectoryW((path_ + L"\\" + relativePath.substr(0, slash)).c_str(), nullptr);
    }
    return writeFile(path_ + L"\\" + relativePath, placeholderContent(fileNameOf(relativePath)));
}

bool PackageFolder::layOut(const std::wstring& folder) {
    bool ok = true;
    const struct {
        const wchar_t* name;
        const std::vector<std::wstring>& files;
    } packages[] = {{L"win2k", ntPackageFiles()}, {L"win9x", win9xPackageFiles()}};
    for (const auto& package : packages) {
        const std::wstring dir = folder + L"\\" + package.name;
        CreateDirectoryW(dir.c_str(), nullptr);
        for (const std::wstring& name : package.files) {
            ok = writeFile(dir + L"\\" + name, placeholderContent(name)) && ok;
        }
    }
    return ok;
}

CurrentFolder::CurrentFolder(const std::wstring& folder) {
    wchar_t current[MAX_PATH] = {};
    if (!GetCurrentDirectoryW(MAX_PATH, current)) return;
    previous_ = current;
    ready_ = SetCurrentDirectoryW(folder.c_str()) != 0;
}

CurrentFolder::~CurrentFolder() {
    if (ready_) SetCurrentDirectoryW(previous_.c_str());
}

// ---- Message boxes ------------------------------------------------------------

MessageBoxWatcher::MessageBoxWatcher()
    : watchedThread_(GetCurrentThreadId()), thread_([this] { watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop();
}

std::vector<SeenMessageBox> MessageBoxWatcher::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void MessageBoxWatcher::watch() {
    while (!stopping_) {
        HWND box = nullptr;
        EnumThreadWindows(watchedThread_, findVisibleDialog, reinterpret_cast<LPARAM>(&box));
        if (!box) {
            Sleep(10);
            continue;
        }
        SeenMessageBox seen;
        seen.caption = windowText(box);
        // The icon is a Static too, without text; the message is the one with text.
        std::vector<HWND> statics;
        EnumChildWindows(box, collectStatics, reinterpret_cast<LPARAM>(&statics));
        for (HWND child : statics) {
            const std::wstring childText = windowText(child);
            if (!childText.empty()) seen.text += childText;
        }
        seen_.push_back(seen);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        while (IsWindow(box) && !stopping_) Sleep(10);
    }
}

// ---- Reports ------------------------------------------------------------------

const char* stepName(InstallStep step) {
    switch (step) {
        case InstallStep::InvalidSelection:
            return "InvalidSelection";
        case InstallStep::DriverDirectory:
            return "DriverDirectory";
        case InstallStep::CopyDriverFile:
            return "CopyDriverFile";
        case InstallStep::RegisterDriver:
            return "RegisterDriver";
        case InstallStep::CreatePrinter:
            return "CreatePrinter";
        case InstallStep::OpenRegistryKey:
            return "OpenRegistryKey";
        case InstallStep::SetRegistryValue:
            return "SetRegistryValue";
    }
    return "?";
}

std::string describe(const InstallReport& report) {
    if (report.succeeded()) return "(no failures)";
    std::string lines;
    for (int i = 0; i < report.count(); ++i) {
        const InstallFailure& failure = report.at(i);
        lines += std::string(stepName(failure.step)) + " \"" + failure.subject + "\" error " +
                 std::to_string(failure.error) + "\n";
    }
    return lines;
}

std::vector<InstallFailure> failuresOf(const InstallReport& report, InstallStep step) {
    std::vector<InstallFailure> failures;
    for (int i = 0; i < report.count(); ++i) {
        if (report.at(i).step == step) failures.push_back(report.at(i));
    }
    return failures;
}

BOOL startProgram(const std::wstring& application, std::wstring commandLine, BOOL inheritHandles,
                  DWORD creationFlags, const wchar_t* currentDirectory, STARTUPINFOW* startup,
                  PROCESS_INFORMATION* process) {
    for (int attempt = 0;; ++attempt) {
        std::wstring line = commandLine;  // CreateProcessW may write into it
        SetLastError(0);
        if (CreateProcessW(application.c_str(), &line[0], nullptr, nullptr, inheritHandles,
                           creationFlags, nullptr, currentDirectory, startup, process)) {
            return TRUE;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 1) {
            SetLastError(error);
            return FALSE;
        }
        const std::string name = narrow(application);
        std::fprintf(stderr, "Wine failed to start %s (error 1359); starting it once more\n",
                     name.c_str());
        char restarts[1024];
        const DWORD length =
            GetEnvironmentVariableA("SETUP_WINE_RESTARTS", restarts, sizeof restarts);
        if (length > 0 && length < sizeof restarts) {
            // The variable holds a Unix path; Wine reaches it through drive Z:.
            const std::wstring path = L"Z:" + widen(restarts);
            const HANDLE file =
                CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                const std::string note = name + " (CreateProcessW error 1359)\n";
                DWORD written = 0;
                WriteFile(file, note.data(), static_cast<DWORD>(note.size()), &written, nullptr);
                CloseHandle(file);
            }
        }
    }
}

}  // namespace setup::winetest
