// Which Windows the program runs on, as one small number, and which
// installation procedure that number selects.
#pragma once

#include <cstdint>

namespace setup {

// 0 not recognised, 1 Windows 95, 2 Windows 98/ME, 3 NT 4.0 or earlier,
// 4 Windows 2000 (or an unknown platform), 5 XP, 6 2003, 7 Vista.
using OsClass = std::int32_t;

struct OsVersion {
    std::uint32_t platformId;  // VER_PLATFORM_WIN32_WINDOWS (1) or _NT (2)
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
};

// The class for a version, or `previous` when the version is not one the
// program knows.
OsClass classifyOs(const OsVersion& version, OsClass previous);

// One GetVersionExA call with the record's size field set to `recordSize`;
// false when the call fails.
using VersionQuery = bool (*)(std::uint32_t recordSize, OsVersion* version);

constexpr std::uint32_t kVersionInfoExSize = 156;  // OSVERSIONINFOEXA
constexpr std::uint32_t kVersionInfoSize = 148;    // OSVERSIONINFOA

// Asks for the extended record, then the plain one; classifies into
// `variable`, which keeps its value when both calls fail.
void detectOsClass(VersionQuery query, OsClass& variable);

// The process-wide class: 0 at start, written only by detectOsClass().
OsClass currentOsClass();
void detectOsClass(VersionQuery query);

enum class InstallFamily { None, Win9x, Nt };
InstallFamily installFamilyFor(OsClass osClass);

}  // namespace setup
