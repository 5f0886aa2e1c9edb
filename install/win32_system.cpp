#include "install/win32_system.h"

#include <cstring>

#include "catalogue/serial_records.h"
#include "common/message_box.h"
#include "install/win32_calls.h"

namespace setup {
namespace {

static_assert(sizeof(DCB) == kDcbSize, "the DCB image is 28 bytes on every Windows");

}  // namespace

template <typename Interface>
Win32SystemOf<Interface>::Win32SystemOf(HWND owner)
    : owner_(owner),
      spooler_("winspool.drv"),
      getPrinterDriverDirectoryA_(
          spooler_.function<decltype(&::GetPrinterDriverDirectoryA)>("GetPrinterDriverDirectoryA")),
      addPrinterDriverA_(spooler_.function<decltype(&::AddPrinterDriverA)>("AddPrinterDriverA")),
      addPrinterA_(spooler_.function<decltype(&::AddPrinterA)>("AddPrinterA")),
      closePrinter_(spooler_.function<decltype(&::ClosePrinter)>("ClosePrinter")) {}

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::getPrinterDriverDirectory(const char* environment,
                                                                  char* buffer,
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

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::copyFile(const char* source, const char* destination,
                                                 bool failIfExists) {
    SetLastError(0);
    return CopyFileA(source, destination, failIfExists) ? 0 : lastErrorOr(ERROR_INVALID_FUNCTION);
}

template <typename Interface>
bool Win32SystemOf<Interface>::fileExists(const char* path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::addPrinterDriver(const DriverInfo3& info) {
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

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::addPrinter(const PrinterInfo2& info, SysHandle* printer) {
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

template <typename Interface>
void Win32SystemOf<Interface>::closePrinter(SysHandle printer) {
    if (closePrinter_) closePrinter_(reinterpret_cast<HANDLE>(printer));
}

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::regOpenKeyForSet(RegistryRoot root, const char* subKey,
                                                         SysHandle* key) {
    HKEY opened = nullptr;
    const LONG error =
        RegOpenKeyExA(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                      subKey, 0, KEY_SET_VALUE, &opened);
    *key = error == ERROR_SUCCESS ? toSysHandle(opened) : 0;
    return static_cast<std::uint32_t>(error);
}

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::regSetValue(SysHandle key, const char* name,
                                                    std::uint32_t type, const std::uint8_t* data,
                                                    std::uint32_t size) {
    return static_cast<std::uint32_t>(
        RegSetValueExA(reinterpret_cast<HKEY>(key), name, 0, type, data, size));
}

template <typename Interface>
void Win32SystemOf<Interface>::regCloseKey(SysHandle key) {
    RegCloseKey(reinterpret_cast<HKEY>(key));
}

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::openSerialPort(const char* name, SysHandle* port) {
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

template <typename Interface>
std::uint32_t Win32SystemOf<Interface>::getCommState(SysHandle port, std::uint8_t* dcb28) {
    DCB state = {};
    state.DCBlength = sizeof state;
    SetLastError(0);
    if (!GetCommState(reinterpret_cast<HANDLE>(port), &state)) {
        return lastErrorOr(ERROR_INVALID_FUNCTION);
    }
    std::memcpy(dcb28, &state, sizeof state);
    return 0;
}

template <typename Interface>
void Win32SystemOf<Interface>::closeHandle(SysHandle handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

template <typename Interface>
void Win32SystemOf<Interface>::showMessage(const char* textCp936) {
    // The text is Chinese in code page 936 whatever the system's ANSI code
    // page; converted to UTF-16 it reads correctly everywhere. A system with
    // no code page 936 tables gets the bytes as its own code page reads them.
    WCHAR wideText[256];
    if (MultiByteToWideChar(936, 0, textCp936, -1, wideText, 256) > 0 ||
        MultiByteToWideChar(CP_ACP, 0, textCp936, -1, wideText, 256) > 0) {
        showExclamation(owner_, wideText);
    }
}

// The wizard's system, and the base of the deployment tool's.
template class Win32SystemOf<SystemApi>;
template class Win32SystemOf<DeploymentSystemApi>;

}  // namespace setup
