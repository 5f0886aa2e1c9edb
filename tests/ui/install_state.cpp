#include "tests/ui/install_state.h"

#include <winspool.h>

#include <cstdio>

#include "tests/ui/setup_driver.h"

namespace ui {

const wchar_t kUserWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kUserDevicesKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
const wchar_t kUserPrinterPortsKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";
const wchar_t kPortsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const wchar_t kClassPortsKey[] = L"System\\CurrentControlSet\\Services\\Class\\Ports";

namespace {

std::wstring text(const wchar_t* value) {
    return value ? value : L"";
}

std::vector<std::wstring> multiText(const wchar_t* value) {
    std::vector<std::wstring> names;
    for (; value && *value; value += lstrlenW(value) + 1) names.emplace_back(value);
    return names;
}

// The spooler's two-call pattern: ask for the size, then fill.
template <typename Call>
std::vector<BYTE> enumerate(Call call, DWORD* count) {
    DWORD needed = 0;
    *count = 0;
    call(nullptr, 0, &needed, count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!call(buffer.data(), static_cast<DWORD>(buffer.size()), &needed, count)) *count = 0;
    return buffer;
}

}  // namespace

const std::vector<std::wstring>& modelNames() {
    static const std::vector<std::wstring> names = {
        L"QM-4712II", L"QM-4712III", L"QM-4716II",  L"QM-4718II",  L"QM-4718III",
        L"QM-4720",   L"QM-4720X",   L"QM-4720II",  L"QM-47250",   L"QM-4720XII",
        L"QM-4706",   L"QM-47240",   L"QM-47240II", L"QM-4716III", L"QM-4720XIII"};
    return names;
}

const std::vector<std::wstring>& environments() {
    static const std::vector<std::wstring> names = {L"Windows NT x86", L"Windows 4.0",
                                                    L"Windows x64"};
    return names;
}

std::vector<DriverView> drivers(const wchar_t* environment) {
    DWORD count = 0;
    const std::vector<BYTE> buffer = enumerate(
        [environment](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 3, data, size,
                                       needed, returned);
        },
        &count);
    std::vector<DriverView> result;
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        DriverView view;
        view.name = text(info[i].pName);
        view.environment = text(info[i].pEnvironment);
        view.version = info[i].cVersion;
        view.driverPath = text(info[i].pDriverPath);
        view.dataFile = text(info[i].pDataFile);
        view.configFile = text(info[i].pConfigFile);
        view.helpFile = text(info[i].pHelpFile);
        view.dependentFiles = multiText(info[i].pDependentFiles);
        result.push_back(view);
    }
    return result;
}

bool findDriver(const wchar_t* environment, const std::wstring& name, DriverView* out) {
    for (const DriverView& driver : drivers(environment)) {
        if (driver.name == name) {
            if (out) *out = driver;
            return true;
        }
    }
    return false;
}

std::vector<PrinterView> printers() {
    DWORD count = 0;
    const std::vector<BYTE> buffer = enumerate(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned);
        },
        &count);
    std::vector<PrinterView> result;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        result.push_back({text(info[i].pPrinterName), text(info[i].pPortName),
                          text(info[i].pDriverName), info[i].Attributes});
    }
    return result;
}

bool findPrinter(const std::wstring& name, PrinterView* out) {
    for (const PrinterView& printer : printers()) {
        if (printer.name == name) {
            if (out) *out = printer;
            return true;
        }
    }
    return false;
}

std::wstring defaultPrinter() {
    wchar_t name[256];
    DWORD size = 256;
    return GetDefaultPrinterW(name, &size) ? name : L"";
}

std::wstring driverDirectory(const wchar_t* environment) {
    wchar_t path[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(environment), 1,
                                    reinterpret_cast<BYTE*>(path), sizeof path, &needed)) {
        return L"";
    }
    return path;
}

