// Program entry: an ANSI WinMain, which keeps the start-up code on functions
// every Windows from 95 on has.
#include <windows.h>

#include "app/setup_app.h"
#include "common/system_library.h"

namespace {

setup::SetupApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    setup::restrictDllSearchToSystemFolder();
    return setup::Application::current().run(instance);
}
