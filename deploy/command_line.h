// The tool's command line: splitting it into arguments and reading them into
// one request. Plain logic; the arguments are UTF-8.
#pragma once

#include <cstddef>

#include "catalogue/names.h"

namespace setup {

// Splits a command line the way the C runtime (msvcrt since 2008) does:
// spaces separate, quotes group, 2n backslashes before a quote give n and
// toggle quoting, 2n+1 give n and a literal quote, and "" inside quotes gives
// a literal quote and stays quoted. The program name is skipped first.
class ArgumentList {
public:
    static constexpr int kMaxArguments = 24;
    static constexpr std::size_t kBufferSize = 4096;

    // False when the line does not fit the fixed room; nothing is then read.
    bool split(const char* commandLine);

    int count() const { return count_; }
    const char* const* arguments() const { return arguments_; }

private:
    char buffer_[kBufferSize] = {};
    const char* arguments_[kMaxArguments] = {};
    int count_ = 0;
};

// SetDefault ("default") makes the model's printer the calling user's
// default; it is what each user runs at logon after a machine-wide install.
enum class Command { Help, Install, Remove, Status, SetDefault };

struct DeployRequest {
    Command command = Command::Help;
    int modelIndex = -1;  // catalogue row; -1 when no --model was given
    int portIndex = 0;    // LPT1 unless --port says otherwise
    bool setAsDefault = false;
    const char* packageFolder = nullptr;  // as given; null for the program's own folder
    const char* logFile = nullptr;        // null for no log
};

enum class UsageError {
    None,
    UnknownCommand,
    UnknownOption,  // also an option the command does not take
    UnknownModel,
    UnknownPort,
    MissingValue,
    Repeated,
    MissingModel,
    TooLong,      // the command line does not fit
    PathTooLong,  // a --package or --log path longer than kMaxPathUnits
};

// The longest --package or --log path the tool takes, in UTF-16 units: its
// wide path buffers hold this many and the NUL. A longer one is refused, never cut.
constexpr std::size_t kMaxPathUnits = 1039;

struct ParsedCommandLine {
    DeployRequest request;
    UsageError error = UsageError::None;
    const char* offending = "";  // the argument the error is about
};

// arguments: without the program name. No arguments, "help", "--help" and
// "/?" ask for help.
ParsedCommandLine parseCommandLine(int count, const char* const* arguments);

}  // namespace setup
