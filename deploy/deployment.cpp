#include "deploy/deployment.h"

#include <cstring>

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"
#include "common/bounded_text.h"
#include "install/install_options.h"
#include "install/install_steps.h"
#include "install/nt_installer.h"
#include "install/package_files.h"
#include "install/win9x_installer.h"
#include "resources/deploy_resource.h"

namespace setup {
namespace {

constexpr char kNtEnvironment[] = "Windows NT x86";
constexpr char k9xEnvironment[] = "Windows 4.0";
constexpr std::uint32_t kPlatformWindows = 1;
constexpr std::uint32_t kPlatformNt = 2;

using Detail = BoundedText<512>;

void appendNumber(Detail& text, std::uint32_t value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char reversed[12];
    for (int i = 0; i < n; ++i) reversed[i] = digits[n - 1 - i];
    reversed[n] = '\0';
    text.append(reversed);
}

Detail versionText(const OsVersion& version) {
    Detail text;
    appendNumber(text, version.majorVersion);
    text.append(".");
    appendNumber(text, version.minorVersion);
    return text;
}

const char* fileNameOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}

// Whether a default-printer entry ("name,winspool,port") names the printer.
bool entryNames(const char* entry, const char* printer) {
    const char* comma = std::strchr(entry, ',');
    const std::size_t length = comma ? static_cast<std::size_t>(comma - entry) : std::strlen(entry);
    char copy[256];
    if (length >= sizeof copy) return false;
    std::memcpy(copy, entry, length);
    copy[length] = '\0';
    return sameTextIgnoringCase(copy, printer);
}

// What the spooler and the profile hold for each catalogue model.
struct ModelState {
    bool driver = false;
    bool printer = false;
    bool isDefault = false;
    BoundedText<64> port;
};

class SystemState {
public:
    // False (after telling why) when the spooler cannot be asked.
    bool read(DeploymentSystemApi& api, const char* environment, DeployOutput& output) {
        const std::uint32_t driversError =
            api.enumPrinterDrivers(environment, &SystemState::driverFound, this);
        if (driversError != 0) {
            output.failure(IDS_DEPLOY_FAIL_LIST_DRIVERS, environment, driversError);
            return false;
        }
        const std::uint32_t printersError = api.enumPrinters(&SystemState::printerFound, this);
        if (printersError != 0) {
            output.failure(IDS_DEPLOY_FAIL_LIST_PRINTERS, "", printersError);
            return false;
        }
        char device[256] = {};
        api.getProfileString("windows", "device", device, sizeof device);
        for (int i = 0; i < ModelCatalogue::kCount; ++i) {
            if (device[0] != '\0' && entryNames(device, ModelCatalogue::row(i).modelName)) {
                models_[i].isDefault = true;
            }
        }
        return true;
    }

    const ModelState& model(int index) const { return models_[index]; }

private:
    static void driverFound(void* state, const DriverInfo3& driver) {
        static_cast<SystemState*>(state)->visit(driver);
    }
    static void printerFound(void* state, const PrinterInfo2& printer) {
        static_cast<SystemState*>(state)->visit(printer);
    }
    void visit(const DriverInfo3& driver) {
        const int row = findModel(driver.pName ? driver.pName : "");
        if (row >= 0) models_[row].driver = true;
    }
    void visit(const PrinterInfo2& printer) {
        const int row = findModel(printer.pPrinterName ? printer.pPrinterName : "");
        if (row < 0) return;
        models_[row].printer = true;
        models_[row].port = BoundedText<64>{printer.pPortName ? printer.pPortName : ""};
        // Windows 9x marks its default printer by this attribute.
        if (printer.Attributes & win32::kPrinterAttributeDefault) models_[row].isDefault = true;
    }

    ModelState models_[ModelCatalogue::kCount];
};

// Whether any driver left in the environment still uses a file of this name.
class FileUse {
public:
    explicit FileUse(const char* name) : name_(name) {}
    bool used() const { return used_; }

    static void driverFound(void* use, const DriverInfo3& driver) {
        static_cast<FileUse*>(use)->visit(driver);
    }

private:
    void visit(const DriverInfo3& driver) {
        for (const char* path :
             {driver.pDriverPath, driver.pDataFile, driver.pConfigFile, driver.pHelpFile}) {
            if (path && sameTextIgnoringCase(fileNameOf(path), name_)) used_ = true;
        }
        for (const char* p = driver.pDependentFiles; p && *p; p += std::strlen(p) + 1) {
            if (sameTextIgnoringCase(fileNameOf(p), name_)) used_ = true;
        }
    }

