// The one narrow interface through which the installers touch the system:
// spooler, files, registry, serial port and the message box. Each method
// stands for the Win32 call named beside it, with the same arguments and
// records, so the installers' call sequence can be checked against a
// recording fake and run for real against Win32System.
//
// Results are Win32 error codes: 0 on success, otherwise what GetLastError
// (or the registry function) gave.
#pragma once

#include <cstdint>

namespace setup {

// An opaque system handle (printer, registry key, file). 0 is "no handle".
using SysHandle = std::uintptr_t;

// DRIVER_INFO_3A, field for field.
struct DriverInfo3 {
    std::uint32_t cVersion = 0;
    const char* pName = nullptr;
    const char* pEnvironment = nullptr;
    const char* pDriverPath = nullptr;
    const char* pDataFile = nullptr;
    const char* pConfigFile = nullptr;
    const char* pHelpFile = nullptr;
    const char* pDependentFiles = nullptr;  // NUL-separated names, ended by an empty name
    const char* pMonitorName = nullptr;
    const char* pDefaultDataType = nullptr;
};

// PRINTER_INFO_2A, field for field.
struct PrinterInfo2 {
    const char* pServerName = nullptr;
    const char* pPrinterName = nullptr;
    const char* pShareName = nullptr;
    const char* pPortName = nullptr;
    const char* pDriverName = nullptr;
    const char* pComment = nullptr;
    const char* pLocation = nullptr;
    void* pDevMode = nullptr;
    const char* pSepFile = nullptr;
    const char* pPrintProcessor = nullptr;
    const char* pDatatype = nullptr;
    const char* pParameters = nullptr;
    void* pSecurityDescriptor = nullptr;
    std::uint32_t Attributes = 0;
    std::uint32_t Priority = 0;
    std::uint32_t DefaultPriority = 0;
    std::uint32_t StartTime = 0;
    std::uint32_t UntilTime = 0;
    std::uint32_t Status = 0;
    std::uint32_t cJobs = 0;
    std::uint32_t AveragePPM = 0;
};

enum class RegistryRoot { CurrentUser, LocalMachine };

// Receives each record an enumeration gives, with the caller's context; the
// record's texts are valid only during the call.
using DriverVisitor = void (*)(void* context, const DriverInfo3& driver);
using PrinterVisitor = void (*)(void* context, const PrinterInfo2& printer);

// The Win32 values the installers use (ERROR_PATH_NOT_FOUND and so on); the
// logic does not include <windows.h>, whose macros would clash with the names.
namespace win32 {
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorLockViolation = 33;
constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorCallNotImplemented = 120;
constexpr std::uint32_t kErrorProcNotFound = 127;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;
constexpr std::uint32_t kErrorInvalidOwner = 1307;
constexpr std::uint32_t kErrorPrinterDriverAlreadyInstalled = 1795;
constexpr std::uint32_t kErrorUnknownPrinterDriver = 1797;
constexpr std::uint32_t kErrorInvalidPrinterName = 1801;
constexpr std::uint32_t kErrorPrinterAlreadyExists = 1802;
constexpr std::uint32_t kDpdDeleteUnusedFiles = 1;
constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitAbandoned = 0x80;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kPrinterAttributeDefault = 4;
}  // namespace win32

class SystemApi {
public:
    virtual ~SystemApi() = default;

