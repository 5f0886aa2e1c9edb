#include "install/install_report.h"

#include <cstring>

namespace setup {

void InstallReport::add(InstallStep step, const char* subject, std::uint32_t error) {
    if (count_ == kCapacity) return;  // cannot happen with today's steps; never overflow
    InstallFailure& failure = failures_[count_++];
    failure.step = step;
    failure.error = error;
    // The subject only names the file or key for the user; a long one is cut.
    std::strncpy(failure.subject, subject, sizeof failure.subject - 1);
    failure.subject[sizeof failure.subject - 1] = '\0';
}

bool InstallReport::has(InstallStep step) const {
    for (int i = 0; i < count_; ++i) {
        if (failures_[i].step == step) return true;
    }
    return false;
}

}  // namespace setup
