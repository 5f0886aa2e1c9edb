#include "tests/support/system_state.h"

#include <winspool.h>

#include <set>
#include <utility>

#include "catalogue/model_catalogue.h"
#include "tests/support/wine_support.h"

namespace setup::winetest {

const wchar_t kUserWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kUserDevicesKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
const wchar_t kUserPrinterPortsKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";
const wchar_t kPortsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const wchar_t kClassPortsKey[] = L"System\\CurrentControlSet\\Services\\Class\\Ports";
const wchar_t kFirstPortKey[] = L"System\\CurrentControlSet\\Services\\Class\\Ports\\0000";
const wchar_t kOtherPortsKey[] = L"System\\CurrentControlSet\\Services\\Class\\Ports\\0001";

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

DriverRecord toRecord(const DRIVER_INFO_3W& info) {
    DriverRecord record;
    record.name = text(info.pName);
    record.environment = text(info.pEnvironment);
    record.version = info.cVersion;
    record.driverPath = text(info.pDriverPath);
    record.dataFile = text(info.pDataFile);
    record.configFile = text(info.pConfigFile);
    record.helpFile = text(info.pHelpFile);
    record.dependentFiles = multiText(info.pDependentFiles);
    record.defaultDataType = text(info.pDefaultDataType);
    return record;
}

// The files every NT and every 9x installation copies besides the model's own.
const wchar_t* const kNtCommonFiles[] = {L"uniDRVui.DLL", L"uniDRV.DLL", L"UNIDRV.HLP",
                                         L"UNIRES.DLL",   L"TTFSUB.GPD", L"STDNAMES.GPD"};

bool isPackageFile(const std::wstring& name) {
    for (const auto* files : {&ntPackageFiles(), &win9xPackageFiles()}) {
        for (const std::wstring& packaged : *files) {
            if (lstrcmpiW(name.c_str(), packaged.c_str()) == 0) return true;
        }
    }
    return false;
}

}  // namespace

bool deletePrinter(const std::wstring& name) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, &access)) return false;
    const BOOL deleted = DeletePrinter(printer);
    ClosePrinter(printer);
    return deleted != FALSE;
}

// ---- The package, from the catalogue -------------------------------------------------

const std::vector<std::wstring>& modelNames() {
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> list;
        for (int i = 0; i < ModelCatalogue::kCount; ++i) {
            list.push_back(widen(ModelCatalogue::row(i).modelName));
        }
        return list;
    }();
    return names;
}

std::wstring modelEntry(int index) {
    return widen(ModelCatalogue::row(index).displayName);
}

const std::vector<std::wstring>& environments() {
    static const std::vector<std::wstring> names = {kNtEnvironment, k9xEnvironment,
                                                    kX64Environment};
    return names;
}

const std::vector<std::wstring>& ntPackageFiles() {
    static const std::vector<std::wstring> files = [] {
        std::vector<std::wstring> list;
        std::set<std::wstring> dlls;
        for (int i = 0; i < ModelCatalogue::kCount; ++i) {
            const std::wstring dll = widen(ModelCatalogue::row(i).driverBaseNt) + L".DLL";
            if (dlls.insert(dll).second) list.push_back(dll);
        }
        for (int i = 0; i < ModelCatalogue::kCount; ++i) {
            list.push_back(widen(ModelCatalogue::row(i).modelCode) + L".GPD");
        }
        list.insert(list.end(), std::begin(kNtCommonFiles), std::end(kNtCommonFiles));
        return list;
    }();
    return files;
}

const std::vector<std::wstring>& win9xPackageFiles() {
    static const std::vector<std::wstring> files = [] {
        std::vector<std::wstring> list;
        std::set<std::wstring> drivers;
        for (int i = 0; i < ModelCatalogue::kCount; ++i) {
            const std::wstring driver = widen(ModelCatalogue::row(i).driverBase9x) + L".DRV";
            if (drivers.insert(driver).second) list.push_back(driver);
        }
        for (const wchar_t* name : {L"iconlib.DLL", L"uniDRV.DLL", L"uniDRV.hlp"}) {
            list.emplace_back(name);
        }
        return list;
    }();
    return files;
}

std::vector<PackageCopy> ntCopies(int modelIndex) {
    const ModelRow& model = ModelCatalogue::row(modelIndex);
    std::vector<std::wstring> names = {widen(model.driverBaseNt) + L".DLL",
                                       widen(model.modelCode) + L".GPD"};
    names.insert(names.end(), std::begin(kNtCommonFiles), std::end(kNtCommonFiles));
    std::vector<PackageCopy> copies;
    for (const std::wstring& name : names) copies.push_back({L"win2k\\" + name, name});
    return copies;
}

