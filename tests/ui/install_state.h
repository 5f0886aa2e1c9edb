// What an installation leaves behind, read back through the spooler, the
// file system and the registry; and the clean-up that removes it again.
#pragma once

#include <windows.h>

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

// Registry values, or false when the key or the value is missing.
bool readRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* type,
                       std::vector<BYTE>* data);
bool readRegistryText(HKEY root, const std::wstring& key, const std::wstring& name,
                      std::wstring* text);
bool registryKeyExists(HKEY root, const std::wstring& key);

// Removes every printer, driver and driver file of the family from every
// environment, whatever a run (or an earlier, interrupted one) left.
void removeInstallation();

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

// The registry places an installation writes, and where the spooler itself
// keeps per-user printer lists.
extern const wchar_t kUserWindowsKey[];  // HKCU, value "Device"
extern const wchar_t kUserDevicesKey[];
extern const wchar_t kUserPrinterPortsKey[];
extern const wchar_t kPortsKey[];       // HKLM, values "COM1:" to "COM4:"
extern const wchar_t kClassPortsKey[];  // HKLM, subkeys 0000 and 0001, value "DCB"

}  // namespace ui
