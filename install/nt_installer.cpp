#include "install/nt_installer.h"

#include <cstring>

#include "catalogue/serial_records.h"
#include "install/install_steps.h"

namespace setup {
namespace {

constexpr char kEnvironment[] = "Windows NT x86";
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char kPortsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// NUL-separated names ended by an empty name, in a zero-filled buffer of the
// size the spooler record has always been given.
class DependentFiles {
public:
    explicit DependentFiles(const char* familyDll) {
        static constexpr char kFixed[] = "\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD";
        static_assert(sizeof kFixed == 38, "three names with their terminators");
        std::memcpy(buffer_, kFixed, sizeof kFixed);
        // The family DLL goes last; the buffer keeps room for the final NUL.
        const std::size_t room = sizeof buffer_ - sizeof kFixed - 1;
        const std::size_t n = std::strlen(familyDll);
        if (n < room) std::memcpy(buffer_ + sizeof kFixed, familyDll, n);
    }
    const char* data() const { return buffer_; }

private:
    char buffer_[255] = {};
};

}  // namespace

InstallReport NtInstaller::run(const InstallSelection& selection) {
    InstallReport report;
    if (!selection.isValid()) {
        report.add(InstallStep::InvalidSelection, "", 0);
        return report;
    }
    const DriverDirectory dir(api_, kEnvironment, report);
    const ModelRow& model = ModelCatalogue::row(selection.modelIndex);
    const PortOption& port = SerialOptionTables::port(selection.portIndex);

    copyPackageFiles(api_, report, dir, PackageFiles(InstallFamily::Nt, model), options_);

    const BoundedText<32> familyDll{model.driverBaseNt, ".DLL"};

    const BoundedText<32> dataFile{"\\", model.modelCode, ".GPD"};
    const DependentFiles dependentFiles(familyDll.c_str());
    DriverInfo3 driver;
    driver.cVersion = 2;
    driver.pName = model.modelName;
    driver.pEnvironment = kEnvironment;
    driver.pDriverPath = "\\uniDRV.DLL";
    driver.pDataFile = dataFile.c_str();
    driver.pConfigFile = "\\uniDRVui.DLL";
    driver.pHelpFile = "\\uniDRV.HLP";
    driver.pDependentFiles = dependentFiles.data();
    driver.pMonitorName = "";
    driver.pDefaultDataType = "RAW";
    registerDriver(api_, report, driver);

    // The default printer is set through the registry on this family, so
    // Attributes stays 0.
    const PrinterInfo2 printer = printerRecord(model, port);
    ScopedPrinter printerHandle(api_);
    registerPrinter(api_, report, printer, printerHandle);

    if (selection.setAsDefault) {
        const BoundedText<64> device{model.modelName, ",winspool,", port.portName};
        writeRegistryText(api_, report, options_.silent, RegistryRoot::CurrentUser, kWindowsKey,
                          "Device", device.c_str(), device.size());
    }
    if (SerialOptionTables::isSerialPort(selection.portIndex)) {
        const PortModeString mode(selection.baudIndex, selection.parityIndex,
                                  selection.dataBitsIndex, selection.stopBitsIndex,
                                  selection.flowIndex);
        writeRegistryText(api_, report, options_.silent, RegistryRoot::LocalMachine, kPortsKey,
                          port.portName, mode.c_str(), mode.size());
    }
    printerHandle.reset();
    return report;
}

}  // namespace setup
