// Reads the resources of the built Setup.exe back the way Windows does (from
// the image, by type, name and Simplified Chinese language) and checks the
// bytes the pages and the framework depend on: dialog templates control by
// control, the list data against the catalogue tables, the strings as
// UTF-16, the icon sizes, the version block and the manifest.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"
#include "resources/resource.h"

#ifndef SETUP_EXE_PATH
#error "SETUP_EXE_PATH must name the Setup.exe under test"
#endif

namespace {

using setup::ModelCatalogue;
using setup::SerialOptionTables;

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr DWORD kListDataSize = 808;
constexpr WORD kAddString16 = 0x0403;

using Bytes = std::vector<uint8_t>;

// This build is ANSI, so RT_DIALOG and friends are char pointers; the
// resource calls here are the W ones.
LPCWSTR wideType(LPSTR type) {
    return MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(type));
}

// The build hands us a Unix path; Wine shows the Unix root as drive Z:.
std::wstring setupExePath() {
    const char* unixPath = SETUP_EXE_PATH;
    int n = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, &wide[0], n);
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return L"Z:" + wide;
}

// Bounds-checked little-endian reader over one resource. Reading past the end
// sets failed() and yields zeros, so a truncated resource fails the test
// instead of reading foreign memory.
class Reader {
public:
    explicit Reader(const Bytes& bytes) : data_(bytes) {}

    size_t pos() const { return pos_; }
    size_t size() const { return data_.size(); }
    bool failed() const { return failed_; }
    void seek(size_t pos) {
        if (pos > data_.size()) failed_ = true;
        pos_ = pos > data_.size() ? data_.size() : pos;
    }
    void alignDword() { seek((pos_ + 3) & ~size_t{3}); }

    uint8_t u8() { return static_cast<uint8_t>(take(1)); }
    uint16_t u16() { return static_cast<uint16_t>(take(2)); }
    uint32_t u32() { return static_cast<uint32_t>(take(4)); }
    int16_t s16() { return static_cast<int16_t>(u16()); }

    std::wstring wideString() {
        std::wstring s;
        for (uint16_t c = u16(); c != 0 && !failed_; c = u16()) s += static_cast<wchar_t>(c);
        return s;
    }

    // A name field of a dialog template: empty, an ordinal (written "#n") or
    // a string.
    std::wstring nameOrOrdinal() {
        uint16_t first = u16();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(u16());
        std::wstring rest = wideString();
        return static_cast<wchar_t>(first) + rest;
    }

private:
    uint32_t take(size_t n) {
        if (pos_ + n > data_.size()) {
            failed_ = true;
            pos_ = data_.size();
            return 0;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < n; ++i) value |= uint32_t{data_[pos_ + i]} << (8 * i);
        pos_ += n;
        return value;
    }

    const Bytes& data_;
    size_t pos_ = 0;
    bool failed_ = false;
};

class SetupResources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExW(setupExePath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        loadError_ = module_ ? 0 : GetLastError();
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(nullptr, module_)
            << "cannot load " << SETUP_EXE_PATH << " as a resource image, error " << loadError_;
    }

    // The resource in Simplified Chinese; empty when there is none, so a
    // resource left in another language fails here.
    static Bytes resource(LPCWSTR type, LPCWSTR name) {
        HRSRC found = FindResourceExW(module_, type, name, kChinese);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
        DWORD size = SizeofResource(module_, found);
        if (!data) return {};
        return Bytes(data, data + size);
    }

    static HMODULE module_;
    static DWORD loadError_;
};

HMODULE SetupResources::module_ = nullptr;
DWORD SetupResources::loadError_ = 0;

// ---------------------------------------------------------------------------
// Languages

struct ResourceKey {
    std::wstring type, name;
    WORD language;
};

std::wstring idText(LPCWSTR id) {
    return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id))
                              : std::wstring(id);
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out) {
    reinterpret_cast<std::vector<ResourceKey>*>(out)->push_back(
        {idText(type), idText(name), language});
    return TRUE;
}

BOOL CALLBACK collectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out) {
    EnumResourceLanguagesW(module, type, name, collectLanguage, out);
    return TRUE;
}

BOOL CALLBACK collectType(HMODULE module, LPWSTR type, LONG_PTR out) {
    EnumResourceNamesW(module, type, collectName, out);
    return TRUE;
}

