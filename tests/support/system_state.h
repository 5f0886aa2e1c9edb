// The system state an installation changes, for the programs run under Wine:
// one reader of each kind (spooler drivers and printers, driver folders and
// files, registry values), the clean-up that removes an installation, and
// the guards that put shared state back whatever a test's assertions do.
// The package's models and files come from the catalogue.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace setup::winetest {

// ---- The package, from the catalogue ---------------------------------------------

// The printer family's model names, as drivers and printers are named, in
// the order of the model list.
const std::vector<std::wstring>& modelNames();
// The model list's entry of a model ("QM-4712II   Series").
std::wstring modelEntry(int index);
// The spooler environments a run can install into.
const std::vector<std::wstring>& environments();
constexpr wchar_t kNtEnvironment[] = L"Windows NT x86";
constexpr wchar_t k9xEnvironment[] = L"Windows 4.0";
constexpr wchar_t kX64Environment[] = L"Windows x64";

// The files of the package folders "win2k" and "win9x", every model's.
const std::vector<std::wstring>& ntPackageFiles();
const std::vector<std::wstring>& win9xPackageFiles();

// What an installation of one model copies: the file in the package folder
// ("win9x\uniDRV.hlp") and the name it is installed under ("uniDRV.HLP").
struct PackageCopy {
    std::wstring source;
    std::wstring installed;
};
std::vector<PackageCopy> ntCopies(int modelIndex);
std::vector<PackageCopy> win9xCopies(int modelIndex);
// The installed names alone.
std::vector<std::wstring> installedNames(const std::vector<PackageCopy>& copies);

// ---- Registry places ---------------------------------------------------------------

// Where an installation writes, and where the spooler itself keeps per-user
// printer lists.
extern const wchar_t kUserWindowsKey[];  // HKCU, value "Device"
extern const wchar_t kUserDevicesKey[];
extern const wchar_t kUserPrinterPortsKey[];
extern const wchar_t kPortsKey[];       // HKLM, values "COM1:" to "COM4:"
extern const wchar_t kClassPortsKey[];  // HKLM, subkeys 0000 and 0001, value "DCB"
extern const wchar_t kFirstPortKey[];   // kClassPortsKey\0000 (COM1)
extern const wchar_t kOtherPortsKey[];  // kClassPortsKey\0001 (every other port)

// ---- Spooler -------------------------------------------------------------------------

struct DriverRecord {
    std::wstring name;
    std::wstring environment;
    DWORD version = 0;
    std::wstring driverPath, dataFile, configFile, helpFile;
    std::vector<std::wstring> dependentFiles;
    std::wstring defaultDataType;
};
// EnumPrinterDriversW level 3 for environment.
std::vector<DriverRecord> drivers(const wchar_t* environment);
std::optional<DriverRecord> findDriver(const wchar_t* environment, const std::wstring& name);

struct PrinterRecord {
    std::wstring name, port, driver, printProcessor, datatype;
    DWORD attributes = 0;
    std::optional<DriverRecord> driverRecord;  // GetPrinterDriverW level 3 on the printer
};
// EnumPrintersW level 2 (driverRecord left empty).
std::vector<PrinterRecord> printers();
// OpenPrinterW and GetPrinterW level 2 on the printer, with its driver.
std::optional<PrinterRecord> findPrinter(const std::wstring& name);
// Deletes the printer, as a user can in the Printers folder.
bool deletePrinter(const std::wstring& name);
// The printer the user's "Device" value names ("name,winspool,port"); "" when none.
std::wstring defaultPrinterName();

// GetPrinterDriverDirectoryW; "" when the call fails.
std::wstring driverDirectory(const wchar_t* environment);
// The folder and the version subfolders the spooler copies into ("3", "0").
std::vector<std::wstring> driverFolders(const wchar_t* environment);

// The files in a driver folder that an installation of ours can have copied.
std::vector<std::wstring> packageFilesIn(const std::wstring& folder);
// Files of ours in the driver folders of every environment that are not
// byte for byte one of our placeholders: half-written or foreign copies.
std::vector<std::wstring> damagedDriverFiles();

// Removes every printer, driver and driver file of the family from every
// environment, whatever a run (or an earlier, interrupted one) left.
void removeInstallation();

