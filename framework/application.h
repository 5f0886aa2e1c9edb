// The one application object of the process. WinMain hands control to it;
// the whole program runs inside InitInstance, and the process ends when it
// returns.
#pragma once

#include <windows.h>

namespace setup {

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the program; returning false ends the process (there is no
    // message loop of the application's own).
    virtual bool InitInstance() = 0;

    // Called by WinMain.
    int run(HINSTANCE instance);

    HINSTANCE instance() const { return instance_; }
    static Application& current();

private:
    HINSTANCE instance_ = nullptr;
};

// Loads string `id` of the string table as UTF-16 into buffer; works on every
// Windows from 95 on (the table is read directly). Returns the length, 0 if
// the string is missing.
int loadWideString(UINT id, WCHAR* buffer, int size);

}  // namespace setup