// A resource the program loads by id alone is picked by the user's language;
// one left in English would show on an English system only.
TEST_F(SetupResources, EveryResourceIsSimplifiedChinese) {
    std::vector<ResourceKey> all;
    EnumResourceTypesW(module_, collectType, reinterpret_cast<LONG_PTR>(&all));
    ASSERT_FALSE(all.empty());
    for (const ResourceKey& key : all) {
        EXPECT_EQ(kChinese, key.language)
            << "type " << std::string(key.type.begin(), key.type.end()) << " name "
            << std::string(key.name.begin(), key.name.end());
    }
}

// ---------------------------------------------------------------------------
// List data of the settings page

using ListEntry = std::pair<int, std::string>;

std::vector<ListEntry> catalogueListEntries() {
    std::vector<ListEntry> entries;
    for (int i = 0; i < ModelCatalogue::kCount; ++i)
        entries.push_back({IDC_MODEL, ModelCatalogue::row(i).displayName});
    for (int i = 0; i < SerialOptionTables::kPortCount; ++i)
        entries.push_back({IDC_PORT, SerialOptionTables::port(i).listText});
    for (int i = 0; i < SerialOptionTables::kBaudCount; ++i)
        entries.push_back({IDC_BAUD, SerialOptionTables::baud(i)});
    for (int i = 0; i < SerialOptionTables::kDataBitsCount; ++i)
        entries.push_back({IDC_DATA_BITS, SerialOptionTables::dataBits(i)});
    for (int i = 0; i < SerialOptionTables::kFlowCount; ++i)
        entries.push_back({IDC_FLOW, SerialOptionTables::flow(i).listText});
    for (int i = 0; i < SerialOptionTables::kParityCount; ++i)
        entries.push_back({IDC_PARITY, SerialOptionTables::parity(i).listText});
    for (int i = 0; i < SerialOptionTables::kStopBitsCount; ++i)
        entries.push_back({IDC_STOP_BITS, SerialOptionTables::stopBits(i)});
    return entries;
}

// The installers index the catalogue by list position, so the lists must hold
// exactly the table texts in table order.
TEST_F(SetupResources, ListDataHoldsTheCatalogueInTableOrder) {
    Bytes data =
        resource(MAKEINTRESOURCEW(IDR_LIST_DATA_TYPE), MAKEINTRESOURCEW(IDD_SETTINGS_PAGE));
    ASSERT_EQ(kListDataSize, data.size());

    Reader in(data);
    std::vector<ListEntry> entries;
    for (uint16_t id = in.u16(); id != 0 && !in.failed(); id = in.u16()) {
        SCOPED_TRACE("record " + std::to_string(entries.size()) + " at offset " +
                     std::to_string(in.pos() - 2));
        EXPECT_EQ(kAddString16, in.u16());
        uint32_t length = in.u32();
        ASSERT_GE(length, 1u);
        ASSERT_LE(in.pos() + length, data.size());
        std::string text(reinterpret_cast<const char*>(&data[in.pos()]), length);
        EXPECT_EQ('\0', text.back()) << "the length counts the terminating NUL";
        text.pop_back();
        EXPECT_EQ(std::string::npos, text.find('\0')) << "the length is one more than the text";
        entries.push_back({id, text});
        in.seek(in.pos() + length);
    }
    ASSERT_FALSE(in.failed()) << "no zero word ends the list data";
    EXPECT_EQ(catalogueListEntries(), entries);
    for (size_t i = in.pos(); i < data.size(); ++i)
        EXPECT_EQ(0, data[i]) << "padding byte at offset " << i;
}

// ---------------------------------------------------------------------------
// String table

// Strings live in blocks of sixteen, each a length-prefixed UTF-16 text.
std::wstring tableString(const Bytes& block, UINT id) {
    Reader in(block);
    for (UINT i = 0; i < id % 16; ++i) {
        size_t skip = 2 * size_t{in.u16()};
        in.seek(in.pos() + skip);
    }
    uint16_t length = in.u16();
    std::wstring text;
    for (uint16_t i = 0; i < length; ++i) text += static_cast<wchar_t>(in.u16());
    return in.failed() ? L"<truncated block>" : text;
}

