#include "install/win32_deployment_system.h"

#include "common/bounded_text.h"
#include "install/win32_calls.h"

namespace setup {
namespace {

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

// Windows 9x deletes at its next start what WININIT.INI's [rename] section
// renames to NUL. The section may hold several such lines, which the profile
// functions cannot write, so the line goes in by hand after the section's name.
std::uint32_t deleteThroughWininit(const char* path) {
    char ini[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(ini, MAX_PATH);
    static const char kName[] = "\\WININIT.INI";
    if (n == 0 || n + sizeof kName > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    lstrcpynA(ini + n, kName, MAX_PATH - static_cast<int>(n));
    const ScopedHandle file(CreateFileA(ini, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return lastErrorOr(ERROR_ACCESS_DENIED);
    static char text[32 * 1024];
    DWORD size = 0;
    if (!ReadFile(file.get(), text, sizeof text, &size, nullptr)) {
        return lastErrorOr(ERROR_READ_FAULT);
    }
    if (size == sizeof text) return ERROR_FILE_TOO_LARGE;
    static const char kSection[] = "[rename]";
    const int sectionLength = lstrlenA(kSection);
    // Where the new line goes: after the section's name line, or at the end
    // under a new section.
    DWORD at = size;
    for (DWORD line = 0; line < size;) {
        DWORD end = line;
        while (end < size && text[end] != '\n') ++end;
        if (end - line >= static_cast<DWORD>(sectionLength) &&
            CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text + line, sectionLength,
                           kSection, sectionLength) == CSTR_EQUAL) {
            at = end < size ? end + 1 : end;
            break;
        }
        line = end + 1;
    }
    BoundedText<MAX_PATH + 32> entry;
    if (at == size) {
        if (size > 0 && text[size - 1] != '\n') entry.append("\r\n");
        entry.append("[rename]\r\n");
    }
    if (!entry.append({"NUL=", path, "\r\n"})) return ERROR_FILENAME_EXCED_RANGE;
    DWORD written = 0;
    // The rest of the file moves down behind the new line.
    if (SetFilePointer(file.get(), static_cast<LONG>(at), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER ||
        !WriteFile(file.get(), entry.c_str(), static_cast<DWORD>(entry.size()), &written,
                   nullptr) ||
        !WriteFile(file.get(), text + at, size - at, &written, nullptr)) {
        return lastErrorOr(ERROR_WRITE_FAULT);
    }
    return 0;
}

// A SID of the NT authority with up to two sub-authorities, laid out as SID is.
struct NtSid {
    BYTE revision;
    BYTE subAuthorityCount;
    SID_IDENTIFIER_AUTHORITY authority;
    DWORD subAuthority[2];
    PSID get() { return this; }
};

NtSid localSystemSid() {
    return {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID, 0}};
}

NtSid administratorsSid() {
    return {SID_REVISION,
            2,
            SECURITY_NT_AUTHORITY,
            {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
}

bool isWindows9x() {
    return (GetVersion() & 0x80000000u) != 0;
}

}  // namespace

Win32DeploymentSystem::Win32DeploymentSystem()
    : openPrinterA_(spooler_.function<decltype(&::OpenPrinterA)>("OpenPrinterA")),
      deletePrinter_(spooler_.function<decltype(&::DeletePrinter)>("DeletePrinter")),
      deletePrinterDriverA_(
          spooler_.function<decltype(&::DeletePrinterDriverA)>("DeletePrinterDriverA")),
      deletePrinterDriverExA_(
          spooler_.function<decltype(&::DeletePrinterDriverExA)>("DeletePrinterDriverExA")),
      enumPrinterDriversA_(
          spooler_.function<decltype(&::EnumPrinterDriversA)>("EnumPrinterDriversA")),
      enumPrintersA_(spooler_.function<decltype(&::EnumPrintersA)>("EnumPrintersA")),
      advapi_("advapi32.dll"),
      openProcessToken_(advapi_.function<decltype(&::OpenProcessToken)>("OpenProcessToken")),
      getTokenInformation_(
          advapi_.function<decltype(&::GetTokenInformation)>("GetTokenInformation")),
      equalSid_(advapi_.function<decltype(&::EqualSid)>("EqualSid")),
      initializeSecurityDescriptor_(advapi_.function<decltype(&::InitializeSecurityDescriptor)>(
          "InitializeSecurityDescriptor")),
      setSecurityDescriptorOwner_(
          advapi_.function<decltype(&::SetSecurityDescriptorOwner)>("SetSecurityDescriptorOwner")),
      setSecurityDescriptorDacl_(
          advapi_.function<decltype(&::SetSecurityDescriptorDacl)>("SetSecurityDescriptorDacl")),
      initializeAcl_(advapi_.function<decltype(&::InitializeAcl)>("InitializeAcl")),
      addAccessAllowedAce_(
          advapi_.function<decltype(&::AddAccessAllowedAce)>("AddAccessAllowedAce")),
      getKernelObjectSecurity_(
          advapi_.function<decltype(&::GetKernelObjectSecurity)>("GetKernelObjectSecurity")),
      getSecurityDescriptorOwner_(
          advapi_.function<decltype(&::GetSecurityDescriptorOwner)>("GetSecurityDescriptorOwner")) {
}

std::uint32_t Win32DeploymentSystem::openPrinter(const char* name, SysHandle* printer) {
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

std::uint32_t Win32DeploymentSystem::deletePrinter(SysHandle printer) {
    if (!deletePrinter_) return ERROR_MOD_NOT_FOUND;
    SetLastError(0);
    return deletePrinter_(reinterpret_cast<HANDLE>(printer)) ? 0
                                                             : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32DeploymentSystem::deletePrinterDriverEx(const char* environment,
                                                           const char* name, std::uint32_t flags) {
    if (!deletePrinterDriverExA_) return ERROR_PROC_NOT_FOUND;
    SetLastError(0);
    return deletePrinterDriverExA_(nullptr, mutableText(environment), mutableText(name), flags, 0)
               ? 0
               : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32DeploymentSystem::deletePrinterDriver(const char* environment,
                                                         const char* name) {
    if (!deletePrinterDriverA_) return ERROR_MOD_NOT_FOUND;
    SetLastError(0);
    return deletePrinterDriverA_(nullptr, mutableText(environment), mutableText(name))
               ? 0
               : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32DeploymentSystem::enumPrinterDrivers(const char* environment,
                                                        DriverVisitor visit, void* context) {
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

std::uint32_t Win32DeploymentSystem::enumPrinters(PrinterVisitor visit, void* context) {
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

std::uint32_t Win32DeploymentSystem::getProfileString(const char* section, const char* key,
                                                      char* buffer, std::uint32_t size) {
    return GetProfileStringA(section, key, "", buffer, size);
}

std::uint32_t Win32DeploymentSystem::writeProfileString(const char* section, const char* key,
                                                        const char* value) {
    SetLastError(0);
    return WriteProfileStringA(section, key, value) ? 0 : lastErrorOr(ERROR_INVALID_FUNCTION);
}

std::uint32_t Win32DeploymentSystem::deleteFile(const char* path) {
    SetLastError(0);
    return DeleteFileA(path) ? 0 : lastErrorOr(ERROR_FILE_NOT_FOUND);
}

std::uint32_t Win32DeploymentSystem::deleteFileAtRestart(const char* path) {
    using MoveFileExFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Windows 9x exports MoveFileExA only as a stub that fails.
    const auto moveFileEx = kernel && (GetVersion() & 0x80000000u) == 0
                                ? reinterpret_cast<MoveFileExFn>(reinterpret_cast<void*>(
                                      GetProcAddress(kernel, "MoveFileExA")))
                                : nullptr;
    if (!moveFileEx) return deleteThroughWininit(path);
    SetLastError(0);
    return moveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
               ? 0
               : lastErrorOr(ERROR_ACCESS_DENIED);
}

std::uint32_t Win32DeploymentSystem::createMutex(const char* name, SysHandle* mutex,
                                                 bool* alreadyExists) {
    *mutex = 0;
    *alreadyExists = false;
    SECURITY_DESCRIPTOR descriptor;
    DWORD acl[32];  // an ACL of two allowed entries, DWORD-aligned
    NtSid system = localSystemSid();
    NtSid administrators = administratorsSid();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    const bool secured = !isWindows9x();
    if (secured) {
        if (!initializeSecurityDescriptor_ || !setSecurityDescriptorOwner_ ||
            !setSecurityDescriptorDacl_ || !initializeAcl_ || !addAccessAllowedAce_) {
            return ERROR_PROC_NOT_FOUND;
        }
        const auto list = reinterpret_cast<PACL>(acl);
        SetLastError(0);
        if (!initializeSecurityDescriptor_(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !initializeAcl_(list, sizeof acl, ACL_REVISION) ||
            !addAccessAllowedAce_(list, ACL_REVISION, MUTEX_ALL_ACCESS, system.get()) ||
            !addAccessAllowedAce_(list, ACL_REVISION, MUTEX_ALL_ACCESS, administrators.get()) ||
            !setSecurityDescriptorDacl_(&descriptor, TRUE, list, FALSE) ||
            !setSecurityDescriptorOwner_(&descriptor, administrators.get(), FALSE)) {
            return lastErrorOr(ERROR_INVALID_SECURITY_DESCR);
        }
    }
    SetLastError(0);
    const HANDLE handle = CreateMutexA(secured ? &attributes : nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (!handle) return error != 0 ? error : ERROR_INVALID_HANDLE;
    *mutex = toSysHandle(handle);
    *alreadyExists = error == ERROR_ALREADY_EXISTS;
    return 0;
}

std::uint32_t Win32DeploymentSystem::ownerIsAdministrators(SysHandle handle, bool* administrators) {
    *administrators = false;
    if (!getKernelObjectSecurity_ || !getSecurityDescriptorOwner_ || !equalSid_ || isWindows9x()) {
        return ERROR_PROC_NOT_FOUND;
    }
    // A self-relative descriptor holding the owner alone: 20 bytes and a
    // SID of at most 68.
    DWORD descriptor[64];
    DWORD needed = 0;
    SetLastError(0);
    if (!getKernelObjectSecurity_(reinterpret_cast<HANDLE>(handle), OWNER_SECURITY_INFORMATION,
                                  descriptor, sizeof descriptor, &needed)) {
        return lastErrorOr(ERROR_INVALID_FUNCTION);
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!getSecurityDescriptorOwner_(descriptor, &owner, &defaulted)) {
        return lastErrorOr(ERROR_INVALID_SECURITY_DESCR);
    }
    NtSid system = localSystemSid();
    NtSid admins = administratorsSid();
    // An object without an owner is nobody's we trust.
    *administrators =
        owner != nullptr && (equalSid_(owner, admins.get()) || equalSid_(owner, system.get()));
    return 0;
}

std::uint32_t Win32DeploymentSystem::waitForSingleObject(SysHandle handle,
                                                         std::uint32_t milliseconds,
                                                         std::uint32_t* error) {
    SetLastError(0);
    const DWORD result = WaitForSingleObject(reinterpret_cast<HANDLE>(handle), milliseconds);
    *error = result == WAIT_FAILED ? lastErrorOr(ERROR_INVALID_HANDLE) : 0;
    return result;
}

void Win32DeploymentSystem::releaseMutex(SysHandle mutex) {
    ReleaseMutex(reinterpret_cast<HANDLE>(mutex));
}

std::uint32_t Win32DeploymentSystem::tokenUserIsLocalSystem(bool* localSystem) {
    *localSystem = false;
    // Windows 9x exports OpenProcessToken only as a stub that fails.
    if (!openProcessToken_ || !getTokenInformation_ || !equalSid_ || isWindows9x()) {
        return ERROR_PROC_NOT_FOUND;
    }
    HANDLE token = nullptr;
    SetLastError(0);
    if (!openProcessToken_(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return lastErrorOr(ERROR_ACCESS_DENIED);
    }
    const ScopedHandle owned(token);
    // TOKEN_USER and the longest SID it can point to.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD size = 0;
    SetLastError(0);
    if (!getTokenInformation_(token, TokenUser, &info, sizeof info, &size)) {
        return lastErrorOr(ERROR_INVALID_FUNCTION);
    }
    NtSid system = localSystemSid();
    *localSystem = equalSid_(info.user.User.Sid, system.get()) != FALSE;
    return 0;
}

std::uint32_t Win32DeploymentSystem::regCreateKeyForSet(RegistryRoot root, const char* subKey,
                                                        SysHandle* key) {
    HKEY created = nullptr;
    const LONG error =
        RegCreateKeyExA(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                        subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr);
    *key = error == ERROR_SUCCESS ? toSysHandle(created) : 0;
    return static_cast<std::uint32_t>(error);
}

std::uint32_t Win32DeploymentSystem::regDeleteKey(RegistryRoot root, const char* subKey) {
    return static_cast<std::uint32_t>(RegDeleteKeyA(
        root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, subKey));
}

std::uint32_t Win32DeploymentSystem::regOpenKeyForQuery(RegistryRoot root, const char* subKey,
                                                        SysHandle* key) {
    HKEY opened = nullptr;
    const LONG error =
        RegOpenKeyExA(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                      subKey, 0, KEY_QUERY_VALUE, &opened);
    *key = error == ERROR_SUCCESS ? toSysHandle(opened) : 0;
    return static_cast<std::uint32_t>(error);
}

}  // namespace setup