    // GetPrinterDriverDirectoryA(NULL, environment, 1, buffer, bufferSize, needed)
    virtual std::uint32_t getPrinterDriverDirectory(const char* environment, char* buffer,
                                                    std::uint32_t bufferSize,
                                                    std::uint32_t* needed) = 0;
    // CopyFileA(source, destination, failIfExists)
    virtual std::uint32_t copyFile(const char* source, const char* destination,
                                   bool failIfExists) = 0;
    // FindFirstFileA(path) (and FindClose): whether a file of that name exists.
    virtual bool fileExists(const char* path) = 0;
    // AddPrinterDriverA(NULL, 3, info)
    virtual std::uint32_t addPrinterDriver(const DriverInfo3& info) = 0;
    // AddPrinterA(NULL, 2, info); *printer receives the handle, 0 on failure.
    virtual std::uint32_t addPrinter(const PrinterInfo2& info, SysHandle* printer) = 0;
    // ClosePrinter(printer)
    virtual void closePrinter(SysHandle printer) = 0;
    // RegOpenKeyExA(root, subKey, 0, KEY_SET_VALUE, key)
    virtual std::uint32_t regOpenKeyForSet(RegistryRoot root, const char* subKey,
                                           SysHandle* key) = 0;
    // RegSetValueExA(key, name, 0, type, data, size)
    virtual std::uint32_t regSetValue(SysHandle key, const char* name, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t size) = 0;
    // RegCloseKey(key)
    virtual void regCloseKey(SysHandle key) = 0;
    // CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL)
    virtual std::uint32_t openSerialPort(const char* name, SysHandle* port) = 0;
    // GetCommState(port, dcb), the DCB as its 28-byte image.
    virtual std::uint32_t getCommState(SysHandle port, std::uint8_t* dcb28) = 0;
    // CloseHandle(handle)
    virtual void closeHandle(SysHandle handle) = 0;
    // Modal message box owned by the active page: OK button, exclamation icon,
    // captioned with the application title. The text is in code page 936.
    virtual void showMessage(const char* textCp936) = 0;
};

// The calls only removal and status need, for the deployment tool. Kept out
// of SystemApi so the wizard, which never removes anything, carries none of
// them.
class DeploymentSystemApi : public SystemApi {
public:
    // OpenPrinterA(name, printer, {NULL, NULL, PRINTER_ALL_ACCESS})
    virtual std::uint32_t openPrinter(const char* name, SysHandle* printer) = 0;
    // DeletePrinter(printer)
    virtual std::uint32_t deletePrinter(SysHandle printer) = 0;
    // DeletePrinterDriverExA(NULL, environment, name, flags, 0); kErrorProcNotFound
    // where the spooler has no such call (before Windows 2000).
    virtual std::uint32_t deletePrinterDriverEx(const char* environment, const char* name,
                                                std::uint32_t flags) = 0;
    // DeletePrinterDriverA(NULL, environment, name)
    virtual std::uint32_t deletePrinterDriver(const char* environment, const char* name) = 0;
    // EnumPrinterDriversA(NULL, environment, 3, ...): each driver in turn.
    virtual std::uint32_t enumPrinterDrivers(const char* environment, DriverVisitor visit,
                                             void* context) = 0;
    // EnumPrintersA(PRINTER_ENUM_LOCAL, NULL, 2, ...): each local printer in turn.
    virtual std::uint32_t enumPrinters(PrinterVisitor visit, void* context) = 0;
    // GetProfileStringA(section, key, "", buffer, size): the length read.
    virtual std::uint32_t getProfileString(const char* section, const char* key, char* buffer,
                                           std::uint32_t size) = 0;
    // WriteProfileStringA(section, key, value); a null value deletes the entry.
    virtual std::uint32_t writeProfileString(const char* section, const char* key,
                                             const char* value) = 0;
    // DeleteFileA(path)
    virtual std::uint32_t deleteFile(const char* path) = 0;
    // MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT); on Windows 9x, which
    // lacks it, the same through a "NUL=path" line in WININIT.INI's [rename].
    virtual std::uint32_t deleteFileAtRestart(const char* path) = 0;
    // CreateMutexA(&{owner Administrators; DACL: all access for LocalSystem
    // and Administrators, none for anyone else}, FALSE, name), and whether
    // GetLastError then said ERROR_ALREADY_EXISTS (the descriptor is used only
    // by the call that creates the mutex). On Windows 9x, which has no
    // security, CreateMutexA(NULL, FALSE, name).
    virtual std::uint32_t createMutex(const char* name, SysHandle* mutex, bool* alreadyExists) = 0;
    // GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION),
    // GetSecurityDescriptorOwner and EqualSid with S-1-5-32-544 and S-1-5-18:
    // whether the object is owned by Administrators or LocalSystem.
    // kErrorProcNotFound where advapi32 lacks them (Windows 9x).
    virtual std::uint32_t ownerIsAdministrators(SysHandle handle, bool* administrators) = 0;
    // WaitForSingleObject(handle, milliseconds): kWaitObject0, kWaitAbandoned,
    // kWaitTimeout, or kWaitFailed with *error set.
    virtual std::uint32_t waitForSingleObject(SysHandle handle, std::uint32_t milliseconds,
                                              std::uint32_t* error) = 0;
    // ReleaseMutex(mutex)
    virtual void releaseMutex(SysHandle mutex) = 0;
    // OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY), GetTokenInformation(
    // TokenUser) and EqualSid with S-1-5-18: whether this process runs as
    // LocalSystem. kErrorProcNotFound where advapi32 lacks them (Windows 9x).
    virtual std::uint32_t tokenUserIsLocalSystem(bool* localSystem) = 0;
    // RegCreateKeyExA(root, subKey, 0, NULL, 0, KEY_SET_VALUE, NULL, key, NULL)
    virtual std::uint32_t regCreateKeyForSet(RegistryRoot root, const char* subKey,
                                             SysHandle* key) = 0;
    // RegDeleteKeyA(root, subKey)
    virtual std::uint32_t regDeleteKey(RegistryRoot root, const char* subKey) = 0;
    // RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, key)
    virtual std::uint32_t regOpenKeyForQuery(RegistryRoot root, const char* subKey,
                                             SysHandle* key) = 0;
};

// Owns one handle of the system interface and closes it with the matching
// call on every path out of its scope. Move-only.
template <void (SystemApi::*Close)(SysHandle)>
class ScopedSysHandle {
public:
    explicit ScopedSysHandle(SystemApi& api) : api_(&api) {}
    ~ScopedSysHandle() { reset(); }
    ScopedSysHandle(const ScopedSysHandle&) = delete;
    ScopedSysHandle& operator=(const ScopedSysHandle&) = delete;
    ScopedSysHandle(ScopedSysHandle&& other) noexcept : api_(other.api_), handle_(other.handle_) {
        other.handle_ = 0;
    }
    ScopedSysHandle& operator=(ScopedSysHandle&& other) noexcept {
        if (this != &other) {
            reset();
            api_ = other.api_;
            handle_ = other.handle_;
            other.handle_ = 0;
        }
        return *this;
    }

    // For the call that opens the handle; any handle held is closed first.
    SysHandle* receive() {
        reset();
        return &handle_;
    }
    SysHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

    void reset() {
        if (handle_ != 0) (api_->*Close)(handle_);
        handle_ = 0;
    }

private:
    SystemApi* api_;
    SysHandle handle_ = 0;
};

using ScopedPrinter = ScopedSysHandle<&SystemApi::closePrinter>;
using ScopedRegKey = ScopedSysHandle<&SystemApi::regCloseKey>;
using ScopedFile = ScopedSysHandle<&SystemApi::closeHandle>;

}  // namespace setup
