#include "install/os_class.h"

namespace setup {
namespace {

constexpr std::uint32_t kPlatformWindows = 1;
constexpr std::uint32_t kPlatformNt = 2;

OsClass processOsClass = 0;

}  // namespace

OsClass classifyOs(const OsVersion& version, OsClass previous) {
    const std::uint32_t major = version.majorVersion;
    const std::uint32_t minor = version.minorVersion;
    if (version.platformId == kPlatformWindows) {
        if (major != 4) return previous;
        if (minor == 0) return 1;
        if (minor == 10 || minor == 90) return 2;
        return previous;
    }
    if (version.platformId == kPlatformNt) {
        if (major <= 4) return 3;
        if (major == 5) {
            if (minor == 0) return 4;
            if (minor == 1) return 5;
            if (minor == 2) return 6;
            return previous;
        }
        if (major == 6 && minor == 0) return 7;
        return previous;
    }
    return 4;
}

void detectOsClass(VersionQuery query, OsClass& variable) {
    OsVersion version = {};
    if (!query(kVersionInfoExSize, &version) && !query(kVersionInfoSize, &version)) return;
    variable = classifyOs(version, variable);
}

OsClass currentOsClass() {
    return processOsClass;
}

void detectOsClass(VersionQuery query) {
    detectOsClass(query, processOsClass);
}

InstallFamily installFamilyFor(OsClass osClass) {
    if (osClass == 1 || osClass == 2) return InstallFamily::Win9x;
    if (osClass >= 3 && osClass <= 7) return InstallFamily::Nt;
    return InstallFamily::None;
}

}  // namespace setup