struct ExpectedString {
    UINT id;
    const wchar_t* text;
};

const ExpectedString kStrings[] = {
    {IDS_ABOUT_MENU, L"关于 Tolmar(&A)..."},
    {IDS_INSTALL_INCOMPLETE, L"安装没有全部完成。"},
    {IDS_UNSUPPORTED_WINDOWS,
     L"本程序不支持当前的 Windows 版本，没有安装任何内容。\n"
     L"本程序适用于 Windows 95、98、ME、NT 4.0、2000、XP、2003 和 Vista。"},
    {IDS_FAIL_NO_SELECTION, L"没有选定打印机型号或端口，没有安装任何内容。"},
    {IDS_FAIL_DRIVER_DIRECTORY, L"无法取得系统的打印机驱动程序目录，驱动文件没有复制。"},
    {IDS_FAIL_FILES_MISSING_WIN2K, L"程序旁边的“win2k”文件夹中缺少以下驱动文件："},
    {IDS_FAIL_FILES_MISSING_WIN9X, L"程序旁边的“win9x”文件夹中缺少以下驱动文件："},
    {IDS_FAIL_FILES_NOT_COPIED, L"以下驱动文件无法复制到打印机驱动程序目录："},
    {IDS_FAIL_DRIVER, L"无法安装打印机驱动程序："},
    {IDS_FAIL_PRINTER, L"无法创建打印机："},
    {IDS_FAIL_PRINTER_64BIT,
     L"无法创建打印机（本驱动程序包只适用于 32 位 Windows，而当前的 Windows 是 64 位的）："},
    {IDS_FAIL_REGISTRY, L"无法打开以下注册表项，默认打印机或端口设置没有保存："},
    {IDS_FAIL_PATH_TOO_LONG, L"本程序所在文件夹的路径太长，无法读取以下驱动文件："},
    {IDS_FAIL_FILES_IN_USE, L"以下驱动文件正被其他程序使用，无法复制："},
    {IDS_ADVICE_ADMIN, L"请以管理员身份运行本程序，然后再试一次。"},
    {IDS_ADVICE_FOLDER_WIN2K, L"请把完整的“win2k”文件夹放在本程序旁边，然后再运行本程序。"},
    {IDS_ADVICE_FOLDER_WIN9X, L"请把完整的“win9x”文件夹放在本程序旁边，然后再运行本程序。"},
    {IDS_ADVICE_SPOOLER, L"请确认打印后台处理程序（Print Spooler）服务正在运行。"},
    {IDS_ADVICE_32BIT,
     L"请在 32 位 Windows 上安装本打印机，或改用适用于 64 位 Windows 的驱动程序。"},
    {IDS_ADVICE_SHORTER_PATH,
     L"请把本程序连同“win2k”和“win9x”文件夹移到路径较短的文件夹（例如 "
     L"C:\\Setup）中，然后再运行本程序。"},
    {IDS_ADVICE_CLOSE_PROGRAMS,
     L"请关闭正在使用这些文件的程序（或重新启动计算机），然后再试一次。"},
};

// Compares UTF-16 code units: a script read in the wrong code page, or an
// escape windres kept literally, shows up here.
TEST_F(SetupResources, StringsReadBackAsUtf16) {
    for (const ExpectedString& expected : kStrings) {
        SCOPED_TRACE("string " + std::to_string(expected.id));
        Bytes block = resource(wideType(RT_STRING), MAKEINTRESOURCEW(expected.id / 16 + 1));
        ASSERT_FALSE(block.empty()) << "no Simplified Chinese string block";
        std::wstring text = tableString(block, expected.id);
        EXPECT_TRUE(text == expected.text)
            << "length " << text.size() << ", expected " << wcslen(expected.text);
        // An escape kept literally leaves a backslash the text does not have.
        if (!wcschr(expected.text, L'\\')) {
            EXPECT_EQ(std::wstring::npos, text.find(L'\\'));
        }
    }
}

// ---------------------------------------------------------------------------
// Icon

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "RT_GROUP_ICON entries are 14 bytes");

