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
#include "install/win32_system.h"
#include "install/win9x_installer.h"
#include "tests/support/wine_support.h"

namespace {

// Row 0 of the model list and what its installation names.
constexpr char kModel[] = "QM-4712II";
constexpr char kNtEnvironment[] = "Windows NT x86";
constexpr char k9xEnvironment[] = "Windows 4.0";
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char kFirstPortKey[] = "System\\CurrentControlSet\\Services\\Class\\Ports\\0000";
constexpr DWORD kPlaceholderSize = 64 * 1024;
constexpr int kCom1Index = 3;

struct Copy {
    const char* source;
    const char* installedName;
};
const std::vector<Copy> kNtCopies = {
    {"win2k\\QM47.DLL", "QM47.DLL"},         {"win2k\\QM4712II.GPD", "QM4712II.GPD"},
    {"win2k\\uniDRVui.DLL", "uniDRVui.DLL"}, {"win2k\\uniDRV.DLL", "uniDRV.DLL"},
    {"win2k\\UNIDRV.HLP", "UNIDRV.HLP"},     {"win2k\\UNIRES.DLL", "UNIRES.DLL"},
    {"win2k\\TTFSUB.GPD", "TTFSUB.GPD"},     {"win2k\\STDNAMES.GPD", "STDNAMES.GPD"},
};
const std::vector<Copy> k9xCopies = {
    {"win9x\\QM47.DRV", "QM47.DRV"},
    {"win9x\\iconlib.DLL", "iconlib.DLL"},
    {"win9x\\uniDRV.DLL", "uniDRV.DLL"},
    {"win9x\\uniDRV.hlp", "uniDRV.HLP"},
};

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
bool layOutPackages(const setup::winetest::WorkFolder& folder) {
    for (const char* family : {"win2k", "win9x"}) {
        if (!CreateDirectoryA((folder.path() + "\\" + family).c_str(), nullptr)) return false;
    }
    for (const auto* copies : {&kNtCopies, &k9xCopies}) {
        for (const Copy& copy : *copies) {
            const std::string line = setup::winetest::placeholderContent(copy.source);
            std::string content;
            while (content.size() < kPlaceholderSize) content += line;
            content.resize(kPlaceholderSize);
            if (!setup::winetest::writeFile(folder.path() + "\\" + copy.source, content)) {
                return false;
            }
        }
    }
    return true;
}

std::string registryValueText(HKEY root, const char* subKey, const char* name) {
    const auto value = setup::winetest::readRegistryValue(root, subKey, name);
    if (!value) return "no value";
    std::string text = "type " + std::to_string(value->type) + ":";
    char hex[4];
    for (const char byte : value->data) {
        std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(byte));
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

const Family kNt = {true, kNtEnvironment, &kNtCopies, HKEY_CURRENT_USER, kWindowsKey, "Device"};
const Family k9x = {false, k9xEnvironment, &k9xCopies, HKEY_LOCAL_MACHINE, kFirstPortKey, "DCB"};

// The installed names; AddPrinterDriverA copies the same names into the
// version folders.
std::vector<std::string> namesToRemove(const Family& family) {
    std::vector<std::string> names;
    for (const Copy& copy : *family.copies) names.push_back(copy.installedName);
    return names;
}

void removeInstallation(const Family& family) {
    setup::winetest::InstallationCleanup(kModel, family.environment, namesToRemove(family)).run();
    deleteRegistryValue(family.valueRoot, family.valueKey, family.valueName);
}

// What an installation left behind, for comparing the two ways of doing it:
// the files of the driver directory and its version folders with their
// sizes, the driver, the printer, the value written.
std::string installedState(const Family& family) {
    std::vector<std::string> lines;
    const std::string directory = setup::winetest::printerDriverDirectory(family.environment);
    std::vector<std::string> folders = setup::winetest::subfoldersOf(directory);
    folders.push_back(directory);
    for (const std::string& folder : folders) {
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

    lines.push_back(
        std::string("driver ") +
        (setup::winetest::findDriver(family.environment, kModel) ? "registered" : "missing"));
    const auto printer = setup::winetest::findPrinter(kModel);
    lines.push_back(printer ? "printer on " + printer->port + ", attributes " +
                                  std::to_string(printer->attributes)
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
        if (failure.step == setup::InstallStep::AddPrinter) {
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
    CopyFileA(copy.source, driverPath(directory, copy.installedName).c_str(), FALSE);
}

PRINTER_INFO_2A barePrinter(const char* port, DWORD attributes) {
    PRINTER_INFO_2A printer = {};
    printer.pPrinterName = mutableText(kModel);
    printer.pPortName = mutableText(port);
    printer.pDriverName = mutableText(kModel);
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
    RunResult result;
    const double start = nowMs();
    char directory[255] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, mutableText(kNtEnvironment), 1,
                               reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    for (const Copy& copy : kNtCopies) copyBare(directory, copy);

    char dependentFiles[255] = "\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD\0QM47.DLL";
    DRIVER_INFO_3A driver = {};
    driver.cVersion = 2;
    driver.pName = mutableText(kModel);
    driver.pEnvironment = mutableText(kNtEnvironment);
    driver.pDriverPath = mutableText("\\uniDRV.DLL");
    driver.pDataFile = mutableText("\\QM4712II.GPD");
    driver.pConfigFile = mutableText("\\uniDRVui.DLL");
    driver.pHelpFile = mutableText("\\uniDRV.HLP");
    driver.pDependentFiles = dependentFiles;
    driver.pMonitorName = mutableText("");
    driver.pDefaultDataType = mutableText("RAW");
    AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver));

    PRINTER_INFO_2A printerInfo = barePrinter("LPT1:", 0);
    SetLastError(0);
    const HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printerInfo));
    if (!printer) result.addPrinterError = GetLastError();

    static const char device[] = "QM-4712II,winspool,LPT1:";
    setValue(HKEY_CURRENT_USER, kWindowsKey, "Device", REG_SZ,
             reinterpret_cast<const BYTE*>(device), sizeof device - 1);
    if (printer) ClosePrinter(printer);
    result.ms = nowMs() - start;
    return result;
}

RunResult runBare9x(bool serial) {
    RunResult result;
    const double start = nowMs();
    char directory[255] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory),
                               sizeof directory, &needed);
    copyBare(directory, k9xCopies[0]);
    copyBare(directory, k9xCopies[1]);
    // The shared library is copied only where none is installed yet.
    WIN32_FIND_DATAA found;
    const HANDLE search =
        FindFirstFileA(driverPath(directory, k9xCopies[2].installedName).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        copyBare(directory, k9xCopies[2]);
    } else {
        FindClose(search);
    }
    copyBare(directory, k9xCopies[3]);

    DRIVER_INFO_3A driver = {};
    driver.cVersion = 0;
    driver.pName = mutableText(kModel);
    driver.pEnvironment = mutableText(k9xEnvironment);
    driver.pDriverPath = mutableText("win9x\\QM47.DRV");
    driver.pDataFile = mutableText("win9x\\QM47.DRV");
    driver.pConfigFile = mutableText("win9x\\QM47.DRV");
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
        setValue(HKEY_LOCAL_MACHINE, kFirstPortKey, "DCB", REG_BINARY, record, sizeof record);
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
// the checks, the installation, its messages (to NUL here) and its log.
RunResult runDeploy(const std::string& packageFolder, const std::wstring& log, int* exitCode) {
    RunResult result;
    const double start = nowMs();
    {
        setup::ToolOutput output;
        DWORD error = 0;
        if (!output.openLog(log.c_str(), &error)) fail("cannot open the deployment log");
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
        setup::Win32System system;
        *exitCode = setup::runDeployRequest(request, context, system, output);
    }
    result.ms = nowMs() - start;
    return result;
}

