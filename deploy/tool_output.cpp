#include "deploy/tool_output.h"

#include "common/utf8.h"
#include "deploy/nt_functions.h"
#include "resources/deploy_resource.h"

namespace setup {
namespace {

constexpr LANGID kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The user's interface language where Windows has the call (2000 and
// later), else the user's locale.
LANGID userLanguage() {
    using GetUserDefaultUILanguageFn = LANGID(WINAPI*)();
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto uiLanguage =
        kernel ? reinterpret_cast<GetUserDefaultUILanguageFn>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultUILanguage")))
               : nullptr;
    const LANGID language = uiLanguage ? uiLanguage() : GetUserDefaultLangID();
    return PRIMARYLANGID(language) == LANG_CHINESE ? kChinese : kEnglish;
}

// A string of the string table in one language, read from the resource
// itself: LoadStringW does not exist on Windows 9x and picks no language.
bool findString(LANGID language, int id, const WCHAR** text, int* length) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_STRING),
                                        MAKEINTRESOURCEA(id / 16 + 1), language);
    if (!found) return false;
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* p = static_cast<const WCHAR*>(loaded ? LockResource(loaded) : nullptr);
    if (!p) return false;
    const auto* end = p + SizeofResource(module, found) / sizeof(WCHAR);
    for (int i = 0; i < id % 16 && p < end; ++i) p += 1 + *p;
    if (p >= end || *p == 0 || p + 1 + *p > end) return false;
    *length = *p;
    *text = p + 1;
    return true;
}

struct FileLinks {
    ULONG count = 1;
    bool reparsePoint = false;
};

// The names a file has and whether it is a reparse point, NT family only
// (Windows 9x has neither hard links nor reparse points, nor other accounts
// to fear). Asked of the file system directly: GetFileInformationByHandle
// also asks for the volume's serial number, which is slow under Wine.
bool queryLinks(HANDLE file, FileLinks* links) {
    struct IoStatus {
        union {
            LONG status;
            void* pointer;
        };
        ULONG_PTR information;
    };
    struct BasicInformation {  // FILE_BASIC_INFORMATION
        LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
        ULONG fileAttributes;
    };
    struct StandardInformation {  // FILE_STANDARD_INFORMATION
        LARGE_INTEGER allocationSize, endOfFile;
        ULONG numberOfLinks;
        BOOLEAN deletePending, directory;
    };
    constexpr ULONG kFileBasicInformation = 4;
    constexpr ULONG kFileStandardInformation = 5;
    using QueryFn = LONG(NTAPI*)(HANDLE, IoStatus*, void*, ULONG, ULONG);
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto query = ntdll ? reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
                                   GetProcAddress(ntdll, "NtQueryInformationFile")))
                             : nullptr;
    if (!query) return false;
    IoStatus status = {};
    BasicInformation basic = {};
    StandardInformation standard = {};
    if (query(file, &status, &basic, sizeof basic, kFileBasicInformation) < 0 ||
        query(file, &status, &standard, sizeof standard, kFileStandardInformation) < 0) {
        return false;
    }
    links->count = standard.numberOfLinks;
    links->reparsePoint = (basic.fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return true;
}

}  // namespace

ToolOutput::ToolOutput() : language_(userLanguage()) {}

ToolOutput::~ToolOutput() {
    closeLog();
}

void ToolOutput::closeLog() {
    if (log_ != INVALID_HANDLE_VALUE) CloseHandle(log_);
    log_ = INVALID_HANDLE_VALUE;
}

