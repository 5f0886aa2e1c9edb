#include "install/win32_system.h"

#include <cstring>

#include "catalogue/serial_records.h"
#include "common/message_box.h"

namespace setup {
namespace {

static_assert(sizeof(DCB) == kDcbSize, "the DCB image is 28 bytes on every Windows");

// The A structures take non-const pointers; the spooler does not write them.
LPSTR mutableText(const char* text) {
    return const_cast<LPSTR>(text);
}

std::uint32_t lastErrorOr(std::uint32_t fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

template <typename T>
SysHandle toSysHandle(T handle) {
    return reinterpret_cast<SysHandle>(handle);
}

// A buffer from the process heap for what an enumeration returns; the
// program keeps the C++ heap out of its image.
class EnumBuffer {
public:
    EnumBuffer() = default;
    ~EnumBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    EnumBuffer(const EnumBuffer&) = delete;
    EnumBuffer& operator=(const EnumBuffer&) = delete;

    bool resize(DWORD size) {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
        size_ = 0;
        data_ = static_cast<LPBYTE>(HeapAlloc(GetProcessHeap(), 0, size ? size : 1));
        if (data_) size_ = size;
        return data_ != nullptr;
    }
    LPBYTE data() const { return data_; }
    DWORD size() const { return size_; }

private:
    LPBYTE data_ = nullptr;
    DWORD size_ = 0;
};

// Calls an enumeration twice, first for the size it needs; a list that
// grows in between is asked for again.
template <typename Call>
std::uint32_t enumerate(EnumBuffer& buffer, DWORD* count, Call call) {
    DWORD needed = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        SetLastError(0);
        if (call(buffer.data(), buffer.size(), &needed, count)) return 0;
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            return error != 0 ? error : ERROR_INVALID_FUNCTION;
        }
        if (!buffer.resize(needed)) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

const char* constText(LPSTR text) {
    return text;
}

}  // namespace

Win32System::Win32System(HWND owner)
    : owner_(owner),
      spooler_("winspool.drv"),
      getPrinterDriverDirectoryA_(
          spooler_.function<decltype(&::GetPrinterDriverDirectoryA)>("GetPrinterDriverDirectoryA")),
      addPrinterDriverA_(spooler_.function<decltype(&::AddPrinterDriverA)>("AddPrinterDriverA")),
      addPrinterA_(spooler_.function<decltype(&::AddPrinterA)>("AddPrinterA")),
      closePrinter_(spooler_.function<decltype(&::ClosePrinter)>("ClosePrinter")),
      openPrinterA_(spooler_.function<decltype(&::OpenPrinterA)>("OpenPrinterA")),
      deletePrinter_(spooler_.function<decltype(&::DeletePrinter)>("DeletePrinter")),
      deletePrinterDriverA_(
          spooler_.function<decltype(&::DeletePrinterDriverA)>("DeletePrinterDriverA")),
      deletePrinterDriverExA_(
          spooler_.function<decltype(&::DeletePrinterDriverExA)>("DeletePrinterDriverExA")),
      enumPrinterDriversA_(
          spooler_.function<decltype(&::EnumPrinterDriversA)>("EnumPrinterDriversA")),
      enumPrintersA_(spooler_.function<decltype(&::EnumPrintersA)>("EnumPrintersA")) {}

std::uint32_t Win32System::getPrinterDriverDirectory(const char* environment, char* buffer,
                                                     std::uint32_t bufferSize,
                                                     std::uint32_t* needed) {
    if (!getPrinterDriverDirectoryA_) return ERROR_MOD_NOT_FOUND;
    DWORD bytesNeeded = 0;
    SetLastError(0);
    const BOOL ok =
        getPrinterDriverDirectoryA_(nullptr, mutableText(environment), 1,
                                    reinterpret_cast<LPBYTE>(buffer), bufferSize, &bytesNeeded);
    *needed = bytesNeeded;
    return ok ? 0 : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32System::copyFile(const char* source, const char* destination,
                                    bool failIfExists) {
    SetLastError(0);
    return CopyFileA(source, destination, failIfExists) ? 0 : lastErrorOr(ERROR_INVALID_FUNCTION);
}

bool Win32System::fileExists(const char* path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

std::uint32_t Win32System::addPrinterDriver(const DriverInfo3& info) {
    if (!addPrinterDriverA_) return ERROR_MOD_NOT_FOUND;
    DRIVER_INFO_3A record = {};
    record.cVersion = info.cVersion;
    record.pName = mutableText(info.pName);
    record.pEnvironment = mutableText(info.pEnvironment);
    record.pDriverPath = mutableText(info.pDriverPath);
    record.pDataFile = mutableText(info.pDataFile);
    record.pConfigFile = mutableText(info.pConfigFile);
    record.pHelpFile = mutableText(info.pHelpFile);
    record.pDependentFiles = mutableText(info.pDependentFiles);
    record.pMonitorName = mutableText(info.pMonitorName);
    record.pDefaultDataType = mutableText(info.pDefaultDataType);
    SetLastError(0);
    return addPrinterDriverA_(nullptr, 3, reinterpret_cast<LPBYTE>(&record))
               ? 0
               : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32System::addPrinter(const PrinterInfo2& info, SysHandle* printer) {
    *printer = 0;
    if (!addPrinterA_) return ERROR_MOD_NOT_FOUND;
    PRINTER_INFO_2A record = {};
    record.pServerName = mutableText(info.pServerName);
    record.pPrinterName = mutableText(info.pPrinterName);
    record.pShareName = mutableText(info.pShareName);
    record.pPortName = mutableText(info.pPortName);
    record.pDriverName = mutableText(info.pDriverName);
    record.pComment = mutableText(info.pComment);
    record.pLocation = mutableText(info.pLocation);
    record.pDevMode = static_cast<LPDEVMODEA>(info.pDevMode);
    record.pSepFile = mutableText(info.pSepFile);
    record.pPrintProcessor = mutableText(info.pPrintProcessor);
    record.pDatatype = mutableText(info.pDatatype);
    record.pParameters = mutableText(info.pParameters);
    record.pSecurityDescriptor = static_cast<PSECURITY_DESCRIPTOR>(info.pSecurityDescriptor);
    record.Attributes = info.Attributes;
    record.Priority = info.Priority;
    record.DefaultPriority = info.DefaultPriority;
    record.StartTime = info.StartTime;
    record.UntilTime = info.UntilTime;
    record.Status = info.Status;
    record.cJobs = info.cJobs;
    record.AveragePPM = info.AveragePPM;
    SetLastError(0);
    const HANDLE handle = addPrinterA_(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
    *printer = toSysHandle(handle);
    return handle ? 0 : lastErrorOr(ERROR_INVALID_FUNCTION);
}

void Win32System::closePrinter(SysHandle printer) {
    if (closePrinter_) closePrinter_(reinterpret_cast<HANDLE>(printer));
}

std::uint32_t Win32System::regOpenKeyForSet(RegistryRoot root, const char* subKey, SysHandle* key) {
    HKEY opened = nullptr;
    const LONG error =
        RegOpenKeyExA(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                      subKey, 0, KEY_SET_VALUE, &opened);
    *key = error == ERROR_SUCCESS ? toSysHandle(opened) : 0;
    return static_cast<std::uint32_t>(error);
}

std::uint32_t Win32System::regSetValue(SysHandle key, const char* name, std::uint32_t type,
                                       const std::uint8_t* data, std::uint32_t size) {
    return static_cast<std::uint32_t>(
        RegSetValueExA(reinterpret_cast<HKEY>(key), name, 0, type, data, size));
}

void Win32System::regCloseKey(SysHandle key) {
    RegCloseKey(reinterpret_cast<HKEY>(key));
}

std::uint32_t Win32System::openSerialPort(const char* name, SysHandle* port) {
    SetLastError(0);
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *port = 0;
        return lastErrorOr(ERROR_FILE_NOT_FOUND);
    }
    *port = toSysHandle(handle);
    return 0;
}

std::uint32_t Win32System::getCommState(SysHandle port, std::uint8_t* dcb28) {
    DCB state = {};
    state.DCBlength = sizeof state;
    SetLastError(0);
    if (!GetCommState(reinterpret_cast<HANDLE>(port), &state)) {
        return lastErrorOr(ERROR_INVALID_FUNCTION);
    }
    std::memcpy(dcb28, &state, sizeof state);
    return 0;
}

void Win32System::closeHandle(SysHandle handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::uint32_t Win32System::openPrinter(const char* name, SysHandle* printer) {
    *printer = 0;
    if (!openPrinterA_) return ERROR_MOD_NOT_FOUND;
    PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    SetLastError(0);
    if (!openPrinterA_(mutableText(name), &handle, &access)) {
        return lastErrorOr(ERROR_INVALID_PRINTER_NAME);
    }
    *printer = toSysHandle(handle);
    return 0;
}

std::uint32_t Win32System::deletePrinter(SysHandle printer) {
    if (!deletePrinter_) return ERROR_MOD_NOT_FOUND;
    SetLastError(0);
    return deletePrinter_(reinterpret_cast<HANDLE>(printer)) ? 0
                                                             : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32System::deletePrinterDriverEx(const char* environment, const char* name,
                                                 std::uint32_t flags) {
    if (!deletePrinterDriverExA_) return ERROR_PROC_NOT_FOUND;
    SetLastError(0);
    return deletePrinterDriverExA_(nullptr, mutableText(environment), mutableText(name), flags, 0)
               ? 0
               : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32System::deletePrinterDriver(const char* environment, const char* name) {
    if (!deletePrinterDriverA_) return ERROR_MOD_NOT_FOUND;
    SetLastError(0);
    return deletePrinterDriverA_(nullptr, mutableText(environment), mutableText(name))
               ? 0
               : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32System::enumPrinterDrivers(const char* environment, DriverVisitor visit,
                                              void* context) {
    if (!enumPrinterDriversA_) return ERROR_MOD_NOT_FOUND;
    EnumBuffer buffer;
    DWORD count = 0;
    const std::uint32_t error =
        enumerate(buffer, &count, [&](LPBYTE data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumPrinterDriversA_(nullptr, mutableText(environment), 3, data, size, needed,
                                        returned);
        });
    if (error != 0) return error;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        DriverInfo3 info;
        info.cVersion = drivers[i].cVersion;
        info.pName = constText(drivers[i].pName);
        info.pEnvironment = constText(drivers[i].pEnvironment);
        info.pDriverPath = constText(drivers[i].pDriverPath);
        info.pDataFile = constText(drivers[i].pDataFile);
        info.pConfigFile = constText(drivers[i].pConfigFile);
        info.pHelpFile = constText(drivers[i].pHelpFile);
        info.pDependentFiles = constText(drivers[i].pDependentFiles);
        info.pMonitorName = constText(drivers[i].pMonitorName);
        info.pDefaultDataType = constText(drivers[i].pDefaultDataType);
        visit(context, info);
    }
    return 0;
}

std::uint32_t Win32System::enumPrinters(PrinterVisitor visit, void* context) {
    if (!enumPrintersA_) return ERROR_MOD_NOT_FOUND;
    EnumBuffer buffer;
    DWORD count = 0;
    const std::uint32_t error =
        enumerate(buffer, &count, [&](LPBYTE data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumPrintersA_(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned);
        });
    if (error != 0) return error;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        PrinterInfo2 info;
        info.pPrinterName = constText(printers[i].pPrinterName);
        info.pPortName = constText(printers[i].pPortName);
        info.pDriverName = constText(printers[i].pDriverName);
        info.pPrintProcessor = constText(printers[i].pPrintProcessor);
        info.pDatatype = constText(printers[i].pDatatype);
        info.Attributes = printers[i].Attributes;
        visit(context, info);
    }
    return 0;
}

std::uint32_t Win32System::getProfileString(const char* section, const char* key, char* buffer,
                                            std::uint32_t size) {
    return GetProfileStringA(section, key, "", buffer, size);
}

std::uint32_t Win32System::writeProfileString(const char* section, const char* key,
                                              const char* value) {
    SetLastError(0);
    return WriteProfileStringA(section, key, value) ? 0 : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32System::deleteFile(const char* path) {
    SetLastError(0);
    return DeleteFileA(path) ? 0 : lastErrorOr(ERROR_FILE_NOT_FOUND);
}

void Win32System::showMessage(const char* textCp936) {
    // The text is Chinese in code page 936 whatever the system's ANSI code
    // page; converted to UTF-16 it reads correctly everywhere.
    WCHAR wideText[256];
    if (MultiByteToWideChar(936, 0, textCp936, -1, wideText, 256) > 0) {
        showExclamation(owner_, wideText);
        return;
    }
    // No code page 936 tables on this system: the bytes as they are.
    char title[MAX_PATH];
    applicationTitle(title, MAX_PATH);
    MessageBoxA(owner_ ? owner_ : GetActiveWindow(), textCp936, title, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace setup
