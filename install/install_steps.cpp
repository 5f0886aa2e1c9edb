#include "install/install_steps.h"

#include <cstring>

namespace setup {

DriverDirectory::DriverDirectory(SystemApi& api, const char* environment, InstallReport& report) {
    std::uint32_t needed = 0;
    std::uint32_t error = api.getPrinterDriverDirectory(environment, path_, kBufferSize, &needed);
    // Whatever the call left behind, the buffer stays a terminated string.
    path_[kBufferSize - 1] = '\0';
    if (error == 0 && path_[0] == '\0') error = win32::kErrorPathNotFound;
    if (error != 0) {
        // Going on with an empty directory would copy into the root of the
        // current drive; no copy is attempted instead.
        path_[0] = '\0';
        report.add(InstallStep::DriverDirectory, environment ? environment : "", error);
        return;
    }
    known_ = true;
}

bool DriverDirectory::pathOf(const char* name, PathText& out) const {
    return known_ && out.append({path_, "\\", name});
}

PrinterInfo2 printerRecord(const ModelRow& model, const PortOption& port) {
    PrinterInfo2 printer;
    printer.pPrinterName = model.modelName;
    printer.pPortName = port.portName;
    printer.pDriverName = model.modelName;
    printer.pPrintProcessor = "WinPrint";
    printer.pDatatype = "RAW";
    return printer;
}

void registerDriver(SystemApi& api, InstallReport& report, const DriverInfo3& info) {
    const std::uint32_t error = api.addPrinterDriver(info);
    if (error != 0 && error != win32::kErrorPrinterDriverAlreadyInstalled) {
        report.add(InstallStep::RegisterDriver, info.pName, error);
    }
}

void registerPrinter(SystemApi& api, InstallReport& report, const PrinterInfo2& info,
                     ScopedPrinter& printer) {
    const std::uint32_t error = api.addPrinter(info, printer.receive());
    if (error != 0 && error != win32::kErrorPrinterAlreadyExists) {
        report.add(InstallStep::CreatePrinter, info.pPrinterName, error);
    }
}

void copyPackageFiles(SystemApi& api, InstallReport& report, const DriverDirectory& dir,
                      const PackageFiles& files, const InstallOptions& options) {
    if (!dir.known()) return;  // already recorded once for the directory
    for (int i = 0; i < files.count(); ++i) {
        const PackageFile& file = files.at(i);
        // A path that does not fit is never shortened: the copy is not tried.
        PathText source;
        PathText destination;
        if (!dir.pathOf(file.destination, destination) || !files.sourcePath(options, i, source)) {
            report.add(InstallStep::CopyDriverFile, file.destination,
                       win32::kErrorFilenameExcedRange);
            continue;
        }
        if (file.keepExisting && api.fileExists(destination.c_str())) continue;
        const std::uint32_t error = api.copyFile(source.c_str(), destination.c_str(), false);
        if (error != 0) report.add(InstallStep::CopyDriverFile, file.destination, error);
    }
}

void writeRegistryValue(SystemApi& api, InstallReport& report, bool silent, RegistryRoot root,
                        const char* subKey, const char* name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) {
    ScopedRegKey key(api);
    const std::uint32_t error = api.regOpenKeyForSet(root, subKey, key.receive());
    if (error != 0 || !key) {
        report.add(InstallStep::OpenRegistryKey, subKey, error);
        return;
    }
    const std::uint32_t setError = api.regSetValue(key.get(), name, type, data, size);
    if (setError == 0) return;
    if (silent) {
        report.add(InstallStep::SetRegistryValue, name, setError);
    } else {
        api.showMessage(REGISTRY_WRITE_FAILED);
    }
}

void writeRegistryText(SystemApi& api, InstallReport& report, bool silent, RegistryRoot root,
                       const char* subKey, const char* name, const char* text, std::size_t length) {
    writeRegistryValue(api, report, silent, root, subKey, name, win32::kRegSz,
                       reinterpret_cast<const std::uint8_t*>(text),
                       static_cast<std::uint32_t>(length));
}

}  // namespace setup
