// Times a full installation by NtInstaller or Win9xInstaller over
// Win32System against the bare steps: the same file copies, spooler calls
// and registry writes made directly with Win32 calls. Runs alternate between
// the two, with the printer, the driver, the files and the values removed
// again between runs, outside the timed part. Prints the medians.
//   install_probe nt|9x [runs] [-v]    (-v: also print the compared end state)
// The 9x family installs on COM1, to include the serial steps, when COM1
// opens; on LPT1 otherwise.
//   install_probe deploy [runs]
// Times TolmarDeploy's silent install (Windows 98, LPT1, --default, with
// its log) from the parsed request on, in this process, against the same
// calls made bare (its check of the package files and the bare 9x steps);
// then both again over an existing installation.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "deploy/deployment.h"
#include "deploy/tool_output.h"
#include "install/nt_installer.h"
#include "install/os_version.h"
#include "install/win32_deployment_system.h"
#include "install/win32_system.h"
#include "install/win9x_installer.h"
#include "tests/support/wine_support.h"

namespace {

namespace winetest = setup::winetest;

constexpr int kModelIndex = 0;  // the first row of the model list
constexpr DWORD kPlaceholderSize = 64 * 1024;
constexpr int kCom1Index = 3;

// A file an installation copies, as the bare ANSI calls name it.
struct Copy {
    std::string source;  // "win9x\\QM47.DRV", relative to the package folder
    std::string installedName;
};

// Row 0 of the model list and what its installation names, from the
// catalogue, in the text the bare ANSI calls take (all of it ASCII).
struct Names {
    std::string model = winetest::narrow(winetest::modelNames()[kModelIndex]);
    std::string ntEnvironment = winetest::narrow(winetest::kNtEnvironment);
    std::string environment9x = winetest::narrow(winetest::k9xEnvironment);
    std::string windowsKey = winetest::narrow(winetest::kUserWindowsKey);
    std::string firstPortKey = winetest::narrow(winetest::kFirstPortKey);
    std::vector<Copy> ntCopies = narrowed(winetest::ntCopies(kModelIndex));
    std::vector<Copy> copies9x = narrowed(winetest::win9xCopies(kModelIndex));

    static std::vector<Copy> narrowed(const std::vector<winetest::PackageCopy>& copies) {
        std::vector<Copy> result;
        for (const winetest::PackageCopy& copy : copies) {
            result.push_back({winetest::narrow(copy.source), winetest::narrow(copy.installed)});
        }
        return result;
    }
};

const Names& names() {
    static const Names instance;
    return instance;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "install_probe: %s\n", what);
    std::exit(1);
}

using bench::median;
using bench::nowMs;

LPSTR mutableText(const char* text) {
    return const_cast<LPSTR>(text);
}

// ---- The folder the program is started from --------------------------------

// win2k\ and win9x\ in the work folder, with a 64 KiB placeholder for every
// file either family copies, each repeating its own name.
bool layOutPackages(const setup::winetest::PackageFolder& folder) {
    for (const wchar_t* family : {L"win2k", L"win9x"}) {
        if (!CreateDirectoryW((folder.path() + L"\\" + family).c_str(), nullptr)) return false;
    }
    for (const auto* copies : {&names().ntCopies, &names().copies9x}) {
        for (const Copy& copy : *copies) {
            const std::wstring source = setup::winetest::widen(copy.source.c_str());
            const std::string line =
                setup::winetest::placeholderContent(setup::winetest::fileNameOf(source));
            std::string content;
            while (content.size() < kPlaceholderSize) content += line;
            content.resize(kPlaceholderSize);
            if (!setup::winetest::writeFile(folder.path() + L"\\" + source, content)) {
                return false;
            }
        }
    }
    return true;
}

std::wstring wide(const char* text) {
    return setup::winetest::widen(text);
}

std::string registryValueText(HKEY root, const char* subKey, const char* name) {
    const auto value = setup::winetest::readRegistryValue(root, wide(subKey), wide(name));
    if (!value) return "no value";
    std::string text = "type " + std::to_string(value->type) + ":";
    char hex[4];
    for (const BYTE byte : value->data) {
        std::snprintf(hex, sizeof hex, " %02x", byte);
        text += hex;
    }
    return text;
}

