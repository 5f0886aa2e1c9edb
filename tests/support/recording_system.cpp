#include "tests/support/recording_system.h"

#include <cstring>

namespace setup::testing {
namespace {

std::string text(const char* s) { return s ? s : "(null)"; }

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
    for (std::size_t i = 4; i < kDcbSize; ++i) com1State.bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
}

void RecordingSystem::failCallAt(int index, std::uint32_t error) { failAt_[index] = error; }

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
        misuse.push_back(std::string(callName) + " on a handle that is not open: " +
                         std::to_string(handle));
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
    return failure("AddPrinterDriverA");
}

std::uint32_t RecordingSystem::addPrinter(const PrinterInfo2& info, SysHandle* printer) {
    calls.push_back("AddPrinterA(2, " + text(info.pPrinterName) + ", " + text(info.pPortName) +
                    ", attributes " + std::to_string(info.Attributes) + ")");
    printers.push_back({info, text(info.pPrinterName), text(info.pPortName),
                        text(info.pDriverName), text(info.pPrintProcessor), text(info.pDatatype),
                        otherPrinterFieldsZero(info)});
    *printer = 0;
    if (const std::uint32_t error = failure("AddPrinterA")) return error;
    *printer = open(Kind::Printer, "printer " + text(info.pPrinterName));
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
                    (type == win32::kRegSz ? "REG_SZ" : type == win32::kRegBinary
                                                            ? "REG_BINARY"
                                                            : std::to_string(type)) +
                    ", " + std::to_string(size) + " bytes)");
    if (open_.count(key) == 0) misuse.push_back("RegSetValueExA on a key that is not open");
    if (const std::uint32_t error = failure("RegSetValueExA")) return error;
    registryWrites.push_back(
        {keyName, text(name), type, std::string(reinterpret_cast<const char*>(data), size)});
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

void RecordingSystem::showMessage(const char* textCp936) {
    calls.push_back("MessageBox");
    messages.push_back(text(textCp936));
}

}  // namespace setup::testing
