#include "framework/application.h"

#include <cstring>

#include "framework/string_table.h"
#include "framework/wide_user32.h"

namespace setup {
namespace {

// The application that runs; only ever set while it exists.
Application* runningApplication = nullptr;

}  // namespace

Application::Application() = default;

Application::~Application() {
    if (runningApplication == this) runningApplication = nullptr;
}

int Application::run(HINSTANCE instance) {
    instance_ = instance;
    runningApplication = this;
    InitInstance();
    return 0;  // the exit code carries no meaning
}

HINSTANCE applicationInstance() {
    if (runningApplication && runningApplication->instance()) return runningApplication->instance();
    return GetModuleHandleA(nullptr);
}

int loadWideString(UINT id, WCHAR* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = L'\0';
    const HINSTANCE instance = applicationInstance();
    const HRSRC found =
        FindResourceA(instance, MAKEINTRESOURCEA(id / kStringsPerBlock + 1), RT_STRING);
    if (!found) return 0;
    const HGLOBAL loaded = LoadResource(instance, found);
    const auto* block = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    StringInBlock string;
    if (!block || !findStringInBlock(block, SizeofResource(instance, found), id % kStringsPerBlock,
                                     &string)) {
        return 0;
    }
    const int length = string.length < static_cast<std::size_t>(size - 1)
                           ? static_cast<int>(string.length)
                           : size - 1;
    // The block is little-endian UTF-16, as WCHAR is.
    std::memcpy(buffer, block + 2 * string.offset, 2 * static_cast<std::size_t>(length));
    buffer[length] = L'\0';
    return length;
}

bool appendMenuEntry(HMENU menu, UINT command, UINT stringId) {
    WCHAR text[128];
    if (loadWideString(stringId, text, 128) == 0) return false;
    // Windows 95, 98 and ME: the text in the system's code page, at most two
    // bytes a character.
    const WideUser32* wide = wideUser32();
    char narrow[2 * 128];
    if (!wide &&
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr) == 0) {
        return false;
    }
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);  // no text to convert
    return (wide ? wide->appendMenu(menu, MF_STRING, command, text)
                 : AppendMenuA(menu, MF_STRING, command, narrow)) != FALSE;
}

}  // namespace setup