void deleteRegistryValue(HKEY root, const char* subKey, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

// ---- What one family installs, and how to take it away again ---------------

struct Family {
    bool nt;
    const char* environment;
    const std::vector<Copy>* copies;
    HKEY valueRoot;
    const char* valueKey;
    const char* valueName;
};

const Family& ntFamily() {
    static const Family family = {true,
                                  names().ntEnvironment.c_str(),
                                  &names().ntCopies,
                                  HKEY_CURRENT_USER,
                                  names().windowsKey.c_str(),
                                  "Device"};
    return family;
}

const Family& family9x() {
    static const Family family = {false,
                                  names().environment9x.c_str(),
                                  &names().copies9x,
                                  HKEY_LOCAL_MACHINE,
                                  names().firstPortKey.c_str(),
                                  "DCB"};
    return family;
}

void removeInstallation(const Family& family) {
    setup::winetest::removeInstallation();
    deleteRegistryValue(family.valueRoot, family.valueKey, family.valueName);
}

// What an installation left behind, for comparing the two ways of doing it:
// the files of the driver directory and its version folders with their
// sizes, the driver, the printer, the value written.
std::string installedState(const Family& family) {
    std::vector<std::string> lines;
    const std::wstring environment = wide(family.environment);
    const std::string directory =
        setup::winetest::narrow(setup::winetest::driverDirectory(environment.c_str()));
    for (const std::wstring& wideFolder : setup::winetest::driverFolders(environment.c_str())) {
        const std::string folder = setup::winetest::narrow(wideFolder);
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            lines.push_back("file " + folder.substr(directory.size()) + "\\" + found.cFileName +
                            " " + std::to_string(found.nFileSizeLow));
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(lines.begin(), lines.end());

    lines.push_back(std::string("driver ") +
                    (setup::winetest::findDriver(environment.c_str(), wide(names().model.c_str()))
                         ? "registered"
                         : "missing"));
    const auto printer = setup::winetest::findPrinter(wide(names().model.c_str()));
    lines.push_back(printer ? "printer on " + setup::winetest::narrow(printer->port) +
                                  ", attributes " + std::to_string(printer->attributes)
                            : std::string("printer missing"));
    lines.push_back(std::string("value ") + family.valueName + " " +
                    registryValueText(family.valueRoot, family.valueKey, family.valueName));

    std::string state;
    for (const std::string& line : lines) state += line + "\n";
    return state;
}

// ---- The installer and the bare steps --------------------------------------

struct RunResult {
    double ms = 0;
    DWORD addPrinterError = 0;  // 0 when the printer was created
    std::string unexpected;     // failures other than that one
};

RunResult runInstaller(const Family& family, const setup::InstallSelection& selection) {
    RunResult result;
    setup::InstallReport report;
    const double start = nowMs();
    {
        setup::Win32System system;
        report = family.nt ? setup::NtInstaller(system).run(selection)
                           : setup::Win9xInstaller(system).run(selection);
    }
    result.ms = nowMs() - start;
    for (int i = 0; i < report.count(); ++i) {
        const setup::InstallFailure& failure = report.at(i);
        if (failure.step == setup::InstallStep::CreatePrinter) {
            result.addPrinterError = failure.error;
            continue;
        }
        result.unexpected += std::string(setup::winetest::stepName(failure.step)) + " \"" +
                             failure.subject + "\" error " + std::to_string(failure.error) + "\n";
    }
    return result;
}

std::string driverPath(const char* directory, const char* name) {
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s\\%s", directory, name);
    return path;
}

void copyBare(const char* directory, const Copy& copy) {
    CopyFileA(copy.source.c_str(), driverPath(directory, copy.installedName.c_str()).c_str(),
              FALSE);
}

PRINTER_INFO_2A barePrinter(const char* port, DWORD attributes) {
    PRINTER_INFO_2A printer = {};
    printer.pPrinterName = mutableText(names().model.c_str());
    printer.pPortName = mutableText(port);
    printer.pDriverName = mutableText(names().model.c_str());
    printer.pPrintProcessor = mutableText("WinPrint");
    printer.pDatatype = mutableText("RAW");
    printer.Attributes = attributes;
    return printer;
}

void setValue(HKEY root, const char* subKey, const char* name, DWORD type, const BYTE* data,
              DWORD size) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, name, 0, type, data, size);
    RegCloseKey(key);
}