bool maskBitSet(const Bytes& image, int size, int x, int y) {
    const size_t header = sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD);
    const size_t xorStride = (size * 4 + 31) / 32 * 4;
    const size_t andStride = (size + 31) / 32 * 4;
    size_t row = static_cast<size_t>(size - 1 - y);  // bottom-up
    size_t at = header + xorStride * size + andStride * row + x / 8;
    return at < image.size() && (image[at] & (0x80 >> (x % 8))) != 0;
}

TEST_F(SetupResources, IconGroupHas32And16PixelsIn16Colours) {
    Bytes group = resource(wideType(RT_GROUP_ICON), MAKEINTRESOURCEW(IDR_APP_ICON));
    ASSERT_GE(group.size(), 6u);
    Reader in(group);
    EXPECT_EQ(0, in.u16());
    EXPECT_EQ(1, in.u16()) << "an icon group, not a cursor group";
    uint16_t count = in.u16();
    ASSERT_EQ(2, count);
    ASSERT_EQ(6 + count * sizeof(GroupIconEntry), group.size());
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(&group[6]);

    for (int size : {32, 16}) {
        SCOPED_TRACE(std::to_string(size) + "x" + std::to_string(size));
        const GroupIconEntry* found = nullptr;
        for (uint16_t i = 0; i < count; ++i) {
            if (entries[i].width == size) found = &entries[i];
        }
        ASSERT_NE(nullptr, found) << "no image of this size";
        const GroupIconEntry& entry = *found;
        EXPECT_EQ(size, entry.height);
        EXPECT_EQ(16, entry.colourCount);
        EXPECT_EQ(4, entry.bitCount);

        Bytes image = resource(wideType(RT_ICON), MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(entry.bytesInRes, image.size());
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(size, header.biWidth);
        EXPECT_EQ(2 * size, header.biHeight) << "colour bitmap and mask";
        EXPECT_EQ(4, header.biBitCount);
        EXPECT_TRUE(maskBitSet(image, size, 0, 0)) << "a corner is transparent";
        EXPECT_FALSE(maskBitSet(image, size, size / 2, size / 2)) << "the middle is drawn";

        // What LoadImage does for a requested size: pick from the group, build.
        int picked = LookupIconIdFromDirectoryEx(group.data(), TRUE, size, size, LR_DEFAULTCOLOR);
        EXPECT_EQ(entry.id, picked);
        HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                              0x00030000, size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(nullptr, icon);
        if (icon) DestroyIcon(icon);
    }
}

// ---------------------------------------------------------------------------
// Version block

struct VersionNode {
    std::wstring key;
    uint16_t type = 0;  // 1 text, 0 binary
    size_t valueAt = 0, valueEnd = 0;
    std::vector<VersionNode> children;
};

// VS_VERSIONINFO and its children share one layout: length, value length,
// type, key, then the value and the children, each on a DWORD boundary.
VersionNode parseVersionNode(Reader& in, const Bytes& data) {
    VersionNode node;
    size_t start = in.pos();
    size_t end = start + in.u16();
    uint16_t valueLength = in.u16();
    node.type = in.u16();
    node.key = in.wideString();
    in.alignDword();
    node.valueAt = in.pos();
    node.valueEnd = node.valueAt + (node.type == 1 ? 2 * size_t{valueLength} : valueLength);
    if (end > data.size() || node.valueEnd > end) {
        in.seek(data.size() + 1);  // marks the reader failed
        return node;
    }
    in.seek(node.valueEnd);
    in.alignDword();
    while (in.pos() < end && !in.failed()) node.children.push_back(parseVersionNode(in, data));
    in.seek(end);
    in.alignDword();
    return node;
}

std::wstring textValue(const Bytes& data, const VersionNode& node) {
    std::wstring text;
    for (size_t at = node.valueAt; at + 1 < node.valueEnd; at += 2) {
        wchar_t c = static_cast<wchar_t>(data[at] | data[at + 1] << 8);
        if (c == 0) break;
        text += c;
    }
    return text;
}

std::string narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

TEST_F(SetupResources, VersionBlock) {
    Bytes data = resource(wideType(RT_VERSION), MAKEINTRESOURCEW(VS_VERSION_INFO));
    ASSERT_FALSE(data.empty());
    Reader in(data);
    VersionNode root = parseVersionNode(in, data);
    ASSERT_FALSE(in.failed()) << "malformed version block";
    EXPECT_TRUE(root.key == L"VS_VERSION_INFO");

    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), root.valueEnd - root.valueAt);
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, &data[root.valueAt], sizeof fixed);
    EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
    EXPECT_EQ(MAKELONG(0, 1), fixed.dwFileVersionMS);  // 1.0
    EXPECT_EQ(MAKELONG(1, 0), fixed.dwFileVersionLS);  // .0.1
    EXPECT_EQ(MAKELONG(0, 1), fixed.dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed.dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed.dwFileFlagsMask);
    EXPECT_EQ(0u, fixed.dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed.dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed.dwFileType);

    ASSERT_EQ(2u, root.children.size());
    const VersionNode& stringInfo = root.children[0];
    const VersionNode& varInfo = root.children[1];
    EXPECT_TRUE(stringInfo.key == L"StringFileInfo");
    EXPECT_TRUE(varInfo.key == L"VarFileInfo");

    ASSERT_EQ(1u, stringInfo.children.size());
    const VersionNode& table = stringInfo.children[0];
    EXPECT_TRUE(table.key == L"080404b0");
    const std::pair<const wchar_t*, const wchar_t*> kEntries[] = {
        {L"Comments", L""},
        {L"CompanyName", L"Tolmar"},
        {L"FileDescription", L"Tolmar 打印机驱动安装程序"},
        {L"FileVersion", L"2, 0, 0, 0"},
        {L"InternalName", L"Setup"},
        {L"LegalCopyright", L"版权所有 (C) 2026 Tolmar"},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L"Setup.exe"},
        {L"PrivateBuild", L""},
        {L"ProductName", L"Tolmar 打印机驱动安装程序"},
        {L"ProductVersion", L"2, 0, 0, 0"},
        {L"SpecialBuild", L""},
    };
    ASSERT_EQ(std::size(kEntries), table.children.size());
    for (size_t i = 0; i < table.children.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(narrow(kEntries[i].first), narrow(table.children[i].key));
        EXPECT_EQ(1, table.children[i].type) << "text value";
        EXPECT_EQ(narrow(kEntries[i].second), narrow(textValue(data, table.children[i])));
    }

    ASSERT_EQ(1u, varInfo.children.size());
    const VersionNode& translation = varInfo.children[0];
    EXPECT_TRUE(translation.key == L"Translation");
    ASSERT_EQ(4u, translation.valueEnd - translation.valueAt);
    Reader value(data);
    value.seek(translation.valueAt);
    EXPECT_EQ(0x0804, value.u16()) << "language";
    EXPECT_EQ(1200, value.u16()) << "code page";
}

