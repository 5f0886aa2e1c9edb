// What the programs run under Wine share (the engine tests, the tests that
// drive Setup.exe, the installation benchmark): a working folder with
// placeholder driver files, read-back of what the spooler, the file system
// and the registry hold, clean-up of what an installation left, registry
// state put back as it was, a pass-through system interface to make one real
// call fail, and a watcher that reads and closes the message boxes shown.
// No test framework here: the benchmark links it too.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "install/install_report.h"
#include "install/system_api.h"

namespace setup::winetest {

// ---- Windows version --------------------------------------------------------

struct ReportedVersion {
    DWORD platformId;
    DWORD major;
    DWORD minor;
};
// What GetVersionExA says to this process.
ReportedVersion reportedVersion();

// ---- Files --------------------------------------------------------------------

// The recognisable content of the placeholder at relativePath ("win2k\QM47.DLL").
std::string placeholderContent(const std::string& relativePath);

// A fresh folder under %TEMP%, made the current directory for the test, as
// the folder the program is started from. Puts the previous current
// directory back and removes the folder with everything in it.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool ready() const { return ready_; }
    const std::string& path() const { return path_; }
    // Creates relativePath (and its folder) holding placeholderContent(relativePath).
    bool addPlaceholder(const std::string& relativePath);

private:
    std::string path_;
    std::string previous_;
    bool ready_ = false;
};

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& content);
// The name the file system stores for path (its case), or "" when there is none.
std::string storedFileName(const std::string& path);
// The part after the last backslash.
std::string fileNameOf(const std::string& path);

// A Unix path ("/work/...") as Wine sees it (Z:\work\...); Windows paths pass.
template <typename Char>
std::basic_string<Char> windowsPath(std::basic_string<Char> path) {
    const bool unixPath = !path.empty() && path[0] == Char('/');
    for (Char& c : path) {
        if (c == Char('/')) c = Char('\\');
    }
    return unixPath ? std::basic_string<Char>{Char('Z'), Char(':')} + path : path;
}
std::wstring widen(const char* utf8);
std::string narrow(const std::wstring& text);  // UTF-8, for messages and output

// Removes folder with everything in it, read-only files too. Wide, for the
// folders with Chinese names the start-folder tests make; the narrow one is
// for the ASCII paths under %TEMP%.
void removeTree(const std::wstring& folder);
void removeTree(const std::string& folder);
// The folders directly inside folder, as full paths.
std::vector<std::string> subfoldersOf(const std::string& folder);
// GetPrinterDriverDirectoryA for environment; "" when the call fails.
std::string printerDriverDirectory(const char* environment);

// ---- Spooler ------------------------------------------------------------------

struct DriverRecord {
    DWORD version = 0;
    std::string name, environment, driverPath, dataFile, configFile, helpFile;
    std::vector<std::string> dependentFiles;
    std::string defaultDataType;
};
// The driver as EnumPrinterDriversA level 3 lists it for environment.
std::optional<DriverRecord> findDriver(const char* environment, const std::string& name);

struct PrinterRecord {
    std::string name, port, driverName, printProcessor, datatype;
    DWORD attributes = 0;
    std::optional<DriverRecord> driver;  // GetPrinterDriverA level 3 on the printer
};
// The printer as OpenPrinterA and GetPrinterA level 2 give it.
std::optional<PrinterRecord> findPrinter(const std::string& name);

// Removes the printer and the driver of model from environment, and the named
// files from the environment's driver directory and its version folders
// (where AddPrinterDriverA copies), and from the running system's own driver
// directory (where a wrong copy would land). Runs again on destruction, so
// each test starts and ends without an earlier run's leftovers.
class InstallationCleanup {
public:
    InstallationCleanup(std::string model, std::string environment, std::vector<std::string> files);
    ~InstallationCleanup();
    InstallationCleanup(const InstallationCleanup&) = delete;
    InstallationCleanup& operator=(const InstallationCleanup&) = delete;

    void run() const;

private:
    std::string model_, environment_;
    std::vector<std::string> files_;
};

// ---- Registry -----------------------------------------------------------------

struct RegistryValue {
    DWORD type = 0;
    std::string data;  // exactly the bytes RegQueryValueExA gives
};
std::optional<RegistryValue> readRegistryValue(HKEY root, const std::string& subKey,
                                               const std::string& name);
bool registryKeyExists(HKEY root, const std::string& subKey);

// Creates root\subKey and whatever part of its path is missing, as the
// Windows the program targets has them; deletes exactly the keys it created.
class ScopedRegistryKey {
public:
    ScopedRegistryKey(HKEY root, const std::string& subKey);
    ~ScopedRegistryKey();
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

    bool ready() const { return ready_; }

private:
    HKEY root_;
    std::vector<std::string> created_;  // outermost first
    bool ready_ = false;
};

// Puts one value back as it was: its old type and data, or no value.
class RegistryValueRestorer {
public:
    RegistryValueRestorer(HKEY root, std::string subKey, std::string name);
    ~RegistryValueRestorer();
    RegistryValueRestorer(const RegistryValueRestorer&) = delete;
    RegistryValueRestorer& operator=(const RegistryValueRestorer&) = delete;

private:
    HKEY root_;
    std::string subKey_, name_;
    std::optional<RegistryValue> original_;
};

// ---- System interface ---------------------------------------------------------

// Passes every call through to another implementation; a test overrides the
// one call it wants to change and forwards the rest.
class ForwardingSystem : public SystemApi {
public:
    explicit ForwardingSystem(SystemApi& inner) : inner_(inner) {}

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

protected:
    SystemApi& inner_;
};

// ---- Message boxes ------------------------------------------------------------

struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;  // the box's Static text, read as UTF-16
};

// From its own thread, finds each dialog box the creating thread shows,
// reads its caption and text and closes it with OK, so a modal box cannot
// hold the test up. A box with any caption is caught and recorded.
class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Ends the watch; what was seen, in order.
    std::vector<SeenMessageBox> stop();

private:
    void watch();

    DWORD watchedThread_;
    std::atomic<bool> stopping_{false};
    std::vector<SeenMessageBox> seen_;
    std::thread thread_;
};

// The caption the program's boxes carry: this executable's file name without
// folder or extension.
std::wstring applicationCaption();

// ---- Reports ------------------------------------------------------------------

const char* stepName(InstallStep step);
// One line per failure, for assertion messages.
std::string describe(const InstallReport& report);
// The failures of one step.
std::vector<InstallFailure> failuresOf(const InstallReport& report, InstallStep step);

}  // namespace setup::winetest