RunResult runBareNt() {
    const Names& n = names();
    // The names the driver is registered with, made before the clock starts,
    // as the installer has them at hand: the family DLL last among the
    // dependent files (the list ends with two NULs).
    static const char kFixed[] = "\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD\0";
    std::string dependentFiles(kFixed, sizeof kFixed - 1);
    dependentFiles += n.ntCopies[0].installedName;
    dependentFiles.append(2, '\0');
    const std::string dataFile = "\\" + n.ntCopies[1].installedName;
    const std::string device = n.model + ",winspool,LPT1:";

    RunResult result;
    const double start = nowMs();
    char directory[255] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, mutableText(n.ntEnvironment.c_str()), 1,
                               reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    for (const Copy& copy : n.ntCopies) copyBare(directory, copy);

    DRIVER_INFO_3A driver = {};
    driver.cVersion = 2;
    driver.pName = mutableText(n.model.c_str());
    driver.pEnvironment = mutableText(n.ntEnvironment.c_str());
    driver.pDriverPath = mutableText("\\uniDRV.DLL");
    driver.pDataFile = mutableText(dataFile.c_str());
    driver.pConfigFile = mutableText("\\uniDRVui.DLL");
    driver.pHelpFile = mutableText("\\uniDRV.HLP");
    driver.pDependentFiles = &dependentFiles[0];
    driver.pMonitorName = mutableText("");
    driver.pDefaultDataType = mutableText("RAW");
    AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver));

    PRINTER_INFO_2A printerInfo = barePrinter("LPT1:", 0);
    SetLastError(0);
    const HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printerInfo));
    if (!printer) result.addPrinterError = GetLastError();

    setValue(HKEY_CURRENT_USER, n.windowsKey.c_str(), "Device", REG_SZ,
             reinterpret_cast<const BYTE*>(device.c_str()), static_cast<DWORD>(device.size()));
    if (printer) ClosePrinter(printer);
    result.ms = nowMs() - start;
    return result;
}

RunResult runBare9x(bool serial) {
    const Names& n = names();
    const std::vector<Copy>& copies = n.copies9x;
    const char* driverSource = copies[0].source.c_str();
    RunResult result;
    const double start = nowMs();
    char directory[255] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory),
                               sizeof directory, &needed);
    copyBare(directory, copies[0]);
    copyBare(directory, copies[1]);
    // The shared library is copied only where none is installed yet.
    WIN32_FIND_DATAA found;
    const HANDLE search =
        FindFirstFileA(driverPath(directory, copies[2].installedName.c_str()).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        copyBare(directory, copies[2]);
    } else {
        FindClose(search);
    }
    copyBare(directory, copies[3]);

    DRIVER_INFO_3A driver = {};
    driver.cVersion = 0;
    driver.pName = mutableText(n.model.c_str());
    driver.pEnvironment = mutableText(n.environment9x.c_str());
    driver.pDriverPath = mutableText(driverSource);
    driver.pDataFile = mutableText(driverSource);
    driver.pConfigFile = mutableText(driverSource);
    driver.pHelpFile = mutableText("UNIDRV.HLP");
    driver.pDependentFiles = mutableText("\0");
    driver.pMonitorName = mutableText("");
    driver.pDefaultDataType = mutableText("RAW");
    AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver));

    PRINTER_INFO_2A printerInfo =
        barePrinter(serial ? "COM1:" : "LPT1:", PRINTER_ATTRIBUTE_DEFAULT);
    SetLastError(0);
    const HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printerInfo));
    if (printer) {
        ClosePrinter(printer);
    } else {
        result.addPrinterError = GetLastError();
    }

    if (serial) {
        // COM1's state with 9600 baud, 8 data bits, no parity, one stop bit
        // and hardware flow control.
        const HANDLE port = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        DCB state = {};
        state.DCBlength = sizeof state;
        if (port != INVALID_HANDLE_VALUE) GetCommState(port, &state);
        BYTE record[sizeof state];
        std::memcpy(record, &state, sizeof record);
        const DWORD baud = CBR_9600;
        std::memcpy(record + 4, &baud, sizeof baud);
        record[8] = 0x15;
        record[9] = 0x20;
        record[18] = 8;
        record[19] = 0;
        record[20] = 0;
        setValue(HKEY_LOCAL_MACHINE, n.firstPortKey.c_str(), "DCB", REG_BINARY, record,
                 sizeof record);
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    }
    result.ms = nowMs() - start;
    return result;
}

bool com1Opens(DWORD* error) {
    const HANDLE port =
        CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DCB state = {};
    state.DCBlength = sizeof state;
    const bool ok = GetCommState(port, &state) != 0;
    *error = ok ? 0 : GetLastError();
    CloseHandle(port);
    return ok;
}

// ---- The deployment tool ----------------------------------------------------