// ---------------------------------------------------------------------------
// Manifest

TEST_F(SetupResources, ManifestAsksForAdministratorAndListsNoSupportedOs) {
    Bytes data = resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(data.empty());
    std::string xml(data.begin(), data.end());
    EXPECT_NE(std::string::npos, xml.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, xml.find("uiAccess=\"false\""));
    // A supportedOS entry would change what GetVersionExA reports.
    EXPECT_EQ(std::string::npos, xml.find("supportedOS"));
    EXPECT_EQ(std::string::npos, xml.find("dependency"));
}

// ---------------------------------------------------------------------------
// Dialog templates

struct ParsedControl {
    DWORD style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::wstring cls, text;
};

struct ParsedDialog {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, cls, caption, face;
    uint16_t pointSize = 0, weight = 0;
    uint8_t italic = 0;
    std::vector<ParsedControl> controls;
};

// Predefined classes may be stored as atoms; compare them by lower-case name.
std::wstring className(std::wstring cls) {
    static const wchar_t* const kAtoms[] = {L"button",  L"edit",      L"static",
                                            L"listbox", L"scrollbar", L"combobox"};
    if (cls.size() > 1 && cls[0] == L'#') {
        int atom = std::stoi(cls.substr(1));
        if (atom >= 0x80 && atom <= 0x85) return kAtoms[atom - 0x80];
    }
    for (wchar_t& c : cls) c = static_cast<wchar_t>(towlower(c));
    return cls;
}

