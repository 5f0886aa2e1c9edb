#include "deploy/command_line.h"

#include <cstring>

#include "catalogue/names.h"
#include "common/utf8.h"

namespace setup {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool ArgumentList::split(const char* commandLine) {
    count_ = 0;
    const char* p = commandLine ? commandLine : "";
    // The program name ends at the closing quote, or at a space; backslashes
    // in it are only path separators.
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p) ++p;
    } else {
        while (*p && !isSpace(*p)) ++p;
    }
    std::size_t used = 0;
    for (;;) {
        while (isSpace(*p)) ++p;
        if (*p == '\0') return true;
        if (count_ == kMaxArguments) return false;
        char* out = buffer_ + used;
        std::size_t length = 0;
        auto put = [&](char c) {
            if (used + length + 1 >= kBufferSize) return false;
            out[length++] = c;
            return true;
        };
        bool quoted = false;
        while (*p && (quoted || !isSpace(*p))) {
            if (*p == '\\') {
                std::size_t slashes = 0;
                while (*p == '\\') {
                    ++slashes;
                    ++p;
                }
                if (*p == '"') {
                    for (std::size_t i = 0; i < slashes / 2; ++i) {
                        if (!put('\\')) return false;
                    }
                    if (slashes % 2 == 1) {
                        if (!put('"')) return false;
                        ++p;
                    }
                } else {
                    for (std::size_t i = 0; i < slashes; ++i) {
                        if (!put('\\')) return false;
                    }
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {
                    if (!put('"')) return false;
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                if (!put(*p)) return false;
                ++p;
            }
        }
        out[length] = '\0';
        arguments_[count_++] = out;
        used += length + 1;
    }
}

ParsedCommandLine parseCommandLine(int count, const char* const* arguments) {
    ParsedCommandLine parsed;
    DeployRequest& request = parsed.request;
    auto fail = [&](UsageError error, const char* offending) {
        parsed.error = error;
        parsed.offending = offending;
        return parsed;
    };
    if (count == 0) return parsed;
    const char* command = arguments[0];
    if (sameTextIgnoringCase(command, "help") || sameTextIgnoringCase(command, "--help") ||
        sameTextIgnoringCase(command, "/?")) {
        if (count > 1) return fail(UsageError::UnknownOption, arguments[1]);
        return parsed;
    }
    if (sameTextIgnoringCase(command, "install")) {
        request.command = Command::Install;
    } else if (sameTextIgnoringCase(command, "remove")) {
        request.command = Command::Remove;
    } else if (sameTextIgnoringCase(command, "status")) {
        request.command = Command::Status;
    } else if (sameTextIgnoringCase(command, "default")) {
        request.command = Command::SetDefault;
    } else {
        return fail(UsageError::UnknownCommand, command);
    }

    // Which options each command takes.
    const bool install = request.command == Command::Install;
    const bool remove = request.command == Command::Remove;
    struct Option {
        const char* name;
        bool takesValue;
        bool allowed;
        bool seen;
    };
    Option options[] = {
        {"--model", true, true, false},
        {"--default", false, install, false},
        {"--port", true, install, false},
        {"--package", true, install, false},
        {"--log", true, install || remove, false},
    };
    for (int i = 1; i < count; ++i) {
        Option* option = nullptr;
        for (Option& candidate : options) {
            if (sameTextIgnoringCase(arguments[i], candidate.name)) option = &candidate;
        }
        if (!option || !option->allowed) return fail(UsageError::UnknownOption, arguments[i]);
        if (option->seen) return fail(UsageError::Repeated, arguments[i]);
        option->seen = true;
        if (!option->takesValue) {
            request.setAsDefault = true;
            continue;
        }
        // A value is never empty and never another option.
        if (i + 1 == count || arguments[i + 1][0] == '\0' ||
            std::strncmp(arguments[i + 1], "--", 2) == 0) {
            return fail(UsageError::MissingValue, arguments[i]);
        }
        const char* value = arguments[++i];
        if (option == &options[0]) {
            request.modelIndex = findModel(value);
            if (request.modelIndex < 0) return fail(UsageError::UnknownModel, value);
        } else if (option == &options[2]) {
            request.portIndex = findPort(value);
            if (request.portIndex < 0) return fail(UsageError::UnknownPort, value);
        } else {
            std::uint16_t wide[kMaxPathUnits + 1];
            if (utf8ToUtf16(value, wide, kMaxPathUnits + 1) > kMaxPathUnits) {
                return fail(UsageError::PathTooLong, arguments[i - 1]);
            }
            (option == &options[3] ? request.packageFolder : request.logFile) = value;
        }
    }
    if ((install || remove || request.command == Command::SetDefault) && request.modelIndex < 0) {
        return fail(UsageError::MissingModel, command);
    }
    return parsed;
}

}  // namespace setup
