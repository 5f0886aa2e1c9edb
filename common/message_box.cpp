#include "common/message_box.h"

namespace setup {

void applicationTitle(char* buffer, int size) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[length < MAX_PATH ? length : MAX_PATH - 1] = '\0';
    // CharNextA keeps the second byte of a DBCS character from being taken
    // for a separator.
    const char* name = path;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') name = CharNextA(p);
    }
    lstrcpynA(buffer, name, size);
    char* dot = nullptr;
    for (char* p = buffer; *p; p = CharNextA(p)) {
        if (*p == '.') dot = p;
    }
    if (dot) *dot = '\0';
}

void showExclamation(HWND owner, const WCHAR* text) {
    char title[MAX_PATH];
    applicationTitle(title, MAX_PATH);
    WCHAR wideTitle[MAX_PATH];
    if (!owner) owner = GetActiveWindow();
    if (MultiByteToWideChar(CP_ACP, 0, title, -1, wideTitle, MAX_PATH) > 0 &&
        MessageBoxW(owner, text, wideTitle, MB_OK | MB_ICONEXCLAMATION) != 0) {
        return;
    }
    // No wide message box: the text in the system's code page instead. The
    // systems without one have code pages of at most two bytes a character,
    // so kMaxMessageChars characters always fit; a longer text is cut there.
    char narrow[2 * kMaxMessageChars + 1];
    int length = 0;
    while (text[length] && length < kMaxMessageChars) ++length;
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, text, length, narrow, sizeof narrow - 1, nullptr, nullptr);
    narrow[bytes] = '\0';
    MessageBoxA(owner, narrow, title, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace setup
