#include "install/win9x_installer.h"

#include "catalogue/serial_records.h"
#include "install/install_steps.h"

namespace setup {
namespace {

constexpr char kFirstPortKey[] = "System\\CurrentControlSet\\Services\\Class\\Ports\\0000";
constexpr char kOtherPortsKey[] = "System\\CurrentControlSet\\Services\\Class\\Ports\\0001";

}  // namespace

InstallReport Win9xInstaller::run(const InstallSelection& selection) {
    InstallReport report;
    if (!selection.isValid()) {
        report.add(InstallStep::InvalidSelection, "", 0);
        return report;
    }
    const DriverDirectory dir(api_, nullptr, report);
    const ModelRow& model = ModelCatalogue::row(selection.modelIndex);
    const PortOption& port = SerialOptionTables::port(selection.portIndex);

    const PackageFiles files(InstallFamily::Win9x, model);
    copyPackageFiles(api_, report, dir, files, options_);
    // The driver record names the driver's source path, the list's first file.
    PathText driverSource;
    files.sourcePath(options_, 0, driverSource);

    // All three file fields name the source path, folder included.
    DriverInfo3 driver;
    driver.cVersion = 0;
    driver.pName = model.modelName;
    driver.pEnvironment = "Windows 4.0";
    driver.pDriverPath = driverSource.c_str();
    driver.pDataFile = driverSource.c_str();
    driver.pConfigFile = driverSource.c_str();
    driver.pHelpFile = "UNIDRV.HLP";
    driver.pDependentFiles = "\0";  // an empty list: its first name is empty
    driver.pMonitorName = "";
    driver.pDefaultDataType = "RAW";
    registerDriver(api_, report, driver);

    PrinterInfo2 printer = printerRecord(model, port);
    printer.Attributes = selection.setAsDefault ? win32::kPrinterAttributeDefault : 0;
    {
        ScopedPrinter printerHandle(api_);
        registerPrinter(api_, report, printer, printerHandle);
    }

    if (SerialOptionTables::isSerialPort(selection.portIndex)) {
        recordSerialSettings(selection, report);
    }
    return report;
}

void Win9xInstaller::recordSerialSettings(const InstallSelection& selection,
                                          InstallReport& report) {
    // The template is always the current state of COM1, whichever port was
    // chosen; the handle stays open until the record has been stored.
    ScopedFile firstPort(api_);
    DcbBytes portTemplate = blankDcbTemplate();
    if (api_.openSerialPort("COM1", firstPort.receive()) == 0 && firstPort) {
        DcbBytes state = {};
        if (api_.getCommState(firstPort.get(), state.bytes) == 0) portTemplate = state;
    }
    const SerialDcbRecord record(portTemplate, selection.baudIndex, selection.dataBitsIndex,
                                 selection.flowIndex);
    const char* key = selection.portIndex == SerialOptionTables::kFirstSerialPort ? kFirstPortKey
                                                                                  : kOtherPortsKey;
    writeRegistryValue(api_, report, options_.silent, RegistryRoot::LocalMachine, key, "DCB",
                       win32::kRegBinary, record.data(), static_cast<std::uint32_t>(record.size()));
    firstPort.reset();
}

}  // namespace setup