ParsedDialog parseDialog(Reader& in) {
    ParsedDialog d;
    uint16_t first = in.u16(), second = in.u16();
    d.extended = first == 1 && second == 0xFFFF;
    if (d.extended) {
        in.u32();  // help id
        d.exStyle = in.u32();
        d.style = in.u32();
    } else {
        in.seek(0);
        d.style = in.u32();
        d.exStyle = in.u32();
    }
    uint16_t count = in.u16();
    d.x = in.s16();
    d.y = in.s16();
    d.cx = in.s16();
    d.cy = in.s16();
    d.menu = in.nameOrOrdinal();
    d.cls = in.nameOrOrdinal();
    d.caption = in.wideString();
    if (d.style & DS_SETFONT) {
        d.pointSize = in.u16();
        if (d.extended) {
            d.weight = in.u16();
            d.italic = in.u8();
            in.u8();  // character set
        }
        d.face = in.wideString();
    }
    for (uint16_t i = 0; i < count && !in.failed(); ++i) {
        in.alignDword();
        ParsedControl c;
        if (d.extended) {
            in.u32();  // help id
            c.exStyle = in.u32();
            c.style = in.u32();
        } else {
            c.style = in.u32();
            c.exStyle = in.u32();
        }
        c.x = in.s16();
        c.y = in.s16();
        c.cx = in.s16();
        c.cy = in.s16();
        c.id = d.extended ? static_cast<int>(static_cast<int32_t>(in.u32()))
                          : static_cast<int>(in.s16());
        c.cls = className(in.nameOrOrdinal());
        c.text = in.nameOrOrdinal();
        uint16_t extra = in.u16();
        in.seek(in.pos() + extra);
        d.controls.push_back(c);
    }
    return d;
}

constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
constexpr DWORD kHidden = WS_CHILD;
constexpr DWORD kPageStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDropDown = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

struct ExpectedControl {
    int id;
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style;
    int16_t x, y, cx, cy;
};

struct ExpectedDialog {
    const char* name;
    int id;
    bool extended;
    DWORD style, exStyle;
    int16_t cx, cy;
    const wchar_t* caption;
    std::vector<ExpectedControl> controls;
};

