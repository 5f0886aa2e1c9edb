// Installation on Windows 95, 98 and ME: the family's .DRV driver with the
// universal driver library from "win9x", the driver and the printer (marked
// default through its attributes) and, for a serial port, the port's DCB.
#pragma once

#include "install/install_options.h"
#include "install/install_report.h"
#include "install/install_selection.h"
#include "install/system_api.h"

namespace setup {

class Win9xInstaller {
public:
    explicit Win9xInstaller(SystemApi& api, const InstallOptions& options = {})
        : api_(api), options_(options) {}

    // Runs every step, going on after failures; returns what failed.
    InstallReport run(const InstallSelection& selection);

private:
    void recordSerialSettings(const InstallSelection& selection, InstallReport& report);

    SystemApi& api_;
    InstallOptions options_;
};

}  // namespace setup
