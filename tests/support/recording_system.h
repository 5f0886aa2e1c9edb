// A recording fake of the installers' system interface: keeps every call in
// order with its arguments and deep copies of the records passed, tracks
// which handles are open, and can make any failable call fail.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/serial_records.h"
#include "install/system_api.h"

namespace setup::testing {

struct RecordedDriver {
    std::uint32_t cVersion;
    std::string name, environment, driverPath, dataFile, configFile, helpFile;
    std::string dependentFiles;  // every byte up to and including the final empty name
    std::string monitorName, defaultDataType;
};

struct RecordedPrinter {
    PrinterInfo2 raw;  // pointers valid only during the call; compare via the strings
    std::string printerName, portName, driverName, printProcessor, datatype;
    bool otherFieldsZero;
};

struct RecordedRegistryWrite {
    std::string key;  // "HKCU\..." or "HKLM\..."
    std::string name;
    std::uint32_t type;
    std::string data;  // exactly the bytes passed
};

class RecordingSystem : public DeploymentSystemApi {
public:
    RecordingSystem();

    // --- set-up -----------------------------------------------------------
    // Driver directory per environment ("" stands for the null environment).
    std::map<std::string, std::string> driverDirectories;
    std::set<std::string> existingFiles;  // full paths FindFirstFileA finds
    bool com1Present = true;
    DcbBytes com1State;  // what GetCommState gives for COM1

    // What the spooler holds: drivers by environment ("Windows NT x86",
    // "Windows 4.0"), printers by name. AddPrinterDriverA, AddPrinterA and the
    // delete calls keep them up to date; an installed driver's file fields
    // name the files as given.
    std::map<std::string, std::vector<RecordedDriver>> spoolerDrivers;
    struct SpoolerPrinter {
        std::string port, driver;
        std::uint32_t attributes;
    };
    std::map<std::string, SpoolerPrinter> spoolerPrinters;
    // The [windows] section of the profile (win.ini, or the user's registry on NT).
    std::map<std::string, std::string> profileWindows;

    // Makes the failable call number `index` (0-based, in call order) fail.
    void failCallAt(int index, std::uint32_t error);
    // Makes every call of the named kind ("CopyFileA", ...) fail.
    void failEvery(const std::string& callName, std::uint32_t error);

    // --- what happened ----------------------------------------------------
    std::vector<std::string> calls;  // "CopyFileA(win2k\QM47.DLL, D:\QM47.DLL, 0)"
    std::vector<RecordedDriver> drivers;
    std::vector<RecordedPrinter> printers;
    std::vector<RecordedRegistryWrite> registryWrites;  // successful ones only
    std::vector<std::string> messages;                  // shown texts, code page 936
    std::vector<std::string> misuse;  // closing what is not open, using a closed handle
    int failableCalls = 0;            // how many failable calls were made
    std::set<SysHandle> openHandles() const;

    // --- SystemApi --------------------------------------------------------
    std::uint32_t getPrinterDriverDirectory(const char* environment, char* buffer,
                                            std::uint32_t bufferSize,
                                            std::uint32_t* needed) override;
    std::uint32_t copyFile(const char* source, const char* destination, bool failIfExists) override;
    bool fileExists(const char* path) override;
    std::uint32_t addPrinterDriver(const DriverInfo3& info) override;
    std::uint32_t addPrinter(const PrinterInfo2& info, SysHandle* printer) override;
    void closePrinter(SysHandle printer) override;
    std::uint32_t regOpenKeyForSet(RegistryRoot root, const char* subKey, SysHandle* key) override;
    std::uint32_t regSetValue(SysHandle key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override;
    void regCloseKey(SysHandle key) override;
    std::uint32_t openSerialPort(const char* name, SysHandle* port) override;
    std::uint32_t getCommState(SysHandle port, std::uint8_t* dcb28) override;
    void closeHandle(SysHandle handle) override;
    std::uint32_t openPrinter(const char* name, SysHandle* printer) override;
    std::uint32_t deletePrinter(SysHandle printer) override;
    std::uint32_t deletePrinterDriverEx(const char* environment, const char* name,
                                        std::uint32_t flags) override;
    std::uint32_t deletePrinterDriver(const char* environment, const char* name) override;
    std::uint32_t enumPrinterDrivers(const char* environment, DriverVisitor visit,
                                     void* context) override;
    std::uint32_t enumPrinters(PrinterVisitor visit, void* context) override;
    std::uint32_t getProfileString(const char* section, const char* key, char* buffer,
                                   std::uint32_t size) override;
    std::uint32_t writeProfileString(const char* section, const char* key,
                                     const char* value) override;
    std::uint32_t deleteFile(const char* path) override;
    std::uint32_t deleteFileAtRestart(const char* path) override;
    std::uint32_t createMutex(const char* name, SysHandle* mutex, bool* alreadyExists) override;
    std::uint32_t ownerIsAdministrators(SysHandle handle, bool* administrators) override;
    std::uint32_t waitForSingleObject(SysHandle handle, std::uint32_t milliseconds,
                                      std::uint32_t* error) override;
    void releaseMutex(SysHandle mutex) override;
    std::uint32_t tokenUserIsLocalSystem(bool* localSystem) override;
    std::uint32_t regCreateKeyForSet(RegistryRoot root, const char* subKey,
                                     SysHandle* key) override;
    std::uint32_t regDeleteKey(RegistryRoot root, const char* subKey) override;
    std::uint32_t regOpenKeyForQuery(RegistryRoot root, const char* subKey,
                                     SysHandle* key) override;
    void showMessage(const char* textCp936) override;
    // Without DeletePrinterDriverExA, as before Windows 2000.
    bool hasDeletePrinterDriverEx = true;
    // A mutex of the turn's name made before this run, and whether its owner
    // is Administrators or LocalSystem.
    bool mutexExists = false;
    bool mutexOwnedByAdministrators = true;
    // What WaitForSingleObject answers, one result per call, then WAIT_OBJECT_0;
    // a failing call (failEvery) answers WAIT_FAILED with its error.
    std::vector<std::uint32_t> waitResults;
    std::vector<std::string> deletedAtRestart;  // paths MoveFileExA was given
    // The process token's user: LocalSystem (S-1-5-18) or not.
    bool localSystem = false;
    // Keys RegCreateKeyExA made (or found) and RegDeleteKeyA has not deleted,
    // as "HKLM\...", with the values written into them since they were made;
    // the keys RegOpenKeyExA finds for KEY_QUERY_VALUE.
    std::map<std::string, std::map<std::string, std::string>> registryKeys;

private:
    std::uint32_t removeDriver(const char* environment, const char* name);
    enum class Kind { Printer, Key, File };
    // Counts a failable call; returns the error it is to fail with, or 0.
    std::uint32_t failure(const std::string& callName);
    SysHandle open(Kind kind, const std::string& what);
    void close(Kind kind, SysHandle handle, const char* callName);
    std::string handleName(SysHandle handle) const;

    std::map<int, std::uint32_t> failAt_;
    std::map<std::string, std::uint32_t> failNamed_;
    struct OpenHandle {
        Kind kind;
        std::string what;
    };
    std::map<SysHandle, OpenHandle> open_;
    SysHandle nextHandle_ = 0x10;
};

}  // namespace setup::testing