HANDLE ToolOutput::openLogFile(const WCHAR* path, DWORD disposition, DWORD share) {
    const NtFunctions& nt = NtFunctions::get();
    if (nt.available()) {
        // Append-only: each WriteFile lands whole at the end, whoever else
        // appends. A link is opened itself, not followed (NT 5 has reparse
        // points; NT 4 knows neither them nor the flag). A pipe server named
        // as the log learns who we are, never acts as us.
        const DWORD version = GetVersion();
        const DWORD flags = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT |
                            SECURITY_IDENTIFICATION |
                            (LOBYTE(LOWORD(version)) >= 5 ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
        return nt.createFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share,
                              nullptr, disposition, flags, nullptr);
    }
    char ansi[MAX_PATH];
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, MAX_PATH, nullptr, &lossy);
    if (n <= 0 || lossy) {
        SetLastError(n > 0 ? ERROR_INVALID_NAME : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    lockToAppend_ = true;
    return CreateFileA(ansi, GENERIC_WRITE, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

ToolOutput::LogOpen ToolOutput::checkLog(DWORD* error) {
    // Only a plain disk file: not a device or a pipe, and not a file with a
    // second name or a reparse point, where the lines would land in a file
    // someone else chose.
    if (GetFileType(log_) != FILE_TYPE_DISK) {
        *error = ERROR_BAD_FILE_TYPE;
        closeLog();
        return LogOpen::Failed;
    }
    FileLinks links;
    if (NtFunctions::get().available() && !queryLinks(log_, &links)) {
        *error = ERROR_INVALID_FUNCTION;
        closeLog();
        return LogOpen::Failed;
    }
    if (links.count > 1 || links.reparsePoint) {
        closeLog();
        return LogOpen::Linked;
    }
    return LogOpen::Opened;
}

ToolOutput::LogOpen ToolOutput::openLog(const WCHAR* path, DWORD* error) {
    // A new log starts with the byte order mark, so every editor reads it as
    // UTF-8; only the run that made the file writes it. That run lets no one
    // else write until the mark is in, then opens the log again as any other
    // run does (with sharing that lets runs append to it at the same time).
    bool made = false;  // by this run, with its mark
    for (int attempt = 0; attempt < 200; ++attempt) {
        bool creating = false;
        if (!made) {
            log_ = openLogFile(path, CREATE_NEW, FILE_SHARE_READ);
            creating = log_ != INVALID_HANDLE_VALUE;
            if (!creating && GetLastError() != ERROR_FILE_EXISTS) {
                *error = GetLastError();
                return LogOpen::Failed;
            }
        }
        if (!creating) log_ = openLogFile(path, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (log_ == INVALID_HANDLE_VALUE) {
            const DWORD openError = GetLastError();
            // Another run is writing the mark into the log it made, or the
            // log went away between the two opens.
            if (openError == ERROR_SHARING_VIOLATION || openError == ERROR_FILE_NOT_FOUND) {
                made = false;
                Sleep(10);
                continue;
            }
            *error = openError;
            return LogOpen::Failed;
        }
        const LogOpen checked = checkLog(error);
        if (checked != LogOpen::Opened || !creating) return checked;
        append("\xEF\xBB\xBF", 3);
        closeLog();
        made = true;
    }
    *error = ERROR_SHARING_VIOLATION;
    return LogOpen::Failed;
}

void ToolOutput::append(const char* bytes, DWORD size) {
    // A byte no log reaches (logs stay far below 4 GB), locked by whichever
    // run writes; another run waits for it a little, then writes anyway.
    constexpr DWORD kLockOffset = 0xFFFFFFFEu;
    bool locked = false;
    if (lockToAppend_) {
        for (int attempt = 0; attempt < 200 && !locked; ++attempt) {
            locked = LockFile(log_, kLockOffset, 0, 1, 0) != FALSE;
            if (!locked) Sleep(10);
        }
    }
    // Needless where the file is open for appending only; a file system that
    // ignores that still gets the line at its end.
    SetFilePointer(log_, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(log_, bytes, size, &written, nullptr);
    if (locked) UnlockFile(log_, kLockOffset, 0, 1, 0);
}

void ToolOutput::appendString(WideLine& line, int textId) const {
    const WCHAR* text = nullptr;
    int length = 0;
    if (findString(language_, textId, &text, &length) ||
        findString(kEnglish, textId, &text, &length)) {
        line.append(text, length);
    }
}

void ToolOutput::line(Stream stream, int textId, const char* detail) {
    WideLine text;
    appendString(text, textId);
    text.appendUtf8(detail);
    emit(stream, text, true);
}

void ToolOutput::lineWide(Stream stream, int textId, const WCHAR* detail) {
    WideLine text;
    appendString(text, textId);
    text.append(detail);
    emit(stream, text, true);
}

void ToolOutput::logOnly(int textId, const WCHAR* detail) {
    WideLine text;
    appendString(text, textId);
    text.append(detail);
    emit(Stream::Err, text, false);
}

void ToolOutput::failure(int textId, const char* detail, std::uint32_t error) {
    WideLine text;
    appendString(text, textId);
    text.appendUtf8(detail);
    text.append(L" (");
    appendString(text, IDS_DEPLOY_ERROR_WORD);
    text.appendNumber(error);
    // The system's own words, on one line.
    WCHAR words[512] = {};
    DWORD n = 0;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const NtFunctions& nt = NtFunctions::get();
    if (nt.available()) {
        n = nt.formatMessageW(flags, nullptr, error, 0, words, 512, nullptr);
    } else {
        char ansi[512] = {};
        if (FormatMessageA(flags, nullptr, error, 0, ansi, 512, nullptr) > 0) {
            n = static_cast<DWORD>(MultiByteToWideChar(CP_ACP, 0, ansi, -1, words, 512));
        }
    }
    if (n > 0) {
        for (WCHAR& c : words) {
            if (c == L'\r' || c == L'\n') c = L' ';
        }
        int end = lstrlenW(words);
        while (end > 0 && words[end - 1] == L' ') --end;
        text.append(L": ");
        text.append(words, end);
    }
    text.append(L")");
    emit(Stream::Err, text, true);
    if (error == ERROR_ACCESS_DENIED) {
        WideLine advice;
        appendString(advice, IDS_DEPLOY_ADVICE_ADMIN);
        emit(Stream::Err, advice, true);
    }
}

void ToolOutput::plain(const char* text) {
    WideLine line;
    line.appendUtf8(text);
    emit(Stream::Out, line, true);
}

void ToolOutput::emit(Stream stream, const WideLine& line, bool toConsole) {
    if (toConsole) {
        write(stream, line.c_str(), line.size());
        write(stream, L"\r\n", 2);
    }
    log(line);
}

void ToolOutput::write(Stream stream, const WCHAR* text, int length) {
    const HANDLE handle =
        GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || length <= 0) return;
    DWORD mode = 0;
    DWORD written = 0;
    // A console shows UTF-16 whatever its code page.
    const NtFunctions& nt = NtFunctions::get();
    if (nt.available() && GetConsoleMode(handle, &mode)) {
        nt.writeConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    // Redirected: the console's code page, which is what cmd and PowerShell
    // read a program's output in; UTF-8 when there is no console at all.
    static char bytes[WideLine::kCapacity * 4];
    const UINT codePage = GetConsoleOutputCP();
    int n = 0;
    if (codePage == 0 || codePage == CP_UTF8) {
        n = static_cast<int>(utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(text),
                                         static_cast<std::size_t>(length), bytes, sizeof bytes));
        if (n == static_cast<int>(sizeof bytes)) n = lstrlenA(bytes);
    } else {
        n = WideCharToMultiByte(codePage, 0, text, length, bytes, sizeof bytes, nullptr, nullptr);
    }
    if (n > 0) WriteFile(handle, bytes, static_cast<DWORD>(n), &written, nullptr);
}

void ToolOutput::log(const WideLine& line) {
    if (log_ == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    WideLine stamped;
    const WORD fields[] = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    const WCHAR* separators[] = {L"-", L"-", L" ", L":", L":", L" "};
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && fields[i] < 10) stamped.append(L"0");
        stamped.appendNumber(fields[i]);
        stamped.append(separators[i]);
    }
    stamped.append(line.c_str(), line.size());
    stamped.append(L"\r\n");
    static char bytes[WideLine::kCapacity * 4];
    std::size_t n = utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(stamped.c_str()),
                                static_cast<std::size_t>(stamped.size()), bytes, sizeof bytes);
    if (n == sizeof bytes) n = static_cast<std::size_t>(lstrlenA(bytes));
    // One write per line: another run may append to the same file.
    append(bytes, static_cast<DWORD>(n));
}

}  // namespace setup
