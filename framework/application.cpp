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