std::vector<std::wstring> driverFolders(const wchar_t* environment) {
    const std::wstring base = driverDirectory(environment);
    if (base.empty()) return {};
    return {base, base + L"\\3", base + L"\\0"};
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

bool readFile(const std::wstring& path, std::string* content) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    content->clear();
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        content->append(buffer, n);
    std::fclose(file);
    return true;
}

bool readRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* type,
                       std::vector<BYTE>* data) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG error = RegQueryValueExW(opened, name.c_str(), nullptr, type, nullptr, &size);
    if (error == ERROR_SUCCESS) {
        data->assign(size, 0);
        error = RegQueryValueExW(opened, name.c_str(), nullptr, type, data->data(), &size);
        data->resize(size);
    }
    RegCloseKey(opened);
    return error == ERROR_SUCCESS;
}

bool readRegistryText(HKEY root, const std::wstring& key, const std::wstring& name,
                      std::wstring* value) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readRegistryValue(root, key, name, &type, &data) || type != REG_SZ) return false;
    value->assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!value->empty() && value->back() == L'\0') value->pop_back();
    return true;
}

bool registryKeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

void removeInstallation() {
    for (const std::wstring& model : modelNames()) {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (OpenPrinterW(const_cast<LPWSTR>(model.c_str()), &printer, &access)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
        for (const std::wstring& environment : environments()) {
            DeletePrinterDriverW(nullptr, const_cast<LPWSTR>(environment.c_str()),
                                 const_cast<LPWSTR>(model.c_str()));
        }
    }
    for (const std::wstring& environment : environments()) {
        for (const std::wstring& folder : driverFolders(environment.c_str())) {
            for (const auto* files : {&PackageFolder::ntFiles(), &PackageFolder::win9xFiles()}) {
                for (const std::wstring& name : *files)
                    DeleteFileW((folder + L"\\" + name).c_str());
            }
        }
    }
}

RegistryKeyGuard::RegistryKeyGuard(HKEY root, std::wstring key)
    : root_(root), key_(std::move(key)) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return;
    existed_ = true;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(opened, index, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        Value value{name, type, std::vector<BYTE>(size)};
        nameLength = 16384;
        RegEnumValueW(opened, index, name, &nameLength, nullptr, &type, value.data.data(), &size);
        values_.push_back(value);
    }
    RegCloseKey(opened);
}