std::vector<PackageCopy> win9xCopies(int modelIndex) {
    const std::wstring driver = widen(ModelCatalogue::row(modelIndex).driverBase9x) + L".DRV";
    return {{L"win9x\\" + driver, driver},
            {L"win9x\\iconlib.DLL", L"iconlib.DLL"},
            {L"win9x\\uniDRV.DLL", L"uniDRV.DLL"},
            {L"win9x\\uniDRV.hlp", L"uniDRV.HLP"}};
}

std::vector<std::wstring> installedNames(const std::vector<PackageCopy>& copies) {
    std::vector<std::wstring> names;
    for (const PackageCopy& copy : copies) names.push_back(copy.installed);
    return names;
}

// ---- Spooler ---------------------------------------------------------------------------

std::vector<DriverRecord> drivers(const wchar_t* environment) {
    DWORD count = 0;
    const std::vector<BYTE> buffer = enumerate(
        [environment](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 3, data, size,
                                       needed, returned);
        },
        &count);
    std::vector<DriverRecord> result;
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) result.push_back(toRecord(info[i]));
    return result;
}

std::optional<DriverRecord> findDriver(const wchar_t* environment, const std::wstring& name) {
    for (const DriverRecord& driver : drivers(environment)) {
        if (driver.name == name) return driver;
    }
    return std::nullopt;
}

std::vector<PrinterRecord> printers() {
    DWORD count = 0;
    const std::vector<BYTE> buffer = enumerate(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned);
        },
        &count);
    std::vector<PrinterRecord> result;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        PrinterRecord record;
        record.name = text(info[i].pPrinterName);
        record.port = text(info[i].pPortName);
        record.driver = text(info[i].pDriverName);
        record.printProcessor = text(info[i].pPrintProcessor);
        record.datatype = text(info[i].pDatatype);
        record.attributes = info[i].Attributes;
        result.push_back(record);
    }
    return result;
}

std::optional<PrinterRecord> findPrinter(const std::wstring& name) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, nullptr)) return std::nullopt;
    std::optional<PrinterRecord> record;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (needed != 0 && GetPrinterW(printer, 2, buffer.data(), needed, &needed)) {
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        record.emplace();
        record->name = text(info->pPrinterName);
        record->port = text(info->pPortName);
        record->driver = text(info->pDriverName);
        record->printProcessor = text(info->pPrintProcessor);
        record->datatype = text(info->pDatatype);
        record->attributes = info->Attributes;
        needed = 0;
        GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
        std::vector<BYTE> driver(needed ? needed : 1);
        if (needed != 0 && GetPrinterDriverW(printer, nullptr, 3, driver.data(), needed, &needed)) {
            record->driverRecord =
                toRecord(*reinterpret_cast<const DRIVER_INFO_3W*>(driver.data()));
        }
    }
    ClosePrinter(printer);
    return record;
}

std::wstring defaultPrinterName() {
    const std::optional<std::wstring> device =
        readRegistryText(HKEY_CURRENT_USER, kUserWindowsKey, L"Device");
    return device ? device->substr(0, device->find(L',')) : L"";
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

std::vector<std::wstring> packageFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : filesIn(folder)) {
        if (isPackageFile(name)) found.push_back(name);
    }
    return found;
}

std::vector<std::wstring> damagedDriverFiles() {
    std::vector<std::wstring> damaged;
    for (const std::wstring& environment : environments()) {
        for (const std::wstring& folder : driverFolders(environment.c_str())) {
            for (const std::wstring& name : packageFilesIn(folder)) {
                // Copies may change the name's case ("uniDRV.hlp" lands as
                // "uniDRV.HLP"): any placeholder of the same name will do.
                const std::optional<std::string> content = readFile(folder + L"\\" + name);
                bool whole = false;
                for (const auto* files : {&ntPackageFiles(), &win9xPackageFiles()}) {
                    for (const std::wstring& packaged : *files) {
                        whole = whole || (lstrcmpiW(name.c_str(), packaged.c_str()) == 0 &&
                                          content && *content == placeholderContent(packaged));
                    }
                }
                if (!whole) damaged.push_back(folder + L"\\" + name);
            }
        }
    }
    return damaged;
}

void removeInstallation() {
    // The NT path names its printer as the user's default even where the
    // printer could not be created; the spooler removes the value only with
    // the printer it names.
    const std::wstring device = defaultPrinterName();
    for (const std::wstring& model : modelNames()) {
        if (device != model) continue;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserWindowsKey, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, L"Device");
            RegCloseKey(key);
        }
    }
    for (const std::wstring& model : modelNames()) {
        deletePrinter(model);
        for (const std::wstring& environment : environments()) {
            DeletePrinterDriverW(nullptr, const_cast<LPWSTR>(environment.c_str()),
                                 const_cast<LPWSTR>(model.c_str()));
        }
    }
    for (const std::wstring& environment : environments()) {
        for (const std::wstring& folder : driverFolders(environment.c_str())) {
            for (const std::wstring& name : filesIn(folder)) {
                if (isPackageFile(name)) DeleteFileW((folder + L"\\" + name).c_str());
            }
        }
    }
}