const ExpectedDialog kDialogs[] = {
    {"OsPage",
     IDD_OS_PAGE,
     false,
     kPageStyle,
     0,
     251,
     187,
     L"选择操作系统",
     {
         {IDC_STATIC, L"button", L"选择安装的操作系统", kShown | BS_GROUPBOX | WS_GROUP, 7, 19, 237,
          76},
         {IDC_OS_VISTA, L"button", L"Windows Vista", kShown | BS_AUTORADIOBUTTON, 16, 76, 81, 9},
         {IDC_OS_XP, L"button", L"Windows XP", kShown | BS_AUTORADIOBUTTON, 88, 57, 55, 10},
         {IDC_OS_2003, L"button", L"Windows 2003", kShown | BS_AUTORADIOBUTTON, 157, 58, 64, 10},
         {IDC_OS_NT4, L"button", L"Windows NT4.0", kShown | BS_AUTORADIOBUTTON, 157, 38, 65, 10},
         {IDC_OS_WIN98, L"button", L"Windows 98", kShown | BS_AUTORADIOBUTTON, 88, 38, 54, 10},
         {IDC_OS_WIN95, L"button", L"Windows 95", kShown | BS_AUTORADIOBUTTON, 16, 38, 54, 10},
         {IDC_OS_WIN2000, L"button", L"Windows 2000", kShown | BS_AUTORADIOBUTTON, 16, 57, 62, 10},
         {IDC_STATIC, L"button", L"选择安装语言", kShown | BS_GROUPBOX | WS_GROUP, 7, 102, 237, 29},
         {IDC_LANG_CHINESE, L"button", L"中文", kShown | BS_AUTORADIOBUTTON, 16, 115, 41, 10},
         {IDC_LANG_ENGLISH, L"button", L"英文", kShown | BS_AUTORADIOBUTTON | WS_DISABLED, 88, 115,
          41, 10},
         {IDC_DIVIDER, L"msctls_trackbar32", L"Slider1", kShown | TBS_HORZ | TBS_BOTH | TBS_NOTICKS,
          7, 139, 237, 6},
         {IDC_BACK, L"button", L"后退", kShown | BS_PUSHBUTTON | WS_DISABLED | WS_TABSTOP, 79, 157,
          46, 14},
         {IDC_NEXT, L"button", L"下一步", kShown | BS_PUSHBUTTON | WS_TABSTOP, 135, 157, 46, 14},
         {IDC_EXIT, L"button", L"退出", kShown | BS_PUSHBUTTON | WS_TABSTOP, 191, 157, 46, 14},
     }},
    {"SettingsPage",
     IDD_SETTINGS_PAGE,
     true,
     kPageStyle | WS_VISIBLE,
     WS_EX_APPWINDOW,
     364,
     239,
     L"详细设置",
     {
         {IDC_MODEL, L"combobox", L"", kShown | kDropDown, 60, 19, 156, 148},
         {IDC_STATIC, L"button", L"打印机设置", kShown | BS_GROUPBOX, 7, 48, 350, 54},
         {IDC_STATIC, L"button", L"打印机端口设置", kHidden | BS_GROUPBOX, 7, 108, 350, 94},
         {IDC_STATIC, L"static", L"驱动名称", kShown | SS_LEFT, 20, 21, 33, 8},
         {IDC_SET_DEFAULT, L"button", L"设为默认打印机", kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 20,
          59, 115, 10},
         {IDC_STATIC, L"static", L"打印机名称 :", kShown | SS_LEFT, 20, 79, 33, 8},
         {IDC_PRINTER_NAME, L"edit", L"",
          kShown | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP, 60, 77, 156,
          15},
         {IDC_PORT, L"combobox", L"", kHidden | kDropDown, 58, 123, 65, 115},
         {IDC_BAUD, L"combobox", L"", kHidden | kDropDown, 58, 149, 65, 130},
         {IDC_DATA_BITS, L"combobox", L"", kHidden | kDropDown, 58, 172, 65, 60},
         {IDC_FLOW, L"combobox", L"", kHidden | kDropDown, 286, 149, 65, 60},
         {IDC_PARITY, L"combobox", L"", kHidden | kDropDown, 171, 172, 65, 68},
         {IDC_STOP_BITS, L"combobox", L"", kHidden | kDropDown, 171, 149, 65, 55},
         {IDC_STATIC, L"static", L"端口", kHidden | SS_LEFT, 20, 127, 17, 8},
         {IDC_STATIC, L"static", L"波特率", kHidden | SS_LEFT, 20, 148, 25, 8},
         {IDC_STATIC, L"static", L"字节长度", kHidden | SS_LEFT, 20, 171, 33, 8},
         {IDC_STATIC, L"static", L"停止位", kHidden | SS_LEFT, 135, 151, 25, 8},
         {IDC_STATIC, L"static", L"校验位", kHidden | SS_LEFT, 135, 172, 25, 8},
         {IDC_STATIC, L"static", L"流控制", kHidden | SS_LEFT, 240, 153, 25, 8},
         {IDC_BACK, L"button", L"后退", kShown | BS_PUSHBUTTON | WS_TABSTOP, 138, 207, 61, 15},
         {IDC_FINISH, L"button", L"结束", kShown | BS_PUSHBUTTON | WS_TABSTOP, 212, 207, 61, 15},
         {IDC_EXIT, L"button", L"退出", kShown | BS_PUSHBUTTON | WS_TABSTOP, 286, 207, 61, 15},
     }},
    {"AboutBox",
     IDD_ABOUT,
     false,
     kPageStyle,
     0,
     235,
     55,
     L"关于 Tolmar",
     {
         {IDC_STATIC, L"static", L"#128", kShown | SS_ICON, 11, 17, 20, 20},
         {IDC_STATIC, L"static", L"Tolmar 1.0 版", kShown | SS_LEFT | SS_NOPREFIX | WS_GROUP, 40,
          10, 119, 8},
         {IDC_STATIC, L"static", L"版权所有 (C) 2026", kShown | SS_LEFT | WS_GROUP, 40, 25, 119, 8},
         {IDOK, L"button", L"确定", kShown | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 178, 7, 50,
          14},
     }},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExpectedDialog& dialog, std::ostream* os) {
    *os << dialog.name;
}

class DialogResource : public SetupResources,
                       public ::testing::WithParamInterface<ExpectedDialog> {};

