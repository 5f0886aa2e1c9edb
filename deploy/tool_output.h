// The tool's words: texts from its string table in the user's language
// (Chinese or English), written to the console so that any code page shows
// them, and to the log file, one timestamped UTF-8 line each.
#pragma once

#include <windows.h>

#include "common/wide_line.h"
#include "deploy/deployment.h"

namespace setup {

class ToolOutput final : public DeployOutput {
public:
    ToolOutput();
    ~ToolOutput();
    ToolOutput(const ToolOutput&) = delete;
    ToolOutput& operator=(const ToolOutput&) = delete;

    enum class LogOpen { Opened, Failed, Linked };
    // Appends to the file from now on. Failed (with the system's error) when
    // it cannot be opened for appending or is no disk file; Linked when it is
    // a hard link, symbolic link or junction, which the tool never writes through.
    LogOpen openLog(const WCHAR* path, DWORD* error);

    void line(Stream stream, int textId, const char* detail) override;
    void failure(int textId, const char* detail, std::uint32_t error) override;
    void plain(const char* text) override;

    // A text of the string table followed by a UTF-16 detail.
    void lineWide(Stream stream, int textId, const WCHAR* detail);
    // Only to the log (the command line the run was started with).
    void logOnly(int textId, const WCHAR* detail);
    // The text of a string id in the chosen language.
    void appendString(WideLine& line, int textId) const;
    // Text on a stream, with no log line (help).
    void write(Stream stream, const WCHAR* text, int length);

private:
    void emit(Stream stream, const WideLine& line, bool toConsole);
    void log(const WideLine& line);

    // CreateFile of the log with this disposition and sharing.
    HANDLE openLogFile(const WCHAR* path, DWORD disposition, DWORD share);
    // Opened when the open log is a plain disk file of one name; closes it otherwise.
    LogOpen checkLog(DWORD* error);
    void closeLog();
    void append(const char* bytes, DWORD size);

    LANGID language_;
    HANDLE log_ = INVALID_HANDLE_VALUE;
    // Windows 9x cannot open a file for appending only: a lock around the
    // seek and the write keeps two runs' lines apart there.
    bool lockToAppend_ = false;
};

}  // namespace setup
