// What TolmarDeploy does for each command, over the installers' system
// interface: the checks before anything is written, the installation the
// wizard runs, the removal, the status lines, and the exit code of each.
// Plain logic; the texts are string ids the caller turns into words.
#pragma once

#include <cstdint>

#include "catalogue/model_catalogue.h"
#include "common/bounded_text.h"
#include "deploy/command_line.h"
#include "install/os_class.h"
#include "install/system_api.h"

namespace setup {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,              // a step failed; or, for status --model, not installed
    kExitUsage = 2,               // the command line is wrong; nothing was done
    kExitUnsupported = 3,         // this Windows cannot take the package; nothing was written
    kExitBusy = 1618,             // another run kept its turn past the wait; nothing was done
    kExitRestartRequired = 3010,  // removed; a driver file in use goes at the next restart
    // 70, a fault of the program itself, is common/startup.h's kExitInternalFault.
};

enum class Stream { Out, Err };

// Where the tool's words go: standard output or error, and the log.
class DeployOutput {
public:
    // The text of string `textId` followed by detail (ASCII), as one line.
    virtual void line(Stream stream, int textId, const char* detail) = 0;
    // A failed step: the text, detail and the system's words for `error`, on
    // standard error.
    virtual void failure(int textId, const char* detail, std::uint32_t error) = 0;
    // An ASCII line on standard output as it is (status).
    virtual void plain(const char* text) = 0;

protected:
    ~DeployOutput() = default;
};

// A moment in UTC, as SYSTEMTIME holds it.
struct RunTime {
    std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct DeployContext {
    bool versionKnown = false;
    OsVersion version = {};
    bool windows64 = false;  // 64-bit Windows, whatever this process is
    // The package folder in the ANSI code page, checked to exist; "" for the
    // current directory.
    const char* packageFolder = "";
    // The full path of the logon program beside this one, in the ANSI code
    // page, for the command each user runs at logon; "" where it cannot be
    // spelled there.
    const char* logonProgramPath = "";
    // The name the per-user default-printer component shows, in the ANSI
    // code page; "" for the model's name alone.
    const char* componentName = "";
    // When this run started.
    RunTime startTime;
};

// The Active Setup component through which a machine-wide install run as
// SYSTEM makes the model's printer each user's default at their next logon:
// its key under HKLM, and the command it runs for each user: the default
// command of the logon program beside the tool, a GUI program, so no
// console window opens at logon ("" when the path cannot go into it).
using ActiveSetupText = BoundedText<512>;
ActiveSetupText activeSetupKey(const ModelRow& model);
ActiveSetupText activeSetupStubPath(const char* logonProgramPath, const ModelRow& model);
// The component's version, "a,b,c,d" as Active Setup compares it, from the
// time of the install: each install is newer than the last, so a reinstall
// serves again the users an earlier one served.
ActiveSetupText activeSetupVersion(const RunTime& time);

// The installation procedure this Windows takes: the wizard's classification,
// and the NT procedure for NT 6.1 and later as well.
InstallFamily deployFamily(const DeployContext& context);

// The printing environment whose drivers belong to this Windows.
const char* driverEnvironment(InstallFamily family);

// How long a run waits for another run's install or removal to end.
constexpr std::uint32_t kTurnWaitMilliseconds = 5 * 60 * 1000;

// The mutex through which runs on one computer take turns: global on NT 5
// and later, so runs in every session (services, remote desktops) share it;
// NT 4 and the 9x family have one namespace and no "Global\\" prefix.
const char* deploymentMutexName(const DeployContext& context);

// This run's turn to change the computer. Released and closed on every way
// out, so the next run never mistakes a finished run for one that died.
// On the NT family only administrators and SYSTEM take turns: the mutex is
// theirs alone, and a mutex of the name someone else made (any user can make
// one) makes no run wait.
class DeploymentTurn {
public:
    explicit DeploymentTurn(DeploymentSystemApi& api) : api_(api), mutex_(api) {}
    ~DeploymentTurn() {
        if (owned_) api_.releaseMutex(mutex_.get());
    }
    DeploymentTurn(const DeploymentTurn&) = delete;
    DeploymentTurn& operator=(const DeploymentTurn&) = delete;

    // Takes the turn, waiting at most `limitMilliseconds` for a run that
    // has it and saying so; kExitOk once taken, or when there is no turn
    // this run can take part in (a mutex of another owner, or an account
    // that may not own it) and it goes on without; kExitBusy when the wait
    // ends first, kExitFailed when the mutex fails (after saying why).
    int take(const DeployContext& context, std::uint32_t limitMilliseconds, DeployOutput& output);

private:
    DeploymentSystemApi& api_;
    ScopedFile mutex_;
    bool owned_ = false;
};

// Makes the model's printer the calling user's default: the default
// command, which the logon program runs for each user.
int runSetDefault(const DeployRequest& request, const DeployContext& context,
                  DeploymentSystemApi& api, DeployOutput& output);

// Runs an install, remove, status or default request; help is the caller's.
int runDeployRequest(const DeployRequest& request, const DeployContext& context,
                     DeploymentSystemApi& api, DeployOutput& output);

}  // namespace setup
