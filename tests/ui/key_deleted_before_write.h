// Makes one registry write of Setup.exe fail for real: Setup.exe runs under
// this test as its debugger, with a breakpoint on RegSetValueExA. When the
// program, holding the key open, is about to set the named value, the key is
// deleted (as another program could do at that moment) and the program goes
// on; its RegSetValueExA then fails with ERROR_KEY_DELETED.
//
// Wine gives a separate process no other way: a key's security is checked
// when it is opened, so a key that opens for setting values always takes
// them, and a key deleted before the open makes the open fail instead.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace ui {

class KeyDeletedBeforeWrite {
public:
    // Starts Setup.exe in `folder` under the debugger. `root`\`key` is deleted
    // when the program calls RegSetValueExA for `valueName`.
    KeyDeletedBeforeWrite(const std::wstring& folder, HKEY root, std::wstring key,
                          std::string valueName);
    ~KeyDeletedBeforeWrite();
    KeyDeletedBeforeWrite(const KeyDeletedBeforeWrite&) = delete;
    KeyDeletedBeforeWrite& operator=(const KeyDeletedBeforeWrite&) = delete;

    // The debugged process, once started (nullptr if it could not start).
    HANDLE process() const { return process_; }
    DWORD processId() const { return processId_; }
    // The breakpoint is in place (the DLL holding RegSetValueExA is loaded).
    bool armed() const { return armed_; }
    // The key was deleted at the write; the debugger has let go of the program.
    bool keyDeleted() const { return keyDeleted_; }

private:
    void debug(std::wstring folder);
    bool arm(HANDLE process);
    void onBreakpoint(HANDLE process, DWORD threadId);

    HKEY root_;
    std::wstring key_;
    std::string valueName_;
    const void* target_ = nullptr;  // RegSetValueExA, at the same address in every process
    const void* targetModule_ = nullptr;
    unsigned char original_ = 0;
    std::atomic<HANDLE> process_{nullptr};
    std::atomic<DWORD> processId_{0};
    std::atomic<bool> started_{false};
    std::atomic<bool> armed_{false};
    std::atomic<bool> keyDeleted_{false};
    std::atomic<bool> stop_{false};
    bool stepping_ = false;
    bool detached_ = false;
    std::thread thread_;
};

}  // namespace ui