// The same calls made bare: the tool's look at each package file, then the
// bare 9x steps.
RunResult runBareDeploy(const std::string& packageFolder) {
    const double start = nowMs();
    for (const Copy& copy : k9xCopies) {
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
    const Family& family = k9x;
    setup::winetest::ScopedRegistryKey windowsKey(HKEY_CURRENT_USER, kWindowsKey);
    setup::winetest::RegistryValueRestorer device(HKEY_CURRENT_USER, kWindowsKey, "Device");
    setup::winetest::WorkFolder packages;
    if (!packages.ready() || !layOutPackages(packages))
        fail("cannot lay out the placeholder driver files under %TEMP%");
    const std::wstring log = setup::winetest::widen((packages.path() + "\\deploy.log").c_str());
    // The tool's words go nowhere; its log is written as it would be.
    const HANDLE nul =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE savedError = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, nul);

    // One uncounted pair, whose end states must agree.
    int exitCode = -1;
    removeInstallation(family);
    runDeploy(packages.path(), log, &exitCode);
    const std::string deployState = installedState(family);
    removeInstallation(family);
    runBareDeploy(packages.path());
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
        deployTimes.push_back(runDeploy(packages.path(), log, &exitCode).ms);
        deployAgainTimes.push_back(runDeploy(packages.path(), log, &exitCode).ms);
        removeInstallation(family);
        bareTimes.push_back(runBareDeploy(packages.path()).ms);
        bareAgainTimes.push_back(runBareDeploy(packages.path()).ms);
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
    const Family& family = std::strcmp(argv[1], "nt") == 0 ? kNt : k9x;
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
    setup::winetest::ScopedRegistryKey valueKey(family.valueRoot, family.valueKey);
    if (!valueKey.ready()) fail("cannot create the registry key the installation writes to");
    if (setup::winetest::printerDriverDirectory(family.environment).empty()) {
        fail("GetPrinterDriverDirectoryA failed");
    }
    setup::winetest::WorkFolder packages;
    if (!packages.ready() || !layOutPackages(packages))
        fail("cannot lay out the placeholder driver files under %TEMP%");

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
            std::fprintf(stderr, "install_probe: %s was not installed\n%s", copy.installedName,
                         installerState.c_str());
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