// removeInstallation() on construction and again on destruction: a test
// starts and ends without an earlier run's leftovers.
class InstallationCleanup {
public:
    InstallationCleanup() { removeInstallation(); }
    ~InstallationCleanup() { removeInstallation(); }
    InstallationCleanup(const InstallationCleanup&) = delete;
    InstallationCleanup& operator=(const InstallationCleanup&) = delete;
};

// ---- Registry ------------------------------------------------------------------------

struct RegistryValue {
    DWORD type = 0;
    std::vector<BYTE> data;  // exactly the bytes RegQueryValueExW gives
};
inline bool operator==(const RegistryValue& a, const RegistryValue& b) {
    return a.type == b.type && a.data == b.data;
}
std::optional<RegistryValue> readRegistryValue(HKEY root, const std::wstring& key,
                                               const std::wstring& name);
// A REG_SZ value without its terminating NULs.
std::optional<std::wstring> readRegistryText(HKEY root, const std::wstring& key,
                                             const std::wstring& name);
bool registryKeyExists(HKEY root, const std::wstring& key);
// Sets a REG_SZ value of an existing key; false when the key does not open
// for writing or the value is not set.
bool writeRegistryText(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::wstring& text);
// A REG_SZ value as the program's writes read back: it passes the text's
// length without the terminating NUL, and the NT registry functions count
// the NUL that follows the text in the caller's buffer, so exactly one is
// stored.
RegistryValue storedText(const std::wstring& text);

// Creates root\key and whatever part of its path is missing, as the Windows
// the program targets has them; deletes the keys it created, with whatever
// was written into them.
class ScopedRegistryKey {
public:
    ScopedRegistryKey(HKEY root, const std::wstring& key);
    ~ScopedRegistryKey();
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
    bool ready() const { return ready_; }

private:
    HKEY root_;
    std::vector<std::wstring> created_;  // outermost first
    bool ready_ = false;
};

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
// values then fails with access denied) and gives it back the security
// descriptor it had. A key a killed test left read-only is made writable
// again by makeWritable(), which the tests that use such keys call first.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const std::wstring& key);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
    bool ready() const { return ready_; }

    static void makeWritable(HKEY root, const std::wstring& key);

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;  // the key's own security descriptor
    bool ready_ = false;
};

// ---- Files and folders -------------------------------------------------------------

// Every file and folder under `folder` by relative path ("sub\" for a
// folder), with each file's content: two snapshots compare equal when
// nothing was added, removed or changed. Not recursive when `deep` is false.
using FolderSnapshot = std::map<std::wstring, std::string>;
FolderSnapshot folderSnapshot(const std::wstring& folder, bool deep = true);
// What differs between two snapshots, one entry per line ("added x",
// "removed x", "changed x"); empty when they are equal.
std::string snapshotChanges(const FolderSnapshot& before, const FolderSnapshot& after);

// Puts a file or folder aside under another name and back again.
class MovedAside {
public:
    MovedAside(std::wstring path, std::wstring aside);
    ~MovedAside();
    MovedAside(const MovedAside&) = delete;
    MovedAside& operator=(const MovedAside&) = delete;
    bool ready() const { return ready_; }

private:
    std::wstring path_, aside_;
    bool ready_ = false;
};

// A folder made for a test and removed again (it must be left empty).
class ScopedFolder {
public:
    explicit ScopedFolder(std::wstring path);
    ~ScopedFolder();
    ScopedFolder(const ScopedFolder&) = delete;
    ScopedFolder& operator=(const ScopedFolder&) = delete;
    bool ready() const { return ready_; }

private:
    std::wstring path_;
    bool ready_ = false;
};

// A file opened without sharing, as a program that holds it would; closed
// on destruction.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool ready() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A file put back as it was (or deleted when it was not there) on every way
// out: WININIT.INI, which a removal on Windows 98 may add to.
class RestoredFile {
public:
    explicit RestoredFile(std::wstring path);
    ~RestoredFile();
    RestoredFile(const RestoredFile&) = delete;
    RestoredFile& operator=(const RestoredFile&) = delete;

private:
    std::wstring path_;
    std::optional<std::string> content_;
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

}  // namespace setup::winetest
