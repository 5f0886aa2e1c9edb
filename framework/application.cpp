#include "framework/application.h"

namespace setup {
namespace {

Application* theApplication = nullptr;

}  // namespace

Application::Application() {
    theApplication = this;
}

Application::~Application() {
    theApplication = nullptr;
}

Application& Application::current() {
    return *theApplication;
}

int Application::run(HINSTANCE instance) {
    instance_ = instance;
    InitInstance();
    return 0;  // the exit code carries no meaning
}

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
    // No wide message box: the text in the system's code page instead.
    char narrow[1024];
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr) == 0) {
        narrow[0] = '\0';
    }
    MessageBoxA(owner, narrow, title, MB_OK | MB_ICONEXCLAMATION);
}

int loadWideString(UINT id, WCHAR* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = L'\0';
    // Strings are stored sixteen to a block: counted UTF-16, block id / 16 + 1.
    const HINSTANCE instance = Application::current().instance();
    const HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id / 16 + 1), RT_STRING);
    if (!found) return 0;
    const HGLOBAL loaded = LoadResource(instance, found);
    const WCHAR* at = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!at) return 0;
    const DWORD blockChars = SizeofResource(instance, found) / sizeof(WCHAR);
    const WCHAR* end = at + blockChars;
    for (UINT index = 0; index < id % 16; ++index) {
        if (at >= end) return 0;
        at += 1 + *at;
    }
    if (at >= end || *at == 0 || at + 1 + *at > end) return 0;
    int length = *at;
    if (length > size - 1) length = size - 1;
    for (int i = 0; i < length; ++i) buffer[i] = at[1 + i];
    buffer[length] = L'\0';
    return length;
}

}  // namespace setup
