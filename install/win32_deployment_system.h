// The deployment tool's system interface over the real Win32 A functions:
// the installation calls of Win32System, and the removal and status calls.
#pragma once

#include "install/win32_system.h"

namespace setup {

class Win32DeploymentSystem final : public Win32SystemOf<DeploymentSystemApi> {
public:
    Win32DeploymentSystem();

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

private:
    decltype(&::OpenPrinterA) openPrinterA_;
    decltype(&::DeletePrinter) deletePrinter_;
    decltype(&::DeletePrinterDriverA) deletePrinterDriverA_;
    // Windows 2000 and later only.
    decltype(&::DeletePrinterDriverExA) deletePrinterDriverExA_;
    decltype(&::EnumPrinterDriversA) enumPrinterDriversA_;
    decltype(&::EnumPrintersA) enumPrintersA_;
    // The NT family only: Windows 95 has no process token and no security.
    SystemLibrary advapi_;
    decltype(&::OpenProcessToken) openProcessToken_;
    decltype(&::GetTokenInformation) getTokenInformation_;
    decltype(&::EqualSid) equalSid_;
    decltype(&::InitializeSecurityDescriptor) initializeSecurityDescriptor_;
    decltype(&::SetSecurityDescriptorOwner) setSecurityDescriptorOwner_;
    decltype(&::SetSecurityDescriptorDacl) setSecurityDescriptorDacl_;
    decltype(&::InitializeAcl) initializeAcl_;
    decltype(&::AddAccessAllowedAce) addAccessAllowedAce_;
    decltype(&::GetKernelObjectSecurity) getKernelObjectSecurity_;
    decltype(&::GetSecurityDescriptorOwner) getSecurityDescriptorOwner_;
};

}  // namespace setup
