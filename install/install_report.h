// What went wrong during one installation run. The steps keep going after a
// failure; each failure is collected here so the wizard can tell the user
// once, at the end, what failed and what to do about it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace setup {

enum class InstallStep {
    InvalidSelection,  // a list had no selection; nothing was installed
    DriverDirectory,   // the spooler's driver directory could not be obtained
    CopyDriverFile,    // subject: the file name
    RegisterDriver,    // subject: the model name
    CreatePrinter,     // subject: the model name
    OpenRegistryKey,   // subject: the key path
    SetRegistryValue,  // subject: the value name; recorded only by a silent run
};

struct InstallFailure {
    InstallStep step;
    char subject[80];
    std::uint32_t error;  // Win32 error code
};

class InstallReport {
public:
    // More than any run can produce: one per copy, directory, driver,
    // printer and registry key.
    static constexpr int kCapacity = 16;

    void add(InstallStep step, const char* subject, std::uint32_t error);

    bool succeeded() const { return count_ == 0; }
    int count() const { return count_; }
    const InstallFailure& at(int index) const { return failures_[index]; }
    bool has(InstallStep step) const;

private:
    InstallFailure failures_[kCapacity] = {};
    int count_ = 0;
};

}  // namespace setup