// ---- Registry ------------------------------------------------------------------------

RegistryValue storedText(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

std::optional<RegistryValue> readRegistryValue(HKEY root, const std::wstring& key,
                                               const std::wstring& name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegistryValue value;
    DWORD size = 0;
    LONG error = RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (error == ERROR_SUCCESS) {
        value.data.assign(size, 0);
        error =
            RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(opened);
    if (error != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool writeRegistryText(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::wstring& text) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return false;
    const LONG result =
        RegSetValueExW(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}

std::optional<std::wstring> readRegistryText(HKEY root, const std::wstring& key,
                                             const std::wstring& name) {
    const std::optional<RegistryValue> value = readRegistryValue(root, key, name);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::wstring result(reinterpret_cast<const wchar_t*>(value->data.data()),
                        value->data.size() / sizeof(wchar_t));
    while (!result.empty() && result.back() == L'\0') result.pop_back();
    return result;
}

bool registryKeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, const std::wstring& key) : root_(root) {
    std::size_t end = 0;
    do {
        end = key.find(L'\\', end + 1);
        const std::wstring path = key.substr(0, end);
        if (registryKeyExists(root, path)) continue;
        HKEY created = nullptr;
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                            nullptr, &created, nullptr) != ERROR_SUCCESS) {
            return;
        }
        RegCloseKey(created);
        created_.push_back(path);
    } while (end != std::wstring::npos);
    ready_ = true;
}

ScopedRegistryKey::~ScopedRegistryKey() {
    // A test may have deleted one already; what is gone stays gone.
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
        RegDeleteTreeW(root_, it->c_str());
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

ReadOnlyKey::ReadOnlyKey(HKEY root, const std::wstring& key) {
    if (RegOpenKeyExW(root, key.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.assign(size ? size : 1, 0);
    if (RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS) {
        saved_.clear();  // nothing changed, nothing to give back
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

void ReadOnlyKey::makeWritable(HKEY root, const std::wstring& key) {
    HKEY probe = nullptr;
    const LONG error = RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &probe);
    if (error == ERROR_SUCCESS) RegCloseKey(probe);
    if (error != ERROR_ACCESS_DENIED) return;
    // The owner may always change the security; everyone gets full access,
    // as a key made by this user has.
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, WRITE_DAC, &opened) != ERROR_SUCCESS) return;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    BYTE aclBuffer[256];
    auto* acl = reinterpret_cast<ACL*>(aclBuffer);
    SECURITY_DESCRIPTOR open;
    if (CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) &&
        InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&open, TRUE, acl, FALSE)) {
        RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, &open);
    }
    RegCloseKey(opened);
}

MovedAside::MovedAside(std::wstring path, std::wstring aside)
    : path_(std::move(path)), aside_(std::move(aside)) {
    ready_ = MoveFileW(path_.c_str(), aside_.c_str()) != 0;
}

MovedAside::~MovedAside() {
    if (ready_) MoveFileW(aside_.c_str(), path_.c_str());
}

ScopedFolder::ScopedFolder(std::wstring path) : path_(std::move(path)) {
    ready_ = CreateDirectoryW(path_.c_str(), nullptr) != 0;
}

ScopedFolder::~ScopedFolder() {
    if (ready_) RemoveDirectoryW(path_.c_str());
}

HeldFile::HeldFile(const std::wstring& path) {
    handle_ = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

HeldFile::~HeldFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

RestoredFile::RestoredFile(std::wstring path) : path_(std::move(path)), content_(readFile(path_)) {}

RestoredFile::~RestoredFile() {
    if (content_) {
        writeFile(path_, *content_);
    } else {
        DeleteFileW(path_.c_str());
    }
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
    // was none), and put back on destruction. One kept by a test that was
    // killed is put back first.
    const std::string saved = link_ + ".saved";
    ready_ = runUnixShell("{ [ ! -L '" + saved + "' ] || mv -f '" + saved + "' '" + link_ +
                          "'; } && { [ ! -L '" + link_ + "' ] || mv '" + link_ + "' '" + saved +
                          "'; } && ln -s '" + unixTarget + "' '" + link_ + "'");
}

Com1Mapping::~Com1Mapping() {
    if (link_.empty()) return;
    runUnixShell("rm -f '" + link_ + "' && { [ ! -L '" + link_ + ".saved' ] || mv '" + link_ +
                 ".saved' '" + link_ + "'; }");
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
            } else if (const std::optional<std::string> read = readFile(folder + L"\\" + name)) {
                content = *read;
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
            changes += "removed " + narrow(name) + "\n";
        } else if (now->second != content) {
            changes += "changed " + narrow(name) + "\n";
        }
    }
    for (const auto& entry : after) {
        if (before.count(entry.first) == 0) changes += "added " + narrow(entry.first) + "\n";
    }
    return changes;
}

}  // namespace setup::winetest
