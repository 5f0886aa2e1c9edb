// How an installation runs beyond what was chosen: where the driver package
// lies and how a failed registry write is told. The defaults are the
// wizard's: the package under the current directory, the failure shown at once.
#pragma once

namespace setup {

struct InstallOptions {
    // The folder holding "win2k" and "win9x", without a trailing backslash,
    // in the ANSI code page; empty for the current directory.
    const char* packageFolder = "";
    // A silent run shows nothing: a registry value that cannot be set is
    // recorded in the report like every other failed step.
    bool silent = false;
};

}  // namespace setup
