// The installers' system interface over the real Win32 A functions.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "common/system_library.h"
#include "install/system_api.h"

namespace setup {

class Win32System final : public SystemApi {
public:
    // owner: the window that owns message boxes; with none, the active window.
    explicit Win32System(HWND owner = nullptr);

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
    void showMessage(const char* textCp936) override;

private:
    HWND owner_;
    // The spooler is reached through winspool.drv from the system folder.
    SystemLibrary spooler_;
    decltype(&::GetPrinterDriverDirectoryA) getPrinterDriverDirectoryA_;
    decltype(&::AddPrinterDriverA) addPrinterDriverA_;
    decltype(&::AddPrinterA) addPrinterA_;
    decltype(&::ClosePrinter) closePrinter_;
    decltype(&::OpenPrinterA) openPrinterA_;
    decltype(&::DeletePrinter) deletePrinter_;
    decltype(&::DeletePrinterDriverA) deletePrinterDriverA_;
    // Windows 2000 and later only.
    decltype(&::DeletePrinterDriverExA) deletePrinterDriverExA_;
    decltype(&::EnumPrinterDriversA) enumPrinterDriversA_;
    decltype(&::EnumPrintersA) enumPrintersA_;
};

}  // namespace setup
