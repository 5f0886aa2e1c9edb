// Screenshots of the wizard's windows as PNG files, for a person to look at.
// Taken only when Wine draws on an X display (DISPLAY set; Wine's null driver
// has no pixels to copy), into $SETUP_UI_SCREENSHOTS or the build's folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

// Rows top-down, three bytes (R, G, B) per pixel. Stored (uncompressed)
// deflate blocks keep the writer small; the files are a few hundred KB.
bool writePng(const std::wstring& path, int width, int height,
              const std::vector<std::uint8_t>& rgb);

// Copies the screen area of `window` (with a small margin) into `path`.
bool captureWindow(HWND window, const std::wstring& path);

// The folder screenshots go to (created), or empty when there is no display.
std::wstring screenshotFolder();

// captureWindow() into screenshotFolder()\name when screenshots are wanted;
// waits for the window to be painted first. Returns the path written.
std::wstring saveScreenshot(HWND window, const wchar_t* name);

}  // namespace ui
