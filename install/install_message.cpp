#include "install/install_message.h"

#include <cstring>

#include "install/install_steps.h"
#include "install/system_api.h"
#include "resources/resource.h"

namespace setup {
namespace {

// The package folders with their separator, "win2k\\" and "win9x\\", are as
// long as each other.
static_assert(sizeof kNtPackageFolder == sizeof kWin9xPackageFolder);
constexpr std::size_t kPackageFolderLength = sizeof kNtPackageFolder;

}  // namespace

void InstallMessage::addLine(int stringId, const char* name) {
    Line* line = nullptr;
    for (int i = 0; i < lineCount_; ++i) {
        if (lines_[i].stringId == stringId) line = &lines_[i];
    }
    if (!line) {
        if (lineCount_ == kMaxLines) return;
        line = &lines_[lineCount_++];
        line->stringId = stringId;
    }
    if (name[0] == '\0') return;
    // A list too long for the box is cut at a whole name.
    const char* separator = line->names.size() != 0 ? ", " : "";
    if (line->names.size() + std::strlen(separator) + std::strlen(name) < line->names.capacity()) {
        line->names.append({separator, name});
    }
}

void InstallMessage::addAdvice(int stringId) {
    int wanted[kMaxAdvice];
    int count = 0;
    for (int id : kAdviceOrder) {
        bool present = id == stringId;
        for (int i = 0; i < adviceCount_; ++i) present = present || advice_[i] == id;
        if (present) wanted[count++] = id;
    }
    for (int i = 0; i < count; ++i) advice_[i] = wanted[i];
    adviceCount_ = count;
}

InstallMessage composeInstallMessage(const InstallReport& report, InstallFamily family,
                                     bool windowsIs64Bit, std::size_t currentDirectoryLength) {
    const bool nt = family == InstallFamily::Nt;
    InstallMessage message;
    for (int i = 0; i < report.count(); ++i) {
        const InstallFailure& failure = report.at(i);
        switch (failure.step) {
            case InstallStep::InvalidSelection:
                message.addLine(IDS_FAIL_NO_SELECTION, "");
                break;
            case InstallStep::DriverDirectory:
                message.addLine(IDS_FAIL_DRIVER_DIRECTORY, "");
                message.addAdvice(IDS_ADVICE_SPOOLER);
                message.addAdvice(IDS_ADVICE_ADMIN);
                break;
            case InstallStep::CopyDriverFile: {
                const bool notFound = failure.error == win32::kErrorFileNotFound ||
                                      failure.error == win32::kErrorPathNotFound;
                // The source's full path: directory, "\", folder, name, NUL.
                const bool sourceTooDeep = currentDirectoryLength + 1 + kPackageFolderLength +
                                               std::strlen(failure.subject) + 1 >
                                           kMaxPath;
                if ((notFound || failure.error == win32::kErrorFilenameExcedRange) &&
                    sourceTooDeep) {
                    message.addLine(IDS_FAIL_PATH_TOO_LONG, failure.subject);
                    message.addAdvice(IDS_ADVICE_SHORTER_PATH);
                } else if (failure.error == win32::kErrorSharingViolation ||
                           failure.error == win32::kErrorLockViolation) {
                    message.addLine(IDS_FAIL_FILES_IN_USE, failure.subject);
                    message.addAdvice(IDS_ADVICE_CLOSE_PROGRAMS);
                } else if (notFound) {
                    message.addLine(
                        nt ? IDS_FAIL_FILES_MISSING_WIN2K : IDS_FAIL_FILES_MISSING_WIN9X,
                        failure.subject);
                    message.addAdvice(nt ? IDS_ADVICE_FOLDER_WIN2K : IDS_ADVICE_FOLDER_WIN9X);
                } else {
                    message.addLine(IDS_FAIL_FILES_NOT_COPIED, failure.subject);
                    message.addAdvice(IDS_ADVICE_ADMIN);
                }
                break;
            }
            case InstallStep::RegisterDriver:
                message.addLine(IDS_FAIL_DRIVER, failure.subject);
                message.addAdvice(IDS_ADVICE_ADMIN);
                break;
            case InstallStep::CreatePrinter:
                if (nt && windowsIs64Bit) {
                    message.addLine(IDS_FAIL_PRINTER_64BIT, failure.subject);
                    message.addAdvice(IDS_ADVICE_32BIT);
                } else {
                    message.addLine(IDS_FAIL_PRINTER, failure.subject);
                    message.addAdvice(IDS_ADVICE_ADMIN);
                }
                break;
            case InstallStep::OpenRegistryKey:
                message.addLine(IDS_FAIL_REGISTRY, failure.subject);
                message.addAdvice(IDS_ADVICE_ADMIN);
                break;
            case InstallStep::SetRegistryValue:
                break;  // the wizard's runs are not silent: it was shown at once
        }
    }
    return message;
}

}  // namespace setup