// One silent install as TolmarDeploy runs it after reading its command line:
// its turn, the checks, the installation, its messages (to NUL here) and its log.
RunResult runDeploy(const std::string& packageFolder, const std::wstring& log, int* exitCode) {
    RunResult result;
    const double start = nowMs();
    {
        setup::ToolOutput output;
        DWORD error = 0;
        if (output.openLog(log.c_str(), &error) != setup::ToolOutput::LogOpen::Opened) {
            fail("cannot open the deployment log");
        }
        setup::DeployRequest request;
        request.command = setup::Command::Install;
        request.modelIndex = 0;
        request.setAsDefault = true;
        setup::DeployContext context;
        setup::OsVersion version = {};
        context.versionKnown = setup::queryWindowsVersion(setup::kVersionInfoExSize, &version);
        context.version = version;
        context.windows64 = sizeof(void*) == 8;
        context.packageFolder = packageFolder.c_str();
        setup::Win32DeploymentSystem system;
        // The turn every install takes, as the tool takes it.
        setup::DeploymentTurn turn(system);
        *exitCode = turn.take(context, setup::kTurnWaitMilliseconds, output);
        if (*exitCode == setup::kExitOk) {
            *exitCode = setup::runDeployRequest(request, context, system, output);
        }
    }
    result.ms = nowMs() - start;
    return result;
}

// The same calls made bare: the tool's look at each package file, then the
// bare 9x steps.
RunResult runBareDeploy(const std::string& packageFolder) {
    const double start = nowMs();
    for (const Copy& copy : names().copies9x) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((packageFolder + "\\" + copy.source).c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }
    RunResult result = runBare9x(false);
    result.ms = nowMs() - start;
    return result;
}

