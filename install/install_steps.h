// Steps both installers share. Each one carries on after a failure, as the
// installation must, and records the failure in the run's report.
#pragma once

#include <cstdint>

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"
#include "common/bounded_text.h"
#include "install/install_options.h"
#include "install/install_report.h"
#include "install/package_files.h"
#include "install/system_api.h"

namespace setup {

// The program's one fixed message, in code page 936:
// "错误：无法设置有关的注册表信息" (the registry information cannot be set).
constexpr char REGISTRY_WRITE_FAILED[] =
    "\xb4\xed\xce\xf3\xa3\xba\xce\xde\xb7\xa8\xc9\xe8\xd6\xc3\xd3\xd0\xb9\xd8\xb5\xc4\xd7\xa2"
    "\xb2\xe1\xb1\xed\xd0\xc5\xcf\xa2";

// The spooler's driver directory, read into the 255-byte buffer the
// spooler call is given. Unknown when the call failed or gave nothing.
class DriverDirectory {
public:
    static constexpr std::uint32_t kBufferSize = 255;

    // environment: "Windows NT x86", or nullptr for the running system's own.
    DriverDirectory(SystemApi& api, const char* environment, InstallReport& report);

    bool known() const { return known_; }
    const char* c_str() const { return path_; }

    // "<directory>\<name>"; false when the directory is unknown or the path
    // does not fit.
    bool pathOf(const char* name, PathText& out) const;

private:
    char path_[kBufferSize] = {};
    bool known_ = false;
};

// Copies source (a package path) to destName in the
// driver directory, overwriting. A copy that cannot be attempted or fails is
// recorded under destName.
void copyToDriverDirectory(SystemApi& api, InstallReport& report, const DriverDirectory& dir,
                           const char* source, const char* destName);

// The printer record of both families: printer and driver named after the
// model, the chosen port, "WinPrint", "RAW"; every other field zero.
PrinterInfo2 printerRecord(const ModelRow& model, const PortOption& port);

// AddPrinterDriverA; an already installed driver is no failure.
void registerDriver(SystemApi& api, InstallReport& report, const DriverInfo3& info);

// AddPrinterA into printer; a printer that already exists is no failure.
void registerPrinter(SystemApi& api, InstallReport& report, const PrinterInfo2& info,
                     ScopedPrinter& printer);

// Copies every file of the package list into the driver directory, in order.
// A file marked keepExisting is copied only where none of its name is there.
void copyPackageFiles(SystemApi& api, InstallReport& report, const DriverDirectory& dir,
                      const PackageFiles& files, const InstallOptions& options);

// Opens root\subKey for setting values and sets one value. A key that does
// not open is recorded; a value that cannot be set shows
// REGISTRY_WRITE_FAILED at once, or is recorded when the run is silent. The
// key is closed either way.
void writeRegistryValue(SystemApi& api, InstallReport& report, bool silent, RegistryRoot root,
                        const char* subKey, const char* name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size);

// The same for REG_SZ text, stored without its terminating NUL.
void writeRegistryText(SystemApi& api, InstallReport& report, bool silent, RegistryRoot root,
                       const char* subKey, const char* name, const char* text, std::size_t length);

}  // namespace setup
