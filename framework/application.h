// The one application object of the process. WinMain hands control to it;
// the whole program runs inside InitInstance, and the process ends when it
// returns.
#pragma once

#include <windows.h>

namespace setup {

class Application {
public:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the program; returning false ends the process (there is no
    // message loop of the application's own).
    virtual bool InitInstance() = 0;

    // Called by WinMain with the module whose resources the pages use.
    int run(HINSTANCE instance);

    HINSTANCE instance() const { return instance_; }

protected:
    // The application is an object of its own class, never deleted through
    // this one.
    ~Application();

private:
    HINSTANCE instance_ = nullptr;
};

// The module the dialogs and strings are loaded from: that of the
// application that runs; before one runs (or after it is gone), the
// executable itself. Never fails, so nothing can reach an application
// object that does not exist yet.
HINSTANCE applicationInstance();

// Loads string `id` of the string table as UTF-16 into buffer; works on every
// Windows from 95 on (the table is read directly). Returns the length, 0 if
// the string is missing or empty.
int loadWideString(UINT id, WCHAR* buffer, int size);

// Appends a separator and then an entry with command `command` and the text
// of string `stringId` to `menu`; nothing when the string is missing or
// empty. Returns whether the entry was added.
bool appendMenuEntry(HMENU menu, UINT command, UINT stringId);

}  // namespace setup
