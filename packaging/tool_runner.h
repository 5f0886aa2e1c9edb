// Runs TolmarDeploy for the MSI's custom actions: without a console, so the
// tool writes UTF-8 (its rule when it has none), read back line by line as
// UTF-16, and never waited for longer than a limit the caller gives.
#pragma once

#include <windows.h>

#include "common/wide_line.h"

namespace setup {

// Where the runner's lines go: the tool's own (prefixed "TolmarDeploy: ")
// and the runner's account of what it did.
using ToolLineSink = void (*)(void* context, const WideLine& line);

struct ToolRunner {
    ToolLineSink sink;
    void* context;
    DWORD limitMs;  // the tool is ended when it runs longer
};

// How one run of the tool ended; with watchModel, whether any line it wrote
// began with that model's name (a status line).
struct ToolRun {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 1;
    const char* watchModel = nullptr;
    bool mentioned = false;
};

// Runs arguments[0] with the other arguments and waits for it, at most
// runner.limitMs. With relay, the command line and every line the tool
// writes go to the sink as they come; the runner's failures always do.
void runTool(const ToolRunner& runner, const char* const* arguments, int count, bool relay,
             ToolRun& run);

}  // namespace setup
