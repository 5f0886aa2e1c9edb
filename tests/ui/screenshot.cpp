#include "tests/ui/screenshot.h"

#include <cstdio>

#include "tests/ui/setup_driver.h"

namespace ui {
namespace {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static std::uint32_t table[256];
    if (table[1] == 0) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putChunk(std::vector<std::uint8_t>& png, const char* type,
              const std::vector<std::uint8_t>& data) {
    putBigEndian32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    putBigEndian32(png, crc32(png.data() + typeAt, png.size() - typeAt));
}

}  // namespace

bool writePng(const std::wstring& path, int width, int height,
              const std::vector<std::uint8_t>& rgb) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<std::size_t>(width) * height * 3) {
        return false;
    }
    // Each row starts with filter type 0 (none).
    std::vector<std::uint8_t> raw;
    raw.reserve((static_cast<std::size_t>(width) * 3 + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(y) * width * 3;
        raw.insert(raw.end(), row, row + width * 3);
    }
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;  // Adler-32
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        const bool last = at + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(n));
        zlib.push_back(static_cast<std::uint8_t>(n >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~n));
        zlib.push_back(static_cast<std::uint8_t>(~n >> 8));
        zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
        if (last) break;
    }
    putBigEndian32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBigEndian32(header, static_cast<std::uint32_t>(width));
    putBigEndian32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", {});

    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}

bool captureWindow(HWND window, const std::wstring& path) {
    RECT area;
    if (!GetWindowRect(window, &area)) return false;
    const int margin = 12;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    area.left = area.left - margin < 0 ? 0 : area.left - margin;
    area.top = area.top - margin < 0 ? 0 : area.top - margin;
    area.right = area.right + margin > screenWidth ? screenWidth : area.right + margin;
    area.bottom = area.bottom + margin > screenHeight ? screenHeight : area.bottom + margin;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // The screen DC shows the X display only when Wine's desktop process
    // (explorer.exe) was started on it, that is when the wineserver session
    // began under the display; otherwise BitBlt fails.
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap && bits) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        SelectObject(memory, previous);
    }
    std::vector<std::uint8_t> rgb;
    if (ok) {
        rgb.resize(static_cast<std::size_t>(width) * height * 3);
        const auto* bgra = static_cast<const std::uint8_t*>(bits);
        for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i) {
            rgb[i * 3] = bgra[i * 4 + 2];
            rgb[i * 3 + 1] = bgra[i * 4 + 1];
            rgb[i * 3 + 2] = bgra[i * 4];
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok && writePng(path, width, height, rgb);
}

std::wstring screenshotFolder() {
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) return L"";
    wchar_t folder[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"SETUP_UI_SCREENSHOTS", folder, MAX_PATH);
    std::wstring path;
    if (n > 0 && n < MAX_PATH) {
        path = folder;
    } else {
#ifdef SETUP_UI_SCREENSHOT_DIR
        path = widen(SETUP_UI_SCREENSHOT_DIR);
#endif
    }
    if (path.empty()) return L"";
    path = windowsPath(path);
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::wstring saveScreenshot(HWND window, const wchar_t* name) {
    const std::wstring folder = screenshotFolder();
    if (folder.empty()) return L"";
    // Let the window's process paint, and the X server draw it.
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
    const std::wstring path = folder + L"\\" + name;
    if (captureWindow(window, path)) return path;
    std::fprintf(stderr, "no screenshot %s: start the wineserver and wineboot on this display\n",
                 narrow(name).c_str());
    return L"";
}

}  // namespace ui