RegistryKeyGuard::~RegistryKeyGuard() {
    if (!existed_) {
        RegDeleteTreeW(root_, key_.c_str());
        return;
    }
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &opened, nullptr) != ERROR_SUCCESS) {
        return;
    }
    // Values added since go; the recorded ones come back as they were.
    std::vector<std::wstring> added;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        if (RegEnumValueW(opened, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        bool recorded = false;
        for (const Value& value : values_)
            recorded = recorded || lstrcmpiW(value.name.c_str(), name) == 0;
        if (!recorded) added.emplace_back(name);
    }
    for (const std::wstring& name : added) RegDeleteValueW(opened, name.c_str());
    for (const Value& value : values_) {
        RegSetValueExW(opened, value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    }
    RegCloseKey(opened);
}

namespace {

void snapshotInto(const std::wstring& folder, const std::wstring& prefix, bool deep,
                  std::map<std::wstring, std::string>* out) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*out)[prefix + name + L"\\"] = "";
            if (deep) snapshotInto(folder + L"\\" + name, prefix + name + L"\\", deep, out);
        } else {
            std::string content = "(unreadable)";
            // Sizes stand in for contents of files too large to matter here.
            if (found.nFileSizeHigh != 0 || found.nFileSizeLow > (1u << 20)) {
                content = "(size " + std::to_string(found.nFileSizeLow) + ")";
            } else {
                readFile(folder + L"\\" + name, &content);
            }
            (*out)[prefix + name] = content;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

FolderSnapshot folderSnapshot(const std::wstring& folder, bool deep) {
    FolderSnapshot snapshot;
    snapshotInto(folder, L"", deep, &snapshot);
    return snapshot;
}

std::string snapshotChanges(const FolderSnapshot& before, const FolderSnapshot& after) {
    std::string changes;
    for (const auto& [name, content] : before) {
        const auto now = after.find(name);
        if (now == after.end()) {
            changes += "removed " + setup::winetest::narrow(name) + "\n";
        } else if (now->second != content) {
            changes += "changed " + setup::winetest::narrow(name) + "\n";
        }
    }
    for (const auto& entry : after) {
        if (before.count(entry.first) == 0)
            changes += "added " + setup::winetest::narrow(entry.first) + "\n";
    }
    return changes;
}

std::vector<std::wstring> damagedDriverFiles() {
    std::vector<std::wstring> damaged;
    for (const std::wstring& environment : environments()) {
        for (const std::wstring& folder : driverFolders(environment.c_str())) {
            for (const std::wstring& name : filesIn(folder)) {
                bool ours = false;
                bool whole = false;
                std::string content;
                const bool read = readFile(folder + L"\\" + name, &content);
                // Copies may change the name's case ("uniDRV.hlp" lands as
                // "uniDRV.HLP"): any placeholder of the same name will do.
                for (const auto* files :
                     {&PackageFolder::ntFiles(), &PackageFolder::win9xFiles()}) {
                    for (const std::wstring& packaged : *files) {
                        if (lstrcmpiW(name.c_str(), packaged.c_str()) != 0) continue;
                        ours = true;
                        whole = whole || (read && content == PackageFolder::placeholderContent(packaged));
                    }
                }
                if (ours && !whole) damaged.push_back(folder + L"\\" + name);
            }
        }
    }
    return damaged;
}

ReadOnlyKey::ReadOnlyKey(HKEY root, const std::wstring& key) {
    if (RegOpenKeyExW(root, key.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.assign(size ? size : 1, 0);
    if (RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) !=
        ERROR_SUCCESS) {
        return;
    }
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    BYTE aclBuffer[256];
    auto* acl = reinterpret_cast<ACL*>(aclBuffer);
    SECURITY_DESCRIPTOR readOnly;
    ready_ = CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) &&
             InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
             AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone) &&
             InitializeSecurityDescriptor(&readOnly, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorDacl(&readOnly, TRUE, acl, FALSE) &&
             RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &readOnly) == ERROR_SUCCESS;
}

ReadOnlyKey::~ReadOnlyKey() {
    if (!key_) return;
    if (!saved_.empty()) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
    RegCloseKey(key_);
}

namespace {

// ntdll's way for Wine's own programs to run a Unix command.
using UnixSpawn = LONG(WINAPI*)(char* const* argv, int wait);

bool runUnixShell(const std::string& script) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto spawn = ntdll ? reinterpret_cast<UnixSpawn>(reinterpret_cast<void*>(
                                   GetProcAddress(ntdll, "__wine_unix_spawnvp")))
                             : nullptr;
    if (!spawn) return false;
    std::string copy = script;
    char shell[] = "/bin/sh";
    char flag[] = "-c";
    char* const argv[] = {shell, flag, &copy[0], nullptr};
    return spawn(argv, TRUE) == 0;
}

}  // namespace

Com1Mapping::Com1Mapping(const char* unixTarget) {
    char prefix[1024];
    const DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (n == 0 || n >= sizeof prefix || prefix[0] != '/') return;
    link_ = std::string(prefix) + "/dosdevices/com1";
    // The original link is kept beside it, whatever it was (or that there
    // was none), and put back on destruction.
    ready_ = runUnixShell("rm -f '" + link_ + ".saved' && { [ ! -L '" + link_ + "' ] || mv '" +
                          link_ + "' '" + link_ + ".saved'; } && ln -s '" + unixTarget + "' '" +
                          link_ + "'");
}

Com1Mapping::~Com1Mapping() {
    if (link_.empty()) return;
    runUnixShell("rm -f '" + link_ + "' && { [ ! -L '" + link_ + ".saved' ] || mv '" + link_ +
                 ".saved' '" + link_ + "'; }");
}

}  // namespace ui
