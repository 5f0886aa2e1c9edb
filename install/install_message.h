// Turns what failed during an installation into the one message the user
// sees at the end: what failed, by string id with the names involved, and
// what to do about it.
#pragma once

#include <cstddef>

#include "common/bounded_text.h"
#include "install/install_report.h"
#include "install/os_class.h"
#include "resources/resource.h"

namespace setup {

// Advice is given in this order, whatever order the failures came in, each
// piece at most once.
constexpr int kAdviceOrder[] = {IDS_ADVICE_SHORTER_PATH, IDS_ADVICE_FOLDER_WIN2K,
                                IDS_ADVICE_FOLDER_WIN9X, IDS_ADVICE_CLOSE_PROGRAMS,
                                IDS_ADVICE_SPOOLER,      IDS_ADVICE_32BIT,
                                IDS_ADVICE_ADMIN};

class InstallMessage {
public:
    static constexpr int kMaxLines = 8;
    // Room for every piece of advice there is.
    static constexpr int kMaxAdvice =
        static_cast<int>(sizeof kAdviceOrder / sizeof kAdviceOrder[0]);

    struct Line {
        int stringId;
        BoundedText<256> names;  // "QM47.DLL, UNIRES.DLL"; empty when the text says all
    };

    bool empty() const { return lineCount_ == 0; }
    int lineCount() const { return lineCount_; }
    const Line& line(int index) const { return lines_[index]; }
    int adviceCount() const { return adviceCount_; }
    int advice(int index) const { return advice_[index]; }

    // Adds `name` to the line with this string id, starting it if needed.
    void addLine(int stringId, const char* name);
    void addAdvice(int stringId);

private:
    Line lines_[kMaxLines];
    int lineCount_ = 0;
    int advice_[kMaxAdvice] = {};
    int adviceCount_ = 0;
};

// windowsIs64Bit: the printer of a 32-bit driver package cannot be created
// on 64-bit Windows, which deserves its own explanation.
// currentDirectoryLength: a file that was not found may only lie too deep for
// the ANSI file functions, which a user fixes differently.
InstallMessage composeInstallMessage(const InstallReport& report, InstallFamily family,
                                     bool windowsIs64Bit, std::size_t currentDirectoryLength);

}  // namespace setup
