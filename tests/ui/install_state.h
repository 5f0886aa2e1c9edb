// What an installation leaves behind, read back through the spooler, the
// file system and the registry; and the clean-up that removes it again.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace ui {

// The printer family's model names, as drivers and printers are named.
const std::vector<std::wstring>& modelNames();
// The spooler environments a run can install into.
const std::vector<std::wstring>& environments();

struct DriverView {
    std::wstring name;
    std::wstring environment;
    DWORD version = 0;
    std::wstring driverPath;
    std::wstring dataFile;
    std::wstring configFile;
    std::wstring helpFile;
    std::vector<std::wstring> dependentFiles;
};
std::vector<DriverView> drivers(const wchar_t* environment);
bool findDriver(const wchar_t* environment, const std::wstring& name, DriverView* out = nullptr);

struct PrinterView {
    std::wstring name;
    std::wstring port;
    std::wstring driver;
    DWORD attributes = 0;
};
std::vector<PrinterView> printers();
bool findPrinter(const std::wstring& name, PrinterView* out = nullptr);
std::wstring defaultPrinter();

std::wstring driverDirectory(const wchar_t* environment);
// The folder and the version subfolders the spooler copies into ("3", "0").
std::vector<std::wstring> driverFolders(const wchar_t* environment);
std::vector<std::wstring> filesIn(const std::wstring& folder);
bool readFile(const std::wstring& path, std::string* content);

// Every file and folder under `folder` by relative path ("sub\" for a
// folder), with each file's content: two snapshots compare equal when
// nothing was added, removed or changed. Not recursive when `deep` is false.
using FolderSnapshot = std::map<std::wstring, std::string>;
FolderSnapshot folderSnapshot(const std::wstring& folder, bool deep = true);
// What differs between two snapshots, one entry per line ("added x",
// "removed x", "changed x"); empty when they are equal.
std::string snapshotChanges(const FolderSnapshot& before, const FolderSnapshot& after);

// Files of ours in the driver folders of every environment that are not
// byte for byte one of our placeholders: half-written or foreign copies.
std::vector<std::wstring> damagedDriverFiles();

// Registry values, or false when the key or the value is missing.
bool readRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* type,
                       std::vector<BYTE>* data);
bool readRegistryText(HKEY root, const std::wstring& key, const std::wstring& name,
                      std::wstring* text);
bool registryKeyExists(HKEY root, const std::wstring& key);

// Removes every printer, driver and driver file of the family from every
// environment, whatever a run (or an earlier, interrupted one) left.
void removeInstallation();

// The registry places an installation writes, and where the spooler itself
// keeps per-user printer lists.
extern const wchar_t kUserWindowsKey[];  // HKCU, value "Device"
extern const wchar_t kUserDevicesKey[];
extern const wchar_t kUserPrinterPortsKey[];
extern const wchar_t kPortsKey[];       // HKLM, values "COM1:" to "COM4:"
extern const wchar_t kClassPortsKey[];  // HKLM, subkeys 0000 and 0001, value "DCB"

// Puts a registry key back as it was: deletes it if it did not exist, or
// restores its values (and removes values added since). Subkeys are left.
class RegistryKeyGuard {
public:
    RegistryKeyGuard(HKEY root, std::wstring key);
    ~RegistryKeyGuard();
    RegistryKeyGuard(const RegistryKeyGuard&) = delete;
    RegistryKeyGuard& operator=(const RegistryKeyGuard&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    HKEY root_;
    std::wstring key_;
    bool existed_ = false;
    std::vector<Value> values_;
};

// Every key an installation writes, each put back as it was on destruction.
struct InstallationKeysGuard {
    RegistryKeyGuard userWindows{HKEY_CURRENT_USER, kUserWindowsKey};
    RegistryKeyGuard userDevices{HKEY_CURRENT_USER, kUserDevicesKey};
    RegistryKeyGuard userPrinterPorts{HKEY_CURRENT_USER, kUserPrinterPortsKey};
    RegistryKeyGuard ports{HKEY_LOCAL_MACHINE, kPortsKey};
    RegistryKeyGuard classPorts{HKEY_LOCAL_MACHINE, kClassPortsKey};
};

// Makes a key readable but not writable by anyone (opening it for setting
// values then fails with access denied) and gives it its own security back.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const std::wstring& key);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
    bool ready() const { return ready_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;  // the key's own security descriptor
    bool ready_ = false;
};

// Points the prefix's COM1 at another Unix path, from the next open on, and
// back again. Wine reads HKLM\Software\Wine\Ports only when its server
// starts, which a test running under that server cannot wait for; the port
// is the link dosdevices\com1, so the link itself is changed (through Wine's
// Unix spawn call). ready() is false outside Wine or without WINEPREFIX.
class Com1Mapping {
public:
    explicit Com1Mapping(const char* unixTarget);
    ~Com1Mapping();
    Com1Mapping(const Com1Mapping&) = delete;
    Com1Mapping& operator=(const Com1Mapping&) = delete;
    bool ready() const { return ready_; }

private:
    std::string link_;
    bool ready_ = false;
};

}  // namespace ui