    const char* name_;
    bool used_ = false;
};

// Clears the default-printer entry when it names the model's printer;
// false when that fails.
bool clearDefaultEntry(DeploymentSystemApi& api, const ModelRow& model, DeployOutput& output) {
    char device[256] = {};
    api.getProfileString("windows", "device", device, sizeof device);
    if (device[0] == '\0' || !entryNames(device, model.modelName)) return true;
    const std::uint32_t error = api.writeProfileString("windows", "device", nullptr);
    if (error != 0) {
        output.failure(IDS_DEPLOY_FAIL_DEFAULT_ENTRY, device, error);
        return false;
    }
    output.line(Stream::Err, IDS_DEPLOY_DEFAULT_CLEARED, device);
    return true;
}

// What DeleteFileA answers for a file another program has open (Windows 9x
// answers access denied for a loaded driver).
bool fileInUse(std::uint32_t error) {
    return error == win32::kErrorSharingViolation || error == win32::kErrorLockViolation ||
           error == win32::kErrorAccessDenied;
}

int stepTextId(InstallStep step) {
    switch (step) {
        case InstallStep::InvalidSelection:
            return IDS_DEPLOY_FAIL_SELECTION;
        case InstallStep::DriverDirectory:
            return IDS_DEPLOY_FAIL_DRIVER_DIRECTORY;
        case InstallStep::CopyDriverFile:
            return IDS_DEPLOY_FAIL_COPY;
        case InstallStep::RegisterDriver:
            return IDS_DEPLOY_FAIL_ADD_DRIVER;
        case InstallStep::CreatePrinter:
            return IDS_DEPLOY_FAIL_ADD_PRINTER;
        case InstallStep::OpenRegistryKey:
            return IDS_DEPLOY_FAIL_OPEN_KEY;
        case InstallStep::SetRegistryValue:
            return IDS_DEPLOY_FAIL_SET_VALUE;
    }
    return IDS_DEPLOY_INSTALL_FAILED;
}

constexpr char kActiveSetupComponents[] =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\";

// Whether this process runs as LocalSystem, whose own default printer no
// user ever sees; false (after telling why) when the token cannot be read.
bool askLocalSystem(DeploymentSystemApi& api, bool* localSystem, DeployOutput& output) {
    const std::uint32_t error = api.tokenUserIsLocalSystem(localSystem);
    if (error != 0) output.failure(IDS_DEPLOY_FAIL_ACCOUNT, "", error);
    return error == 0;
}

// Writes the model's Active Setup component; a component left half written
// would run at every logon or never, so a failed write deletes the key again.
bool registerActiveSetup(DeploymentSystemApi& api, const DeployContext& context,
                         const ModelRow& model, DeployOutput& output) {
    const ActiveSetupText key = activeSetupKey(model);
    const ActiveSetupText stubPath = activeSetupStubPath(context.logonProgramPath, model);
    const BoundedText<256> name =
        context.componentName[0] != '\0'
            ? BoundedText<256>{context.componentName, " ", model.modelName}
            : BoundedText<256>{model.modelName};
    // Windows runs the StubPath once for each user whose HKCU copy of this
    // version is missing or older.
    const ActiveSetupText version = activeSetupVersion(context.startTime);
    const std::uint32_t installed = 1;
    struct Value {
        const char* name;
        std::uint32_t type;
        const void* data;
        std::size_t size;
    };
    const Value values[] = {
        {nullptr, win32::kRegSz, name.c_str(), name.size() + 1},
        {"Version", win32::kRegSz, version.c_str(), version.size() + 1},
        {"IsInstalled", win32::kRegDword, &installed, sizeof installed},
        {"StubPath", win32::kRegSz, stubPath.c_str(), stubPath.size() + 1},
    };
    std::uint32_t error = 0;
    {
        ScopedRegKey component(api);
        error =
            api.regCreateKeyForSet(RegistryRoot::LocalMachine, key.c_str(), component.receive());
        for (const Value& value : values) {
            if (error != 0) break;
            error = api.regSetValue(component.get(), value.name, value.type,
                                    static_cast<const std::uint8_t*>(value.data),
                                    static_cast<std::uint32_t>(value.size));
        }
    }
    if (error != 0) {
        api.regDeleteKey(RegistryRoot::LocalMachine, key.c_str());
        output.failure(IDS_DEPLOY_FAIL_ACTIVE_SETUP, key.c_str(), error);
        return false;
    }
    output.line(Stream::Err, IDS_DEPLOY_ACTIVE_SETUP_REGISTERED, stubPath.c_str());
    return true;
}

// Deletes the model's Active Setup component; one that is not there is no
// failure.
bool unregisterActiveSetup(DeploymentSystemApi& api, const ModelRow& model, DeployOutput& output) {
    const ActiveSetupText key = activeSetupKey(model);
    const std::uint32_t error = api.regDeleteKey(RegistryRoot::LocalMachine, key.c_str());
    if (error == 0) {
        output.line(Stream::Err, IDS_DEPLOY_ACTIVE_SETUP_REMOVED, key.c_str());
    } else if (error != win32::kErrorFileNotFound && error != win32::kErrorPathNotFound) {
        output.failure(IDS_DEPLOY_FAIL_ACTIVE_SETUP, key.c_str(), error);
        return false;
    }
    return true;
}

int runInstall(const DeployRequest& request, const DeployContext& context, DeploymentSystemApi& api,
               DeployOutput& output) {
    const ModelRow& model = ModelCatalogue::row(request.modelIndex);
    if (!context.versionKnown) {
        output.line(Stream::Err, IDS_DEPLOY_VERSION_UNKNOWN, "");
        return kExitUnsupported;
    }
    const InstallFamily family = deployFamily(context);
    const Detail version = versionText(context.version);
    if (family == InstallFamily::None) {
        output.line(Stream::Err, IDS_DEPLOY_UNSUPPORTED, version.c_str());
        return kExitUnsupported;
    }
    const bool nt = family == InstallFamily::Nt;
    output.line(Stream::Err, nt ? IDS_DEPLOY_WINDOWS_NT : IDS_DEPLOY_WINDOWS_9X, version.c_str());
    if (nt && context.windows64) {
        output.line(Stream::Err, IDS_DEPLOY_64BIT, "");
        return kExitUnsupported;
    }

    // As SYSTEM, --default is for each user at their next logon (Active
    // Setup), not for SYSTEM's own profile, which no user sees. Windows 9x
    // has no such account and no Active Setup for this.
    bool everyUser = false;
    if (nt && request.setAsDefault) {
        if (!askLocalSystem(api, &everyUser, output)) return kExitFailed;
        if (everyUser && activeSetupStubPath(context.logonProgramPath, model).size() == 0) {
            output.line(Stream::Err, IDS_DEPLOY_ACTIVE_SETUP_PATH, "");
            return kExitFailed;
        }
        // Each user's logon would run a program that is not there.
        if (everyUser && !api.fileExists(context.logonProgramPath)) {
            output.line(Stream::Err, IDS_DEPLOY_LOGON_PROGRAM_MISSING, context.logonProgramPath);
            return kExitFailed;
        }
    }

    // Every file the procedure copies must be there before anything is written.
    InstallOptions options;
    options.packageFolder = context.packageFolder;
    options.silent = true;
    const PackageFiles files(family, model);
    Detail missing;
    for (int i = 0; i < files.count(); ++i) {
        PathText path;
        if (files.sourcePath(options, i, path) && api.fileExists(path.c_str())) continue;
        if (missing.size() > 0) missing.append(", ");
        missing.append({files.folder(), "\\", files.at(i).source});
    }
    if (missing.size() > 0) {
        output.line(Stream::Err, IDS_DEPLOY_PACKAGE_MISSING, missing.c_str());
        return kExitFailed;
    }
    output.line(Stream::Err, IDS_DEPLOY_PACKAGE_COMPLETE, files.folder());

    InstallSelection selection;
    selection.modelIndex = request.modelIndex;
    selection.portIndex = request.portIndex;
    selection.setAsDefault = request.setAsDefault && !everyUser;
    const Detail what{model.modelName, " ", SerialOptionTables::port(request.portIndex).portName,
                      request.setAsDefault ? " default" : ""};
    output.line(Stream::Err, IDS_DEPLOY_INSTALLING, what.c_str());
    const InstallReport report =
        nt ? NtInstaller(api, options).run(selection) : Win9xInstaller(api, options).run(selection);
    for (int i = 0; i < report.count(); ++i) {
        const InstallFailure& failure = report.at(i);
        output.failure(stepTextId(failure.step), failure.subject, failure.error);
    }
    // The NT procedure names the default printer whether or not the printer
    // could be created; an entry naming a printer that does not exist goes.
    if (report.has(InstallStep::CreatePrinter)) clearDefaultEntry(api, model, output);
    if (!report.succeeded()) {
        output.line(Stream::Err, IDS_DEPLOY_INSTALL_FAILED, model.modelName);
        return kExitFailed;
    }
    if (everyUser && !registerActiveSetup(api, context, model, output)) {
        output.line(Stream::Err, IDS_DEPLOY_INSTALL_FAILED, model.modelName);
        return kExitFailed;
    }
    output.line(Stream::Err, IDS_DEPLOY_INSTALLED, model.modelName);
    return kExitOk;
}

// The spooler cannot be asked (its service stopped or disabled): the keys it
// keeps the model's driver and printer under say whether anything is left.
int removeWithoutSpooler(DeploymentSystemApi& api, InstallFamily family, const ModelRow& model,
                         bool failed, DeployOutput& output) {
    const Detail environment{"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\",
                             driverEnvironment(family), "\\Drivers\\"};
    // NT keeps a driver under its version (2 for NT 4.0's, 3 from 2000 on);
    // Windows 9x's own spooler under the name, NT's for 9x clients under 0.
    const bool nt = family == InstallFamily::Nt;
    const Detail keys[] = {
        {environment.c_str(), nt ? "Version-2\\" : "", model.modelName},
        {environment.c_str(), nt ? "Version-3\\" : "Version-0\\", model.modelName},
        {"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\", model.modelName},
    };
    bool driver = false;
    bool printer = false;
    bool unreadable = false;
    for (const Detail& path : keys) {
        ScopedRegKey key(api);
        const std::uint32_t error =
            api.regOpenKeyForQuery(RegistryRoot::LocalMachine, path.c_str(), key.receive());
        bool& found = &path == &keys[2] ? printer : driver;
        if (error == 0) {
            found = true;
        } else if (error != win32::kErrorFileNotFound && error != win32::kErrorPathNotFound) {
            output.failure(IDS_DEPLOY_FAIL_SPOOLER_KEY, path.c_str(), error);
            unreadable = true;
        }
    }
    if (driver || printer) {
        const Detail what{model.modelName, driver ? " driver" : "", printer ? " printer" : ""};
        output.line(Stream::Err, IDS_DEPLOY_SPOOLER_LEFT, what.c_str());
    } else if (!unreadable) {
        output.line(Stream::Err, IDS_DEPLOY_SPOOLER_NOTHING, model.modelName);
    }
    if (failed || unreadable || driver || printer) {
        output.line(Stream::Err, IDS_DEPLOY_REMOVE_FAILED, model.modelName);
        return kExitFailed;
    }
    return kExitOk;
}

// The family whose environment a removal or status looks at: the
// installation's, or by the platform where the version is not one we install on.
InstallFamily inspectedFamily(const DeployContext& context) {
    const InstallFamily family = deployFamily(context);
    if (family != InstallFamily::None || !context.versionKnown) return family;
    if (context.version.platformId == kPlatformWindows) return InstallFamily::Win9x;
    if (context.version.platformId == kPlatformNt) return InstallFamily::Nt;
    return InstallFamily::None;
}

int runRemove(const DeployRequest& request, const DeployContext& context, DeploymentSystemApi& api,
              DeployOutput& output) {
    const ModelRow& model = ModelCatalogue::row(request.modelIndex);
    const InstallFamily family = inspectedFamily(context);
    if (family == InstallFamily::None) {
        output.line(Stream::Err, IDS_DEPLOY_VERSION_UNKNOWN, "");
        return kExitFailed;
    }
    const char* environment = driverEnvironment(family);
    // No user is to be given a default printer that is gone; only an
    // install on the NT family registers one.
    bool failed = family == InstallFamily::Nt && !unregisterActiveSetup(api, model, output);
    SystemState before;
    if (!before.read(api, environment, output)) {
        return removeWithoutSpooler(api, family, model, failed, output);
    }
    const ModelState& found = before.model(request.modelIndex);
    if (!found.driver && !found.printer && !found.isDefault) {
        output.line(Stream::Err, IDS_DEPLOY_NOTHING_TO_REMOVE, model.modelName);
        return failed ? kExitFailed : kExitOk;
    }
    output.line(Stream::Err, IDS_DEPLOY_REMOVING, model.modelName);
    bool restart = false;

    if (found.printer) {
        ScopedPrinter printer(api);
        std::uint32_t error = api.openPrinter(model.modelName, printer.receive());
        if (error == 0) error = api.deletePrinter(printer.get());
        if (error == 0) {
            output.line(Stream::Err, IDS_DEPLOY_PRINTER_DELETED, model.modelName);
        } else if (error != win32::kErrorInvalidPrinterName) {
            output.failure(IDS_DEPLOY_FAIL_DELETE_PRINTER, model.modelName, error);
            failed = true;
        }
    }

    // No default entry may name a printer that is gone.
    if (!clearDefaultEntry(api, model, output)) failed = true;

    bool driverGone = !found.driver;
    if (found.driver) {
        // The spooler removes the files no other driver uses, where it can.
        std::uint32_t error = win32::kErrorProcNotFound;
        if (family == InstallFamily::Nt) {
            error = api.deletePrinterDriverEx(environment, model.modelName,
                                              win32::kDpdDeleteUnusedFiles);
        }
        // A spooler without the call, or one that cannot remove files, still
        // removes the driver itself.
        if (error == win32::kErrorProcNotFound || error == win32::kErrorInvalidParameter ||
            error == win32::kErrorNotSupported || error == win32::kErrorCallNotImplemented) {
            error = api.deletePrinterDriver(environment, model.modelName);
        }
        if (error == 0 || error == win32::kErrorUnknownPrinterDriver) {
            driverGone = true;
            if (error == 0) output.line(Stream::Err, IDS_DEPLOY_DRIVER_DELETED, model.modelName);
        } else {
            output.failure(IDS_DEPLOY_FAIL_DELETE_DRIVER, model.modelName, error);
            failed = true;
        }
    }

    // On Windows 9x the model's own .DRV goes when no driver left uses it;
    // the universal driver files stay for the printers that share them.
    if (family == InstallFamily::Win9x && driverGone) {
        const PackageFiles files(family, model);
        const PackageFile& driverFile = files.at(0);
        FileUse use(driverFile.destination);
        const std::uint32_t error =
            api.enumPrinterDrivers(environment, &FileUse::driverFound, &use);
        if (error != 0) {
            output.failure(IDS_DEPLOY_FAIL_LIST_DRIVERS, environment, error);
            failed = true;
        } else if (!use.used()) {
            InstallReport report;
            const DriverDirectory dir(api, nullptr, report);
            PathText path;
            if (!dir.pathOf(driverFile.destination, path)) {
                output.failure(
                    IDS_DEPLOY_FAIL_DRIVER_DIRECTORY, "",
                    report.count() ? report.at(0).error : win32::kErrorFilenameExcedRange);
                failed = true;
            } else {
                const std::uint32_t deleteError = api.deleteFile(path.c_str());
                if (deleteError == 0) {
                    output.line(Stream::Err, IDS_DEPLOY_FILE_DELETED, path.c_str());
                } else if (deleteError == win32::kErrorFileNotFound ||
                           deleteError == win32::kErrorPathNotFound) {
                    // Already gone.
                } else if (fileInUse(deleteError) && api.deleteFileAtRestart(path.c_str()) == 0) {
                    // The spooler still has it loaded: it goes at the next restart.
                    output.line(Stream::Err, IDS_DEPLOY_FILE_DELETED_AT_RESTART, path.c_str());
                    restart = true;
                } else {
                    output.failure(IDS_DEPLOY_FAIL_DELETE_FILE, path.c_str(), deleteError);
                    failed = true;
                }
            }
        }
    }

    // Success means nothing of the model remains, whatever the calls said.
    SystemState after;
    if (!after.read(api, environment, output)) return kExitFailed;
    const ModelState& left = after.model(request.modelIndex);
    if (left.driver || left.printer) {
        const Detail what{model.modelName, left.driver ? " driver" : "",
                          left.printer ? " printer" : ""};
        output.line(Stream::Err, IDS_DEPLOY_STILL_PRESENT, what.c_str());
        failed = true;
    }
    if (failed) {
        output.line(Stream::Err, IDS_DEPLOY_REMOVE_FAILED, model.modelName);
        return kExitFailed;
    }
    output.line(Stream::Err, restart ? IDS_DEPLOY_REMOVED_RESTART : IDS_DEPLOY_REMOVED,
                model.modelName);
    return restart ? kExitRestartRequired : kExitOk;
}

// What the spooler and the profile hold, for the commands that only look
// (and default, which writes only the user's profile); false after saying why.
bool readSystemState(const DeployContext& context, DeploymentSystemApi& api, DeployOutput& output,
                     SystemState& state) {
    const InstallFamily family = inspectedFamily(context);
    if (family == InstallFamily::None) {
        output.line(Stream::Err, IDS_DEPLOY_VERSION_UNKNOWN, "");
        return false;
    }
    return state.read(api, driverEnvironment(family), output);
}

int runStatus(const DeployRequest& request, const DeployContext& context, DeploymentSystemApi& api,
              DeployOutput& output) {
    SystemState state;
    if (!readSystemState(context, api, output, state)) return kExitFailed;
    for (int i = 0; i < ModelCatalogue::kCount; ++i) {
        if (request.modelIndex >= 0 && i != request.modelIndex) continue;
        const ModelState& model = state.model(i);
        if (!model.driver && !model.printer) continue;
        const BoundedText<160> line{ModelCatalogue::row(i).modelName,
                                    " driver=",
                                    model.driver ? "yes" : "no",
                                    " printer=",
                                    model.printer ? "yes" : "no",
                                    " default=",
                                    model.isDefault && model.printer ? "yes" : "no",
                                    " port=",
                                    model.port.c_str()};
        output.plain(line.c_str());
    }
    if (request.modelIndex < 0) return kExitOk;
    const ModelState& asked = state.model(request.modelIndex);
    return asked.driver && asked.printer ? kExitOk : kExitFailed;
}

}  // namespace

ActiveSetupText activeSetupKey(const ModelRow& model) {
    return ActiveSetupText{kActiveSetupComponents, "Tolmar.DefaultPrinter.", model.modelName};
}

ActiveSetupText activeSetupStubPath(const char* logonProgramPath, const ModelRow& model) {
    // Every user runs this at logon: nothing in it comes from the command
    // line but the catalogue's model name, and a path with a quote (which no
    // Windows file name has) could end the quoting early.
    if (!logonProgramPath || logonProgramPath[0] == '\0' || std::strchr(logonProgramPath, '"')) {
        return {};
    }
    ActiveSetupText stubPath{"\"", logonProgramPath, "\" default --model ", model.modelName};
    return stubPath.ok() ? stubPath : ActiveSetupText{};
}

ActiveSetupText activeSetupVersion(const RunTime& time) {
    // Year, month and day, hour and minute, second: each field grows only
    // when the ones before it stay, as Active Setup compares them.
    Detail text;
    appendNumber(text, time.year);
    text.append(",");
    appendNumber(text, time.month * 100u + time.day);
    text.append(",");
    appendNumber(text, time.hour * 100u + time.minute);
    text.append(",");
    appendNumber(text, time.second);
    return ActiveSetupText{text.c_str()};
}

const char* deploymentMutexName(const DeployContext& context) {
    const bool nt5OrLater = context.versionKnown && context.version.platformId == kPlatformNt &&
                            context.version.majorVersion >= 5;
    return nt5OrLater ? "Global\\TolmarDeploy" : "TolmarDeploy";
}

int DeploymentTurn::take(const DeployContext& context, std::uint32_t limitMilliseconds,
                         DeployOutput& output) {
    const char* name = deploymentMutexName(context);
    bool existed = false;
    std::uint32_t error = api_.createMutex(name, mutex_.receive(), &existed);
    // Shut out of the mutex of that name: another account made it, or this
    // run's account is not an administrator (and can change nothing the
    // runs take turns over). Neither makes this run wait.
    if (error == win32::kErrorAccessDenied || error == win32::kErrorInvalidOwner) {
        Detail detail{name, " (error "};
        appendNumber(detail, error);
        detail.append(")");
        output.line(Stream::Err, IDS_DEPLOY_TURN_SHUT_OUT, detail.c_str());
        return kExitOk;
    }
    if (error != 0) {
        output.failure(IDS_DEPLOY_TURN_FAILED, name, error);
        return kExitFailed;
    }
    if (existed) {
        bool administrators = false;
        error = api_.ownerIsAdministrators(mutex_.get(), &administrators);
        // Windows 9x has neither owners nor accounts to fear.
        if (error == win32::kErrorProcNotFound) {
            administrators = true;
        } else if (error != 0) {
            output.failure(IDS_DEPLOY_TURN_FAILED, name, error);
            return kExitFailed;
        }
        if (!administrators) {
            mutex_.reset();
            output.line(Stream::Err, IDS_DEPLOY_TURN_FOREIGN, name);
            return kExitOk;
        }
    }
    std::uint32_t result = api_.waitForSingleObject(mutex_.get(), 0, &error);
    if (result == win32::kWaitTimeout) {
        Detail seconds;
        appendNumber(seconds, limitMilliseconds / 1000);
        output.line(Stream::Err, IDS_DEPLOY_TURN_WAITING, seconds.c_str());
        result = api_.waitForSingleObject(mutex_.get(), limitMilliseconds, &error);
    }
    if (result == win32::kWaitObject0 || result == win32::kWaitAbandoned) {
        owned_ = true;
        // The run that had the turn ended without giving it back: it died.
        if (result == win32::kWaitAbandoned)
            output.line(Stream::Err, IDS_DEPLOY_TURN_ABANDONED, "");
        return kExitOk;
    }
    if (result == win32::kWaitTimeout) {
        // What deployment systems take for "another installation is running:
        // try again later".
        output.line(Stream::Err, IDS_DEPLOY_TURN_TIMEOUT, "");
        return kExitBusy;
    }
    output.failure(IDS_DEPLOY_TURN_FAILED, name, error);
    return kExitFailed;
}

InstallFamily deployFamily(const DeployContext& context) {
    if (!context.versionKnown) return InstallFamily::None;
    const OsVersion& v = context.version;
    const InstallFamily family = installFamilyFor(classifyOs(v, 0));
    if (family != InstallFamily::None) return family;
    const bool nt61OrLater = v.platformId == kPlatformNt &&
                             (v.majorVersion > 6 || (v.majorVersion == 6 && v.minorVersion >= 1));
    return nt61OrLater ? InstallFamily::Nt : InstallFamily::None;
}

const char* driverEnvironment(InstallFamily family) {
    return family == InstallFamily::Win9x ? k9xEnvironment : kNtEnvironment;
}

// As --default does,
// through the profile's "device" entry; only when the printer is there, so a
// logon after the printer was removed changes nothing.
int runSetDefault(const DeployRequest& request, const DeployContext& context,
                  DeploymentSystemApi& api, DeployOutput& output) {
    const ModelRow& model = ModelCatalogue::row(request.modelIndex);
    SystemState state;
    if (!readSystemState(context, api, output, state)) return kExitFailed;
    const ModelState& found = state.model(request.modelIndex);
    if (!found.printer) {
        output.line(Stream::Err, IDS_DEPLOY_DEFAULT_NO_PRINTER, model.modelName);
        return kExitFailed;
    }
    const BoundedText<128> device{model.modelName, ",winspool,", found.port.c_str()};
    const std::uint32_t error = api.writeProfileString("windows", "device", device.c_str());
    if (error != 0) {
        output.failure(IDS_DEPLOY_FAIL_SET_DEFAULT, device.c_str(), error);
        return kExitFailed;
    }
    output.line(Stream::Err, IDS_DEPLOY_DEFAULT_SET, device.c_str());
    return kExitOk;
}

int runDeployRequest(const DeployRequest& request, const DeployContext& context,
                     DeploymentSystemApi& api, DeployOutput& output) {
    switch (request.command) {
        case Command::Install:
            return runInstall(request, context, api, output);
        case Command::Remove:
            return runRemove(request, context, api, output);
        case Command::Status:
            return runStatus(request, context, api, output);
        case Command::SetDefault:
            return runSetDefault(request, context, api, output);
        case Command::Help:
            break;
    }
    return kExitUsage;
}

}  // namespace setup