int deployProbe(int runs) {
    const setup::winetest::ReportedVersion version = setup::winetest::reportedVersion();
    if (version.platformId != VER_PLATFORM_WIN32_WINDOWS) {
        fail("Wine must report Windows 98 (AppDefaults\\install_probe.exe win98)");
    }
    const Family& family = family9x();
    // The key first: the values an installation writes are put back before
    // the keys made for it go.
    setup::winetest::ScopedRegistryKey windowsKey(HKEY_CURRENT_USER,
                                                  setup::winetest::kUserWindowsKey);
    const setup::winetest::InstallationKeysGuard keys;
    setup::winetest::PackageFolder packages(false);
    if (!packages.ready() || !layOutPackages(packages))
        fail("cannot lay out the placeholder driver files under %TEMP%");
    // The bare steps name the package files relative to the current directory.
    setup::winetest::CurrentFolder current(packages.path());
    if (!current.ready()) fail("cannot make the package folder the current directory");
    // The tool takes its package folder in the ANSI code page; %TEMP% is ASCII here.
    const std::string packageFolder = setup::winetest::narrow(packages.path());
    const std::wstring log = packages.path() + L"\\deploy.log";
    // The tool's words go nowhere; its log is written as it would be.
    const HANDLE nul =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE savedError = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, nul);

    // One uncounted pair, whose end states must agree.
    int exitCode = -1;
    removeInstallation(family);
    runDeploy(packageFolder, log, &exitCode);
    const std::string deployState = installedState(family);
    removeInstallation(family);
    runBareDeploy(packageFolder);
    const std::string bareState = installedState(family);
    SetStdHandle(STD_ERROR_HANDLE, savedError);
    if (exitCode != 0) {
        std::fprintf(stderr, "install_probe: TolmarDeploy's install exited %d\n", exitCode);
        return 1;
    }
    if (deployState != bareState) {
        std::fprintf(stderr,
                     "install_probe: the bare steps leave a different state\n"
                     "deploy:\n%sbare:\n%s",
                     deployState.c_str(), bareState.c_str());
        return 1;
    }
    SetStdHandle(STD_ERROR_HANDLE, nul);
    std::vector<double> deployTimes, bareTimes, deployAgainTimes, bareAgainTimes;
    for (int i = 0; i < runs; ++i) {
        removeInstallation(family);
        deployTimes.push_back(runDeploy(packageFolder, log, &exitCode).ms);
        deployAgainTimes.push_back(runDeploy(packageFolder, log, &exitCode).ms);
        removeInstallation(family);
        bareTimes.push_back(runBareDeploy(packageFolder).ms);
        bareAgainTimes.push_back(runBareDeploy(packageFolder).ms);
    }
    removeInstallation(family);
    SetStdHandle(STD_ERROR_HANDLE, savedError);
    CloseHandle(nul);
    std::printf("family=9x\nversion=%lu.%lu\nruns=%d\n", version.major, version.minor, runs);
    std::printf("deploy_median_ms=%.3f\nbare_median_ms=%.3f\n", median(deployTimes),
                median(bareTimes));
    std::printf("deploy_again_median_ms=%.3f\nbare_again_median_ms=%.3f\n",
                median(deployAgainTimes), median(bareAgainTimes));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Plain LF line ends for the script that reads the output.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc >= 2 && std::strcmp(argv[1], "deploy") == 0) {
        return deployProbe(argc > 2 ? std::max(1, std::atoi(argv[2])) : 15);
    }
    if (argc < 2 || (std::strcmp(argv[1], "nt") != 0 && std::strcmp(argv[1], "9x") != 0)) {
        std::fprintf(stderr, "usage: install_probe nt|9x [runs] [-v] | deploy [runs]\n");
        return 2;
    }
    const Family& family = std::strcmp(argv[1], "nt") == 0 ? ntFamily() : family9x();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    const bool verbose = argc > 3 && std::strcmp(argv[3], "-v") == 0;

    const setup::winetest::ReportedVersion version = setup::winetest::reportedVersion();
    const DWORD expectedPlatform = family.nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    if (version.platformId != expectedPlatform) {
        fail(family.nt ? "Wine must report an NT version (AppDefaults\\install_probe.exe winxp)"
                       : "Wine must report Windows 98 (AppDefaults\\install_probe.exe win98)");
    }

    setup::InstallSelection selection;
    bool serial = false;
    DWORD com1Error = 0;
    if (!family.nt) {
        serial = com1Opens(&com1Error);
        if (serial) selection.portIndex = kCom1Index;
    }
    setup::winetest::ScopedRegistryKey valueKey(family.valueRoot, wide(family.valueKey));
    if (!valueKey.ready()) fail("cannot create the registry key the installation writes to");
    // Whatever the runs write is put back before the key made for them goes.
    const setup::winetest::RegistryKeyGuard value(family.valueRoot, wide(family.valueKey));
    const setup::winetest::InstallationKeysGuard keys;
    if (setup::winetest::driverDirectory(wide(family.environment).c_str()).empty()) {
        fail("GetPrinterDriverDirectoryW failed");
    }
    setup::winetest::PackageFolder packages(false);
    if (!packages.ready() || !layOutPackages(packages))
        fail("cannot lay out the placeholder driver files under %TEMP%");
    setup::winetest::CurrentFolder current(packages.path());
    if (!current.ready()) fail("cannot make the package folder the current directory");

    // The first pair is not counted: it creates the driver folders and loads
    // what later runs find cached. Its end states must agree.
    removeInstallation(family);
    const RunResult firstInstaller = runInstaller(family, selection);
    if (!firstInstaller.unexpected.empty()) {
        std::fprintf(stderr, "install_probe: the installer reported:\n%s",
                     firstInstaller.unexpected.c_str());
        return 1;
    }
    const std::string installerState = installedState(family);
    removeInstallation(family);
    const RunResult firstBare = family.nt ? runBareNt() : runBare9x(serial);
    const std::string bareState = installedState(family);
    if (installerState != bareState) {
        std::fprintf(stderr,
                     "install_probe: the bare steps leave a different state\n"
                     "installer:\n%sbare:\n%s",
                     installerState.c_str(), bareState.c_str());
        return 1;
    }
    if (verbose) std::fprintf(stderr, "end state of both:\n%s", installerState.c_str());
    for (const Copy& copy : *family.copies) {
        const std::string line =
            std::string("\\") + copy.installedName + " " + std::to_string(kPlaceholderSize) + "\n";
        if (installerState.find(line) == std::string::npos) {
            std::fprintf(stderr, "install_probe: %s was not installed\n%s",
                         copy.installedName.c_str(), installerState.c_str());
            return 1;
        }
    }

    std::vector<double> installerTimes;
    std::vector<double> bareTimes;
    for (int i = 0; i < runs; ++i) {
        removeInstallation(family);
        installerTimes.push_back(runInstaller(family, selection).ms);
        removeInstallation(family);
        bareTimes.push_back((family.nt ? runBareNt() : runBare9x(serial)).ms);
    }
    removeInstallation(family);

    std::printf("family=%s\nversion=%lu.%lu\n", family.nt ? "nt" : "9x", version.major,
                version.minor);
    if (family.nt) {
        std::printf("port_used=LPT1\n");
    } else if (serial) {
        std::printf("port_used=COM1\n");
    } else {
        std::printf("port_used=LPT1\ncom1_error=%lu\n", com1Error);
    }
    std::printf("add_printer_error_installer=%lu\nadd_printer_error_bare=%lu\n",
                firstInstaller.addPrinterError, firstBare.addPrinterError);
    std::printf("runs=%d\ninstaller_median_ms=%.3f\nbare_median_ms=%.3f\n", runs,
                median(installerTimes), median(bareTimes));
    return 0;
}
