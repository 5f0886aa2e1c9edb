// The installers' system interface over the real Win32 A functions.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "common/system_library.h"
#include "install/system_api.h"

namespace setup {

// The installation calls, for either interface: Win32System is the wizard's,
// Win32DeploymentSystem (install/win32_deployment_system.h) the tool's.
template <typename Interface>
class Win32SystemOf : public Interface {
public:
    // owner: the window that owns message boxes; with none, the active window.
    explicit Win32SystemOf(HWND owner = nullptr);

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
    void showMessage(const char* textCp936) override;

protected:
    HWND owner_;
    // The spooler is reached through winspool.drv from the system folder.
    SystemLibrary spooler_;
    decltype(&::GetPrinterDriverDirectoryA) getPrinterDriverDirectoryA_;
    decltype(&::AddPrinterDriverA) addPrinterDriverA_;
    decltype(&::AddPrinterA) addPrinterA_;
    decltype(&::ClosePrinter) closePrinter_;
};

using Win32System = Win32SystemOf<SystemApi>;

}  // namespace setup
