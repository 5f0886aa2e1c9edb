// The program's message box: the wizard's pages and the installers' system
// interface both show it, so it sits below them.
#pragma once

#include <windows.h>

namespace setup {

// The executable's file name without folder or extension: the caption of
// the program's message boxes.
void applicationTitle(char* buffer, int size);

// The longest text the message box shows whole, in UTF-16 units.
constexpr int kMaxMessageChars = 4096;

// A modal message box owned by `owner` (the active window when null): OK
// button, exclamation icon, the application title as caption. The text is
// UTF-16 so it reads the same whatever the system's ANSI code page; where
// Windows has no MessageBoxW, at most kMaxMessageChars of it are shown.
void showExclamation(HWND owner, const WCHAR* text);

}  // namespace setup