TEST_P(DialogResource, MatchesTheLayout) {
    const ExpectedDialog& expected = GetParam();
    Bytes data = resource(wideType(RT_DIALOG), MAKEINTRESOURCEW(expected.id));
    ASSERT_FALSE(data.empty()) << "no Simplified Chinese dialog " << expected.id;
    Reader in(data);
    ParsedDialog dialog = parseDialog(in);
    ASSERT_FALSE(in.failed()) << "template ends early";
    EXPECT_EQ(data.size(), in.pos()) << "the control count does not cover the template";

    EXPECT_EQ(expected.extended, dialog.extended);
    EXPECT_EQ(expected.style, dialog.style)
        << std::hex << (expected.style ^ dialog.style) << " differ";
    EXPECT_EQ(expected.exStyle, dialog.exStyle);
    // Placed at (0, 0) without DS_CENTER: the framework centres it.
    EXPECT_EQ(0, dialog.x);
    EXPECT_EQ(0, dialog.y);
    EXPECT_EQ(expected.cx, dialog.cx);
    EXPECT_EQ(expected.cy, dialog.cy);
    EXPECT_TRUE(dialog.menu.empty());
    EXPECT_TRUE(dialog.cls.empty());
    EXPECT_EQ(narrow(expected.caption), narrow(dialog.caption));
    EXPECT_EQ(narrow(L"宋体"), narrow(dialog.face));
    EXPECT_EQ(9, dialog.pointSize);
    EXPECT_EQ(0, dialog.weight);
    EXPECT_EQ(0, dialog.italic);

    ASSERT_EQ(expected.controls.size(), dialog.controls.size());
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const ExpectedControl& want = expected.controls[i];
        const ParsedControl& got = dialog.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (" + narrow(want.text) + ", id " +
                     std::to_string(want.id) + ")");
        EXPECT_EQ(want.id, got.id);
        EXPECT_EQ(narrow(want.cls), narrow(got.cls));
        EXPECT_EQ(narrow(want.text), narrow(got.text));
        EXPECT_EQ(want.style, got.style) << std::hex << (want.style ^ got.style) << " differ";
        EXPECT_EQ(0u, got.exStyle);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
    }
}

INT_PTR CALLBACK acceptAll(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The template as Windows builds it: every control created, in order, with
// its id, class and text as UTF-16 (whatever the ANSI code page).
TEST_P(DialogResource, BuildsTheRealDialog) {
    const ExpectedDialog& expected = GetParam();
    Bytes data = resource(wideType(RT_DIALOG), MAKEINTRESOURCEW(expected.id));
    ASSERT_FALSE(data.empty());
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes)) << "the trackbar class";
    const HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                   reinterpret_cast<LPCDLGTEMPLATEW>(data.data()),
                                                   nullptr, &acceptAll, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();

    wchar_t text[256];
    GetWindowTextW(dialog, text, 256);
    EXPECT_EQ(narrow(expected.caption), narrow(text));
    size_t index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ASSERT_LT(index, expected.controls.size()) << "more controls than the template has";
        const ExpectedControl& want = expected.controls[index++];
        SCOPED_TRACE("control " + std::to_string(index - 1) + " (" + narrow(want.text) + ")");
        EXPECT_EQ(static_cast<int>(want.id),
                  static_cast<int>(static_cast<short>(GetDlgCtrlID(child))));
        wchar_t cls[64];
        GetClassNameW(child, cls, 64);
        EXPECT_EQ(0, _wcsicmp(want.cls, cls)) << narrow(cls);
        // A static icon's text is its icon; every other text reads back as written.
        if (_wcsicmp(cls, L"Static") != 0 || !(want.style & SS_ICON)) {
            GetWindowTextW(child, text, 256);
            EXPECT_EQ(narrow(want.text), narrow(text));
        }
        EXPECT_EQ((want.style & WS_VISIBLE) != 0,
                  (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0);
        EXPECT_EQ((want.style & WS_DISABLED) == 0, IsWindowEnabled(child) != FALSE);
    }
    EXPECT_EQ(index, expected.controls.size());
    DestroyWindow(dialog);
}

INSTANTIATE_TEST_SUITE_P(Setup, DialogResource, ::testing::ValuesIn(kDialogs),
                         [](const ::testing::TestParamInfo<ExpectedDialog>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
