#include "tests/support/wine_support.h"

#include <winspool.h>

#include <cstring>
#include <utility>

namespace setup::winetest {
namespace {

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string text(const char* s) {
    return s ? s : "";
}

DriverRecord toRecord(const DRIVER_INFO_3A& info) {
    DriverRecord record;
    record.version = info.cVersion;
    record.name = text(info.pName);
    record.environment = text(info.pEnvironment);
    record.driverPath = text(info.pDriverPath);
    record.dataFile = text(info.pDataFile);
    record.configFile = text(info.pConfigFile);
    record.helpFile = text(info.pHelpFile);
    for (const char* p = info.pDependentFiles; p && *p; p += std::strlen(p) + 1) {
        record.dependentFiles.emplace_back(p);
    }
    record.defaultDataType = text(info.pDefaultDataType);
    return record;
}

std::wstring windowText(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring result(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(window, WM_GETTEXT, result.size(), reinterpret_cast<LPARAM>(&result[0]));
    result.resize(static_cast<std::size_t>(copied));
    return result;
}

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

// ---- Files --------------------------------------------------------------------

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

void removeTree(const std::string& folder) {
    const int n = MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, &wide[0], n);
    if (!wide.empty()) removeTree(wide);
}

std::vector<std::string> subfoldersOf(const std::string& folder) {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return folders;
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
            folders.push_back(folder + "\\" + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return folders;
}

std::string placeholderContent(const std::string& relativePath) {
    return "placeholder driver file " + relativePath + "\r\n";
}

WorkFolder::WorkFolder() {
    char temp[MAX_PATH] = {};
    char current[MAX_PATH] = {};
    if (!GetTempPathA(MAX_PATH, temp) || !GetCurrentDirectoryA(MAX_PATH, current)) return;
    previous_ = current;
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    base += "\\setup-wine-test-" + std::to_string(GetCurrentProcessId());
    // A folder of the same name may remain from a run that was killed.
    removeTree(base);
    if (!CreateDirectoryA(base.c_str(), nullptr) || !SetCurrentDirectoryA(base.c_str())) return;
    path_ = base;
    ready_ = true;
}

WorkFolder::~WorkFolder() {
    if (!previous_.empty()) SetCurrentDirectoryA(previous_.c_str());
    if (!path_.empty()) removeTree(path_);
}

bool WorkFolder::addPlaceholder(const std::string& relativePath) {
    const std::string folder = parentOf(relativePath);
    if (!folder.empty()) CreateDirectoryA((path_ + "\\" + folder).c_str(), nullptr);
    return writeFile(path_ + "\\" + relativePath, placeholderContent(relativePath));
}

std::optional<std::string> readFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
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

bool writeFile(const std::string& path, const std::string& content) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    CloseHandle(file);
    return ok;
}

std::string storedFileName(const std::string& path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    FindClose(search);
    return found.cFileName;
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string printerDriverDirectory(const char* environment) {
    char buffer[MAX_PATH] = {};
    DWORD needed = 0;
    SetLastError(0);
    if (!GetPrinterDriverDirectoryA(nullptr, const_cast<LPSTR>(environment), 1,
                                    reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed)) {
        return {};
    }
    return buffer;
}

// ---- Spooler ------------------------------------------------------------------

std::optional<DriverRecord> findDriver(const char* environment, const std::string& name) {
    LPSTR env = const_cast<LPSTR>(environment);
    DWORD needed = 0;
    DWORD count = 0;
    SetLastError(0);
    EnumPrinterDriversA(nullptr, env, 3, nullptr, 0, &needed, &count);
    if (needed == 0) return std::nullopt;
    std::vector<BYTE> buffer(needed);
    SetLastError(0);
    if (!EnumPrinterDriversA(nullptr, env, 3, buffer.data(), needed, &needed, &count)) {
        return std::nullopt;
    }
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (text(drivers[i].pName) == name) return toRecord(drivers[i]);
    }
    return std::nullopt;
}

std::optional<PrinterRecord> findPrinter(const std::string& name) {
    HANDLE printer = nullptr;
    SetLastError(0);
    if (!OpenPrinterA(const_cast<LPSTR>(name.c_str()), &printer, nullptr)) return std::nullopt;
    PrinterRecord record;
    DWORD needed = 0;
    SetLastError(0);
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    SetLastError(0);
    if (needed == 0 || !GetPrinterA(printer, 2, buffer.data(), needed, &needed)) {
        ClosePrinter(printer);
        return std::nullopt;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    record.name = text(info->pPrinterName);
    record.port = text(info->pPortName);
    record.driverName = text(info->pDriverName);
    record.printProcessor = text(info->pPrintProcessor);
    record.datatype = text(info->pDatatype);
    record.attributes = info->Attributes;

    needed = 0;
    SetLastError(0);
    GetPrinterDriverA(printer, nullptr, 3, nullptr, 0, &needed);
    if (needed != 0) {
        std::vector<BYTE> driver(needed);
        SetLastError(0);
        if (GetPrinterDriverA(printer, nullptr, 3, driver.data(), needed, &needed)) {
            record.driver = toRecord(*reinterpret_cast<const DRIVER_INFO_3A*>(driver.data()));
        }
    }
    ClosePrinter(printer);
    return record;
}

InstallationCleanup::InstallationCleanup(std::string model, std::string environment,
                                         std::vector<std::string> files)
    : model_(std::move(model)), environment_(std::move(environment)), files_(std::move(files)) {
    run();
}

InstallationCleanup::~InstallationCleanup() {
    run();
}

void InstallationCleanup::run() const {
    PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    SetLastError(0);
    if (OpenPrinterA(const_cast<LPSTR>(model_.c_str()), &printer, &access)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    SetLastError(0);
    DeletePrinterDriverA(nullptr, const_cast<LPSTR>(environment_.c_str()),
                         const_cast<LPSTR>(model_.c_str()));
    for (const char* environment : {environment_.c_str(), static_cast<const char*>(nullptr)}) {
        const std::string directory = printerDriverDirectory(environment);
        if (directory.empty()) continue;
        std::vector<std::string> folders = subfoldersOf(directory);
        folders.push_back(directory);
        for (const std::string& folder : folders) {
            for (const std::string& name : files_) DeleteFileA((folder + "\\" + name).c_str());
        }
    }
}

// ---- Registry -----------------------------------------------------------------

std::optional<RegistryValue> readRegistryValue(HKEY root, const std::string& subKey,
                                               const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegistryValue value;
    DWORD size = 0;
    LONG error = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (error == ERROR_SUCCESS) {
        // One spare byte: the A call may terminate a string it converts.
        std::string data(size + 1, '\0');
        error = RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                                 reinterpret_cast<LPBYTE>(&data[0]), &size);
        value.data = data.substr(0, size);
    }
    RegCloseKey(key);
    if (error != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool registryKeyExists(HKEY root, const std::string& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, const std::string& subKey) : root_(root) {
    std::size_t end = 0;
    do {
        end = subKey.find('\\', end + 1);
        const std::string path = subKey.substr(0, end);
        if (registryKeyExists(root, path)) continue;
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        RegCloseKey(key);
        created_.push_back(path);
    } while (end != std::string::npos);
    ready_ = true;
}

ScopedRegistryKey::~ScopedRegistryKey() {
    // A test may have deleted one already; what is gone stays gone.
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
        RegDeleteKeyA(root_, it->c_str());
    }
}

RegistryValueRestorer::RegistryValueRestorer(HKEY root, std::string subKey, std::string name)
    : root_(root),
      subKey_(std::move(subKey)),
      name_(std::move(name)),
      original_(readRegistryValue(root_, subKey_, name_)) {}

RegistryValueRestorer::~RegistryValueRestorer() {
    HKEY key = nullptr;
    if (original_) {
        if (RegCreateKeyExA(root_, subKey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        RegSetValueExA(key, name_.c_str(), 0, original_->type,
                       reinterpret_cast<const BYTE*>(original_->data.data()),
                       static_cast<DWORD>(original_->data.size()));
    } else {
        if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
            return;
        }
        RegDeleteValueA(key, name_.c_str());
    }
    RegCloseKey(key);
}

// ---- System interface ---------------------------------------------------------

std::uint32_t ForwardingSystem::getPrinterDriverDirectory(const char* environment, char* buffer,
                                                          std::uint32_t bufferSize,
                                                          std::uint32_t* needed) {
    return inner_.getPrinterDriverDirectory(environment, buffer, bufferSize, needed);
}
std::uint32_t ForwardingSystem::copyFile(const char* source, const char* destination,
                                         bool failIfExists) {
    return inner_.copyFile(source, destination, failIfExists);
}
bool ForwardingSystem::fileExists(const char* path) {
    return inner_.fileExists(path);
}
std::uint32_t ForwardingSystem::addPrinterDriver(const DriverInfo3& info) {
    return inner_.addPrinterDriver(info);
}
std::uint32_t ForwardingSystem::addPrinter(const PrinterInfo2& info, SysHandle* printer) {
    return inner_.addPrinter(info, printer);
}
void ForwardingSystem::closePrinter(SysHandle printer) {
    inner_.closePrinter(printer);
}
std::uint32_t ForwardingSystem::regOpenKeyForSet(RegistryRoot root, const char* subKey,
                                                 SysHandle* key) {
    return inner_.regOpenKeyForSet(root, subKey, key);
}
std::uint32_t ForwardingSystem::regSetValue(SysHandle key, const char* name, std::uint32_t type,
                                            const std::uint8_t* data, std::uint32_t size) {
    return inner_.regSetValue(key, name, type, data, size);
}
void ForwardingSystem::regCloseKey(SysHandle key) {
    inner_.regCloseKey(key);
}
std::uint32_t ForwardingSystem::openSerialPort(const char* name, SysHandle* port) {
    return inner_.openSerialPort(name, port);
}
std::uint32_t ForwardingSystem::getCommState(SysHandle port, std::uint8_t* dcb28) {
    return inner_.getCommState(port, dcb28);
}
void ForwardingSystem::closeHandle(SysHandle handle) {
    inner_.closeHandle(handle);
}
std::uint32_t ForwardingSystem::openPrinter(const char* name, SysHandle* printer) {
    return inner_.openPrinter(name, printer);
}
std::uint32_t ForwardingSystem::deletePrinter(SysHandle printer) {
    return inner_.deletePrinter(printer);
}
std::uint32_t ForwardingSystem::deletePrinterDriverEx(const char* environment, const char* name,
                                                      std::uint32_t flags) {
    return inner_.deletePrinterDriverEx(environment, name, flags);
}
std::uint32_t ForwardingSystem::deletePrinterDriver(const char* environment, const char* name) {
    return inner_.deletePrinterDriver(environment, name);
}
std::uint32_t ForwardingSystem::enumPrinterDrivers(const char* environment, DriverVisitor visit,
                                                   void* context) {
    return inner_.enumPrinterDrivers(environment, visit, context);
}
std::uint32_t ForwardingSystem::enumPrinters(PrinterVisitor visit, void* context) {
    return inner_.enumPrinters(visit, context);
}
std::uint32_t ForwardingSystem::getProfileString(const char* section, const char* key, char* buffer,
                                                 std::uint32_t size) {
    return inner_.getProfileString(section, key, buffer, size);
}
std::uint32_t ForwardingSystem::writeProfileString(const char* section, const char* key,
                                                   const char* value) {
    return inner_.writeProfileString(section, key, value);
}
std::uint32_t ForwardingSystem::deleteFile(const char* path) {
    return inner_.deleteFile(path);
}
void ForwardingSystem::showMessage(const char* textCp936) {
    inner_.showMessage(textCp936);
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

std::wstring applicationCaption() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

// ---- Reports ------------------------------------------------------------------

const char* stepName(InstallStep step) {
    switch (step) {
        case InstallStep::InvalidSelection:
            return "InvalidSelection";
        case InstallStep::DriverDirectory:
            return "DriverDirectory";
        case InstallStep::CopyFile:
            return "CopyFile";
        case InstallStep::AddPrinterDriver:
            return "AddPrinterDriver";
        case InstallStep::AddPrinter:
            return "AddPrinter";
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

}  // namespace setup::winetest
