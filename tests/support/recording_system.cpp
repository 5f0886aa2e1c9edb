#include "tests/support/recording_system.h"

#include <algorithm>
#include <cstring>

namespace setup::testing {
namespace {

std::string text(const char* s) {
    return s ? s : "(null)";
}

// A NUL-separated list up to and including its empty last name.
std::string multiString(const char* list) {
    if (!list) return {};
    const char* p = list;
    while (*p) p += std::strlen(p) + 1;
    return std::string(list, p + 1);
}

bool otherPrinterFieldsZero(const PrinterInfo2& p) {
    return !p.pServerName && !p.pShareName && !p.pComment && !p.pLocation && !p.pDevMode &&
           !p.pSepFile && !p.pParameters && !p.pSecurityDescriptor && p.Priority == 0 &&
           p.DefaultPriority == 0 && p.StartTime == 0 && p.UntilTime == 0 && p.Status == 0 &&
           p.cJobs == 0 && p.AveragePPM == 0;
}

}  // namespace

RecordingSystem::RecordingSystem() {
    driverDirectories["Windows NT x86"] = "C:\\WINDOWS\\System32\\spool\\drivers\\w32x86";
    driverDirectories[""] = "C:\\WINDOWS\\SYSTEM";
    com1State = blankDcbTemplate();
    // A recognisable COM1 state: every template byte differs from zero.
    for (std::size_t i = 4; i < kDcbSize; ++i)
        com1State.bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
}

void RecordingSystem::failCallAt(int index, std::uint32_t error) {
    failAt_[index] = error;
}

void RecordingSystem::failEvery(const std::string& callName, std::uint32_t error) {
    failNamed_[callName] = error;
}

std::uint32_t RecordingSystem::failure(const std::string& callName) {
    const int index = failableCalls++;
    if (auto it = failAt_.find(index); it != failAt_.end()) return it->second;
    if (auto it = failNamed_.find(callName); it != failNamed_.end()) return it->second;
    return 0;
}

SysHandle RecordingSystem::open(Kind kind, const std::string& what) {
    const SysHandle handle = nextHandle_++;
    open_[handle] = {kind, what};
    return handle;
}

void RecordingSystem::close(Kind kind, SysHandle handle, const char* callName) {
    auto it = open_.find(handle);
    if (it == open_.end() || it->second.kind != kind) {
        misuse.push_back(std::string(callName) +
                         " on a handle that is not open: " + std::to_string(handle));
        return;
    }
    open_.erase(it);
}

std::string RecordingSystem::handleName(SysHandle handle) const {
    auto it = open_.find(handle);
    return it == open_.end() ? "<closed " + std::to_string(handle) + ">" : it->second.what;
}

std::set<SysHandle> RecordingSystem::openHandles() const {
    std::set<SysHandle> handles;
    for (const auto& entry : open_) handles.insert(entry.first);
    return handles;
}

std::uint32_t RecordingSystem::getPrinterDriverDirectory(const char* environment, char* buffer,
                                                         std::uint32_t bufferSize,
                                                         std::uint32_t* needed) {
    calls.push_back("GetPrinterDriverDirectoryA(" + text(environment) + ", " +
                    std::to_string(bufferSize) + ")");
    if (const std::uint32_t error = failure("GetPrinterDriverDirectoryA")) return error;
    const std::string& dir = driverDirectories[environment ? environment : ""];
    *needed = static_cast<std::uint32_t>(dir.size() + 1);
    if (dir.size() + 1 > bufferSize) return win32::kErrorInsufficientBuffer;
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return 0;
}

std::uint32_t RecordingSystem::copyFile(const char* source, const char* destination,
                                        bool failIfExists) {
    calls.push_back("CopyFileA(" + text(source) + ", " + text(destination) + ", " +
                    (failIfExists ? "1" : "0") + ")");
    if (const std::uint32_t error = failure("CopyFileA")) return error;
    existingFiles.insert(destination);
    return 0;
}

bool RecordingSystem::fileExists(const char* path) {
    calls.push_back("FindFirstFileA(" + text(path) + ")");
    return existingFiles.count(path) != 0;
}

std::uint32_t RecordingSystem::addPrinterDriver(const DriverInfo3& info) {
    calls.push_back("AddPrinterDriverA(3, " + text(info.pName) + ")");
    drivers.push_back({info.cVersion, text(info.pName), text(info.pEnvironment),
                       text(info.pDriverPath), text(info.pDataFile), text(info.pConfigFile),
                       text(info.pHelpFile), multiString(info.pDependentFiles),
                       text(info.pMonitorName), text(info.pDefaultDataType)});
    const std::uint32_t error = failure("AddPrinterDriverA");
    if (error == 0) {
        auto& installed = spoolerDrivers[text(info.pEnvironment)];
        bool present = false;
        for (const RecordedDriver& d : installed) present = present || d.name == text(info.pName);
        if (!present) installed.push_back(drivers.back());
    }
    return error;
}

std::uint32_t RecordingSystem::addPrinter(const PrinterInfo2& info, SysHandle* printer) {
    calls.push_back("AddPrinterA(2, " + text(info.pPrinterName) + ", " + text(info.pPortName) +
                    ", attributes " + std::to_string(info.Attributes) + ")");
    printers.push_back({info, text(info.pPrinterName), text(info.pPortName), text(info.pDriverName),
                        text(info.pPrintProcessor), text(info.pDatatype),
                        otherPrinterFieldsZero(info)});
    *printer = 0;
    if (const std::uint32_t error = failure("AddPrinterA")) return error;
    *printer = open(Kind::Printer, "printer " + text(info.pPrinterName));
    if (spoolerPrinters.count(text(info.pPrinterName)) == 0) {
        spoolerPrinters[text(info.pPrinterName)] = {text(info.pPortName), text(info.pDriverName),
                                                    info.Attributes};
    }
    return 0;
}

void RecordingSystem::closePrinter(SysHandle printer) {
    calls.push_back("ClosePrinter(" + handleName(printer) + ")");
    close(Kind::Printer, printer, "ClosePrinter");
}

std::uint32_t RecordingSystem::regOpenKeyForSet(RegistryRoot root, const char* subKey,
                                                SysHandle* key) {
    const std::string path =
        std::string(root == RegistryRoot::CurrentUser ? "HKCU\\" : "HKLM\\") + text(subKey);
    calls.push_back("RegOpenKeyExA(" + path + ", KEY_SET_VALUE)");
    *key = 0;
    if (const std::uint32_t error = failure("RegOpenKeyExA")) return error;
    *key = open(Kind::Key, path);
    return 0;
}

std::uint32_t RecordingSystem::regSetValue(SysHandle key, const char* name, std::uint32_t type,
                                           const std::uint8_t* data, std::uint32_t size) {
    const std::string keyName = handleName(key);
    calls.push_back("RegSetValueExA(" + keyName + ", " + text(name) + ", " +
                    (type == win32::kRegSz       ? "REG_SZ"
                     : type == win32::kRegBinary ? "REG_BINARY"
                                                 : std::to_string(type)) +
                    ", " + std::to_string(size) + " bytes)");
    if (open_.count(key) == 0) misuse.push_back("RegSetValueExA on a key that is not open");
    if (const std::uint32_t error = failure("RegSetValueExA")) return error;
    registryWrites.push_back(
        {keyName, text(name), type, std::string(reinterpret_cast<const char*>(data), size)});
    if (auto it = registryKeys.find(keyName); it != registryKeys.end()) {
        it->second[text(name)] = registryWrites.back().data;
    }
    // On NT the profile's [windows] section is this key.
    if (keyName == "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows" &&
        text(name) == "Device") {
        profileWindows["device"] = registryWrites.back().data;
    }
    return 0;
}

void RecordingSystem::regCloseKey(SysHandle key) {
    calls.push_back("RegCloseKey(" + handleName(key) + ")");
    close(Kind::Key, key, "RegCloseKey");
}

std::uint32_t RecordingSystem::openSerialPort(const char* name, SysHandle* port) {
    calls.push_back("CreateFileA(" + text(name) + ")");
    *port = 0;
    if (const std::uint32_t error = failure("CreateFileA")) return error;
    if (!com1Present || std::strcmp(name, "COM1") != 0) return 2;  // ERROR_FILE_NOT_FOUND
    *port = open(Kind::File, text(name));
    return 0;
}

std::uint32_t RecordingSystem::getCommState(SysHandle port, std::uint8_t* dcb28) {
    calls.push_back("GetCommState(" + handleName(port) + ")");
    if (open_.count(port) == 0) misuse.push_back("GetCommState on a handle that is not open");
    if (const std::uint32_t error = failure("GetCommState")) return error;
    std::memcpy(dcb28, com1State.bytes, kDcbSize);
    return 0;
}

void RecordingSystem::closeHandle(SysHandle handle) {
    calls.push_back("CloseHandle(" + handleName(handle) + ")");
    close(Kind::File, handle, "CloseHandle");
}

std::uint32_t RecordingSystem::openPrinter(const char* name, SysHandle* printer) {
    calls.push_back("OpenPrinterA(" + text(name) + ")");
    *printer = 0;
    if (const std::uint32_t error = failure("OpenPrinterA")) return error;
    if (spoolerPrinters.count(text(name)) == 0) return win32::kErrorInvalidPrinterName;
    *printer = open(Kind::Printer, "printer " + text(name));
    return 0;
}

std::uint32_t RecordingSystem::deletePrinter(SysHandle printer) {
    const std::string name = handleName(printer);
    calls.push_back("DeletePrinter(" + name + ")");
    if (open_.count(printer) == 0) misuse.push_back("DeletePrinter on a handle that is not open");
    if (const std::uint32_t error = failure("DeletePrinter")) return error;
    spoolerPrinters.erase(name.substr(std::string("printer ").size()));
    return 0;
}

std::uint32_t RecordingSystem::removeDriver(const char* environment, const char* name) {
    auto& installed = spoolerDrivers[text(environment)];
    for (auto it = installed.begin(); it != installed.end(); ++it) {
        if (it->name == text(name)) {
            installed.erase(it);
            return 0;
        }
    }
    return win32::kErrorUnknownPrinterDriver;
}

std::uint32_t RecordingSystem::deletePrinterDriverEx(const char* environment, const char* name,
                                                     std::uint32_t flags) {
    calls.push_back("DeletePrinterDriverExA(" + text(environment) + ", " + text(name) + ", " +
                    std::to_string(flags) + ")");
    if (!hasDeletePrinterDriverEx) return win32::kErrorProcNotFound;
    if (const std::uint32_t error = failure("DeletePrinterDriverExA")) return error;
    return removeDriver(environment, name);
}

std::uint32_t RecordingSystem::deletePrinterDriver(const char* environment, const char* name) {
    calls.push_back("DeletePrinterDriverA(" + text(environment) + ", " + text(name) + ")");
    if (const std::uint32_t error = failure("DeletePrinterDriverA")) return error;
    return removeDriver(environment, name);
}

std::uint32_t RecordingSystem::enumPrinterDrivers(const char* environment, DriverVisitor visit,
                                                  void* context) {
    calls.push_back("EnumPrinterDriversA(" + text(environment) + ")");
    if (const std::uint32_t error = failure("EnumPrinterDriversA")) return error;
    for (const RecordedDriver& d : spoolerDrivers[text(environment)]) {
        DriverInfo3 info;
        info.cVersion = d.cVersion;
        info.pName = d.name.c_str();
        info.pEnvironment = d.environment.c_str();
        info.pDriverPath = d.driverPath.c_str();
        info.pDataFile = d.dataFile.c_str();
        info.pConfigFile = d.configFile.c_str();
        info.pHelpFile = d.helpFile.c_str();
        info.pDependentFiles = d.dependentFiles.c_str();
        info.pMonitorName = d.monitorName.c_str();
        info.pDefaultDataType = d.defaultDataType.c_str();
        visit(context, info);
    }
    return 0;
}

std::uint32_t RecordingSystem::enumPrinters(PrinterVisitor visit, void* context) {
    calls.push_back("EnumPrintersA(2)");
    if (const std::uint32_t error = failure("EnumPrintersA")) return error;
    for (const auto& entry : spoolerPrinters) {
        PrinterInfo2 info;
        info.pPrinterName = entry.first.c_str();
        info.pPortName = entry.second.port.c_str();
        info.pDriverName = entry.second.driver.c_str();
        info.Attributes = entry.second.attributes;
        visit(context, info);
    }
    return 0;
}

std::uint32_t RecordingSystem::getProfileString(const char* section, const char* key, char* buffer,
                                                std::uint32_t size) {
    calls.push_back("GetProfileStringA(" + text(section) + ", " + text(key) + ")");
    std::string value;
    if (auto it = profileWindows.find(text(key)); it != profileWindows.end()) value = it->second;
    if (size == 0) return 0;
    const std::size_t n = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

std::uint32_t RecordingSystem::writeProfileString(const char* section, const char* key,
                                                  const char* value) {
    calls.push_back("WriteProfileStringA(" + text(section) + ", " + text(key) + ", " + text(value) +
                    ")");
    if (const std::uint32_t error = failure("WriteProfileStringA")) return error;
    if (value) {
        profileWindows[text(key)] = value;
    } else {
        profileWindows.erase(text(key));
    }
    return 0;
}

std::uint32_t RecordingSystem::deleteFile(const char* path) {
    calls.push_back("DeleteFileA(" + text(path) + ")");
    if (const std::uint32_t error = failure("DeleteFileA")) return error;
    return existingFiles.erase(text(path)) ? 0 : win32::kErrorFileNotFound;
}

std::uint32_t RecordingSystem::deleteFileAtRestart(const char* path) {
    calls.push_back("MoveFileExA(" + text(path) + ", (null), MOVEFILE_DELAY_UNTIL_REBOOT)");
    if (const std::uint32_t error = failure("MoveFileExA")) return error;
    deletedAtRestart.push_back(text(path));
    return 0;
}

std::uint32_t RecordingSystem::createMutex(const char* name, SysHandle* mutex,
                                           bool* alreadyExists) {
    calls.push_back("CreateMutexA(" + text(name) + ")");
    *mutex = 0;
    *alreadyExists = false;
    if (const std::uint32_t error = failure("CreateMutexA")) return error;
    *mutex = open(Kind::File, "mutex " + text(name));
    *alreadyExists = mutexExists;
    return 0;
}

std::uint32_t RecordingSystem::ownerIsAdministrators(SysHandle handle, bool* administrators) {
    calls.push_back("GetKernelObjectSecurity(" + handleName(handle) + ", OWNER)");
    *administrators = false;
    if (const std::uint32_t error = failure("GetKernelObjectSecurity")) return error;
    *administrators = mutexOwnedByAdministrators;
    return 0;
}

std::uint32_t RecordingSystem::waitForSingleObject(SysHandle handle, std::uint32_t milliseconds,
                                                   std::uint32_t* error) {
    calls.push_back("WaitForSingleObject(" + handleName(handle) + ", " +
                    std::to_string(milliseconds) + ")");
    *error = failure("WaitForSingleObject");
    if (*error != 0) return win32::kWaitFailed;
    if (waitResults.empty()) return win32::kWaitObject0;
    const std::uint32_t result = waitResults.front();
    waitResults.erase(waitResults.begin());
    return result;
}

void RecordingSystem::releaseMutex(SysHandle mutex) {
    calls.push_back("ReleaseMutex(" + handleName(mutex) + ")");
}

std::uint32_t RecordingSystem::tokenUserIsLocalSystem(bool* system) {
    calls.push_back("GetTokenInformation(TokenUser)");
    *system = false;
    if (const std::uint32_t error = failure("GetTokenInformation")) return error;
    *system = localSystem;
    return 0;
}

namespace {

std::string rootedKey(RegistryRoot root, const char* subKey) {
    return std::string(root == RegistryRoot::CurrentUser ? "HKCU\\" : "HKLM\\") + text(subKey);
}

}  // namespace

std::uint32_t RecordingSystem::regCreateKeyForSet(RegistryRoot root, const char* subKey,
                                                  SysHandle* key) {
    const std::string path = rootedKey(root, subKey);
    calls.push_back("RegCreateKeyExA(" + path + ", KEY_SET_VALUE)");
    *key = 0;
    if (const std::uint32_t error = failure("RegCreateKeyExA")) return error;
    registryKeys[path];
    *key = open(Kind::Key, path);
    return 0;
}

std::uint32_t RecordingSystem::regDeleteKey(RegistryRoot root, const char* subKey) {
    const std::string path = rootedKey(root, subKey);
    calls.push_back("RegDeleteKeyA(" + path + ")");
    if (const std::uint32_t error = failure("RegDeleteKeyA")) return error;
    return registryKeys.erase(path) ? 0 : win32::kErrorFileNotFound;
}

std::uint32_t RecordingSystem::regOpenKeyForQuery(RegistryRoot root, const char* subKey,
                                                  SysHandle* key) {
    const std::string path = rootedKey(root, subKey);
    calls.push_back("RegOpenKeyExA(" + path + ", KEY_QUERY_VALUE)");
    *key = 0;
    if (const std::uint32_t error = failure("RegOpenKeyExA")) return error;
    if (!registryKeys.count(path)) return win32::kErrorFileNotFound;
    *key = open(Kind::Key, path);
    return 0;
}

void RecordingSystem::showMessage(const char* textCp936) {
    calls.push_back("MessageBox");
    messages.push_back(text(textCp936));
}

}  // namespace setup::testing
