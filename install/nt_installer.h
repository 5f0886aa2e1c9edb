// Installation on Windows NT 4.0, 2000, XP, 2003 and Vista: the Universal
// Printer Driver files from "win2k", the driver and the printer, the user's
// default printer and, for a serial port, the port's mode string.
#pragma once

#include "install/install_options.h"
#include "install/install_report.h"
#include "install/install_selection.h"
#include "install/system_api.h"

namespace setup {

class NtInstaller {
public:
    explicit NtInstaller(SystemApi& api, const InstallOptions& options = {})
        : api_(api), options_(options) {}

    // Runs every step, going on after failures; returns what failed.
    InstallReport run(const InstallSelection& selection);

private:
    SystemApi& api_;
    InstallOptions options_;
};

}  // namespace setup
