// TolmarLogon.exe: the command Active Setup runs once for each user at
// logon after an install as SYSTEM with --default ("TolmarLogon.exe default
// --model NAME"): the model's printer becomes the user's default. The same
// command as TolmarDeploy's default, in a GUI program, so that no console
// window opens at logon. It has no window and no words: Active Setup reads
// neither, and only the exit code tells what happened (TolmarDeploy's).
#include <windows.h>

#include "common/startup.h"
#include "common/system_library.h"
#include "deploy/command_line.h"
#include "deploy/deployment.h"
#include "deploy/nt_functions.h"
#include "install/os_version.h"
#include "install/win32_deployment_system.h"

namespace setup {
namespace {

// Where nobody reads.
class NoOutput final : public DeployOutput {
public:
    void line(Stream, int, const char*) override {}
    void failure(int, const char*, std::uint32_t) override {}
    void plain(const char*) override {}
};

int run() {
    static char line[ArgumentList::kBufferSize];
    static ArgumentList arguments;
    if (!commandLineUtf8(line, sizeof line) || !arguments.split(line)) return kExitUsage;
    const ParsedCommandLine parsed = parseCommandLine(arguments.count(), arguments.arguments());
    // Only the one command it is registered with.
    if (parsed.error != UsageError::None || parsed.request.command != Command::SetDefault) {
        return kExitUsage;
    }
    DeployContext context;
    OsVersion version = {};
    context.versionKnown = queryWindowsVersion(kVersionInfoExSize, &version) ||
                           queryWindowsVersion(kVersionInfoSize, &version);
    context.version = version;
    Win32DeploymentSystem system;
    NoOutput output;
    return runSetDefault(parsed.request, context, system, output);
}

}  // namespace
}  // namespace setup

// The entry point the linker looks for in a GUI program; like the tool, it
// links no C runtime. Windows may enter with the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    // No system box for a missing disk or a crash at anyone's logon.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    setup::constructStaticObjects();
    setup::restrictDllSearchToSystemFolder();
    const int result = setup::run();
    setup::destroyStaticObjects();
    ExitProcess(static_cast<UINT>(result));
}
