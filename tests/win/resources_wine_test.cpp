// Reads the resources of the built Setup.exe back the way Windows does and
// holds them against one table each: the dialog templates control by control
// (parsed from the bytes and built as real dialogs), the strings and version
// values as UTF-16, the list data against the catalogue tables, the icon
// sizes and the manifest.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"
#include "resources/resource.h"
#include "tests/support/wine_support.h"

#ifndef SETUP_EXE_PATH
#error "SETUP_EXE_PATH must name the Setup.exe under test"
#endif

namespace setup::winetest {
namespace {

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

using Bytes = std::vector<uint8_t>;

const std::wstring& setupExePath() {
    static const std::wstring path = windowsPath(widen(SETUP_EXE_PATH));
    return path;
}

// This build is ANSI, so RT_DIALOG and friends are char pointers; the
// resource calls here are the W ones.
LPCWSTR wideId(LPSTR id) {
    return MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(id));
}

// Bounds-checked little-endian reader over one resource. Reading past the end
// sets failed() and yields zeros, so a truncated resource fails the test
// instead of reading foreign memory.
class Reader {
public:
    explicit Reader(const Bytes& bytes) : data_(bytes) {}

    size_t pos() const { return pos_; }
    bool failed() const { return failed_; }
    void seek(size_t pos) {
        failed_ = failed_ || pos > data_.size();
        pos_ = std::min(pos, data_.size());
    }
    void alignDword() { seek((pos_ + 3) & ~size_t{3}); }

    uint16_t u16() { return static_cast<uint16_t>(take(2)); }
    uint32_t u32() { return take(4); }
    int16_t s16() { return static_cast<int16_t>(u16()); }

    std::wstring wideString() {
        std::wstring s;
        for (uint16_t c = u16(); c != 0 && !failed_; c = u16()) s += static_cast<wchar_t>(c);
        return s;
    }

    // A name field of a dialog template: empty, an ordinal (written "#n") or
    // a string.
    std::wstring nameOrOrdinal() {
        const uint16_t first = u16();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(u16());
        return static_cast<wchar_t>(first) + wideString();
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
        const HRSRC found = FindResourceExW(module_, type, name, kChinese);
        if (!found) return {};
        const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, found)));
        return data ? Bytes(data, data + SizeofResource(module_, found)) : Bytes{};
    }

    static HMODULE module_;
    static DWORD loadError_;
};

HMODULE SetupResources::module_ = nullptr;
DWORD SetupResources::loadError_ = 0;

// ---------------------------------------------------------------------------
// Languages

std::string idText(LPCWSTR id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id)) : narrow(id);
}

// "type name" and the language of every resource in the module.
using Languages = std::vector<std::pair<std::string, WORD>>;

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out) {
    reinterpret_cast<Languages*>(out)->push_back({idText(type) + " " + idText(name), language});
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
// one left in English would show on an English system only. The strings
// below are loaded by id: this is what makes them the Chinese ones.
TEST_F(SetupResources, EveryResourceIsSimplifiedChinese) {
    Languages all;
    EnumResourceTypesW(module_, collectType, reinterpret_cast<LONG_PTR>(&all));
    ASSERT_FALSE(all.empty());
    for (const auto& [resource, language] : all) EXPECT_EQ(kChinese, language) << resource;
}

// ---------------------------------------------------------------------------
// Strings and version values

// A text of the string table (id), or of the version block's Chinese table
// (versionValue).
struct ExpectedText {
    UINT id;
    const wchar_t* versionValue;
    const wchar_t* text;
};

const ExpectedText kTexts[] = {
    {IDS_ABOUT_MENU, nullptr, L"关于 Tolmar(&A)..."},
    {IDS_INSTALL_INCOMPLETE, nullptr, L"安装没有全部完成。"},
    {IDS_UNSUPPORTED_WINDOWS, nullptr,
     L"本程序不支持当前的 Windows 版本，没有安装任何内容。\n"
     L"本程序适用于 Windows 95、98、ME、NT 4.0、2000、XP、2003 和 Vista。"},
    {IDS_FAIL_NO_SELECTION, nullptr, L"没有选定打印机型号或端口，没有安装任何内容。"},
    {IDS_FAIL_DRIVER_DIRECTORY, nullptr, L"无法取得系统的打印机驱动程序目录，驱动文件没有复制。"},
    {IDS_FAIL_FILES_MISSING_WIN2K, nullptr, L"程序旁边的“win2k”文件夹中缺少以下驱动文件："},
    {IDS_FAIL_FILES_MISSING_WIN9X, nullptr, L"程序旁边的“win9x”文件夹中缺少以下驱动文件："},
    {IDS_FAIL_FILES_NOT_COPIED, nullptr, L"以下驱动文件无法复制到打印机驱动程序目录："},
    {IDS_FAIL_DRIVER, nullptr, L"无法安装打印机驱动程序："},
    {IDS_FAIL_PRINTER, nullptr, L"无法创建打印机："},
    {IDS_FAIL_PRINTER_64BIT, nullptr,
     L"无法创建打印机（本驱动程序包只适用于 32 位 Windows，而当前的 Windows 是 64 位的）："},
    {IDS_FAIL_REGISTRY, nullptr, L"无法打开以下注册表项，默认打印机或端口设置没有保存："},
    {IDS_FAIL_PATH_TOO_LONG, nullptr, L"本程序所在文件夹的路径太长，无法读取以下驱动文件："},
    {IDS_FAIL_FILES_IN_USE, nullptr, L"以下驱动文件正被其他程序使用，无法复制："},
    {IDS_ADVICE_ADMIN, nullptr, L"请以管理员身份运行本程序，然后再试一次。"},
    {IDS_ADVICE_FOLDER_WIN2K, nullptr,
     L"请把完整的“win2k”文件夹放在本程序旁边，然后再运行本程序。"},
    {IDS_ADVICE_FOLDER_WIN9X, nullptr,
     L"请把完整的“win9x”文件夹放在本程序旁边，然后再运行本程序。"},
    {IDS_ADVICE_SPOOLER, nullptr, L"请确认打印后台处理程序（Print Spooler）服务正在运行。"},
    {IDS_ADVICE_32BIT, nullptr,
     L"请在 32 位 Windows 上安装本打印机，或改用适用于 64 位 Windows 的驱动程序。"},
    // An escape windres kept literally would leave two backslashes here.
    {IDS_ADVICE_SHORTER_PATH, nullptr,
     L"请把本程序连同“win2k”和“win9x”文件夹移到路径较短的文件夹（例如 "
     L"C:\\Setup）中，然后再运行本程序。"},
    {IDS_ADVICE_CLOSE_PROGRAMS, nullptr,
     L"请关闭正在使用这些文件的程序（或重新启动计算机），然后再试一次。"},
    {0, L"Comments", L""},
    {0, L"CompanyName", L"Tolmar"},
    {0, L"FileDescription", L"Tolmar 打印机驱动安装程序"},
    {0, L"FileVersion", L"2, 0, 0, 0"},
    {0, L"InternalName", L"Setup"},
    {0, L"LegalCopyright", L"版权所有 (C) 2026 Tolmar"},
    {0, L"LegalTrademarks", L""},
    {0, L"OriginalFilename", L"Setup.exe"},
    {0, L"PrivateBuild", L""},
    {0, L"ProductName", L"Tolmar 打印机驱动安装程序"},
    {0, L"ProductVersion", L"2, 0, 0, 0"},
    {0, L"SpecialBuild", L""},
};

// The file's version block as GetFileVersionInfoW gives it to Explorer.
Bytes versionBlock() {
    const DWORD size = GetFileVersionInfoSizeW(setupExePath().c_str(), nullptr);
    Bytes block(size);
    if (size == 0 || !GetFileVersionInfoW(setupExePath().c_str(), 0, size, block.data())) return {};
    return block;
}

// A value of the version block: its bytes, or nothing where VerQueryValueW
// finds none.
std::optional<Bytes> versionValue(const Bytes& block, const std::wstring& path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length)) return std::nullopt;
    const bool text = path.rfind(L"\\StringFileInfo\\", 0) == 0;
    const auto* bytes = static_cast<const uint8_t*>(value);
    return Bytes(bytes, bytes + length * (text ? sizeof(wchar_t) : 1));
}

std::wstring versionText(const Bytes& block, const std::wstring& name) {
    const std::optional<Bytes> value = versionValue(block, L"\\StringFileInfo\\080404b0\\" + name);
    if (!value) return L"<missing>";
    std::wstring text(value->size() / 2, L'\0');
    std::memcpy(text.data(), value->data(), text.size() * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

// Compares UTF-16 code units: a script read in the wrong code page, or an
// escape windres kept literally, shows up here.
TEST_F(SetupResources, TextsReadBackAsUtf16) {
    const Bytes block = versionBlock();
    ASSERT_FALSE(block.empty()) << "no version block, error " << GetLastError();
    for (const ExpectedText& expected : kTexts) {
        std::wstring text;
        if (expected.versionValue) {
            text = versionText(block, expected.versionValue);
        } else {
            const wchar_t* stored = nullptr;
            const int length =
                LoadStringW(module_, expected.id, reinterpret_cast<LPWSTR>(&stored), 0);
            text = length > 0 ? std::wstring(stored, length) : L"<missing>";
        }
        EXPECT_EQ(narrow(expected.text), narrow(text))
            << (expected.versionValue ? narrow(expected.versionValue)
                                      : std::to_string(expected.id));
    }
}

TEST_F(SetupResources, VersionBlockFixedPartAndTranslation) {
    const Bytes block = versionBlock();
    ASSERT_FALSE(block.empty()) << "no version block, error " << GetLastError();
    const std::optional<Bytes> root = versionValue(block, L"\\");
    ASSERT_TRUE(root && root->size() == sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root->data(), sizeof fixed);
    const struct {
        const char* field;
        DWORD want, got;
    } kFixed[] = {
        {"signature", 0xFEEF04BDu, fixed.dwSignature},
        {"file version 1.0", MAKELONG(0, 1), fixed.dwFileVersionMS},
        {"file version .0.1", MAKELONG(1, 0), fixed.dwFileVersionLS},
        {"product version 1.0", MAKELONG(0, 1), fixed.dwProductVersionMS},
        {"product version .0.1", MAKELONG(1, 0), fixed.dwProductVersionLS},
        {"flags mask", 0x3Fu, fixed.dwFileFlagsMask},
        {"flags", 0u, fixed.dwFileFlags},
        {"OS", VOS__WINDOWS32, fixed.dwFileOS},
        {"type", VFT_APP, fixed.dwFileType},
    };
    for (const auto& field : kFixed) EXPECT_EQ(field.want, field.got) << field.field;
    // Simplified Chinese, Unicode: the one table above.
    EXPECT_EQ(versionValue(block, L"\\VarFileInfo\\Translation"), (Bytes{0x04, 0x08, 0xB0, 0x04}));
}

// A node of a version block: its key and where its children lie.
struct VersionNode {
    std::wstring key;
    std::size_t childrenAt, end;
};

VersionNode versionNode(const Bytes& block, std::size_t at) {
    auto u16 = [&](std::size_t i) {
        return i + 2 <= block.size() ? block[i] | block[i + 1] << 8 : 0;
    };
    auto align = [](std::size_t i) { return (i + 3) & ~std::size_t{3}; };
    VersionNode node{L"", at, std::min(block.size(), at + u16(at))};
    const std::size_t valueBytes = u16(at + 2) * (u16(at + 4) == 1 ? 2 : 1);
    std::size_t i = at + 6;
    for (; i + 2 <= node.end && u16(i) != 0; i += 2) node.key += static_cast<wchar_t>(u16(i));
    node.childrenAt = align(align(i + 2) + valueBytes);
    return node;
}

// The keys of a node's children, in the order the block holds them.
std::vector<std::wstring> childKeys(const Bytes& block, const VersionNode& node) {
    std::vector<std::wstring> keys;
    for (std::size_t at = node.childrenAt; at + 6 < node.end;) {
        const VersionNode child = versionNode(block, at);
        if (child.end <= at) break;
        keys.push_back(child.key);
        at = (child.end + 3) & ~std::size_t{3};
    }
    return keys;
}

// Explorer finds values by name, so order is checked from the bytes: one
// string table, Simplified Chinese in Unicode, holding the values in order.
TEST_F(SetupResources, VersionBlockHoldsOneStringTableInItsOrder) {
    const Bytes block = versionBlock();
    ASSERT_FALSE(block.empty()) << "no version block, error " << GetLastError();
    const VersionNode root = versionNode(block, 0);
    ASSERT_EQ(root.key, L"VS_VERSION_INFO");
    ASSERT_EQ(childKeys(block, root),
              (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));
    const VersionNode strings = versionNode(block, root.childrenAt);
    ASSERT_EQ(childKeys(block, strings), std::vector<std::wstring>{L"080404b0"});
    std::vector<std::wstring> expected;
    for (const ExpectedText& text : kTexts) {
        if (text.versionValue) expected.push_back(text.versionValue);
    }
    EXPECT_EQ(childKeys(block, versionNode(block, strings.childrenAt)), expected);
}

// ---------------------------------------------------------------------------
// List data of the settings page

// The installers index the catalogue by list position, so the lists must hold
// exactly the table texts in table order: id, the old add-string code, the
// length counting the NUL, the text; a zero word, then zeros to 808 bytes.
TEST_F(SetupResources, ListDataHoldsTheCatalogueInTableOrder) {
    using Entry = std::pair<int, std::string>;
    std::vector<Entry> expected;
    for (int i = 0; i < ModelCatalogue::kCount; ++i)
        expected.push_back({IDC_MODEL, ModelCatalogue::row(i).displayName});
    for (int i = 0; i < SerialOptionTables::kPortCount; ++i)
        expected.push_back({IDC_PORT, SerialOptionTables::port(i).listText});
    for (int i = 0; i < SerialOptionTables::kBaudCount; ++i)
        expected.push_back({IDC_BAUD, SerialOptionTables::baud(i)});
    for (int i = 0; i < SerialOptionTables::kDataBitsCount; ++i)
        expected.push_back({IDC_DATA_BITS, SerialOptionTables::dataBits(i)});
    for (int i = 0; i < SerialOptionTables::kFlowCount; ++i)
        expected.push_back({IDC_FLOW, SerialOptionTables::flow(i).listText});
    for (int i = 0; i < SerialOptionTables::kParityCount; ++i)
        expected.push_back({IDC_PARITY, SerialOptionTables::parity(i).listText});
    for (int i = 0; i < SerialOptionTables::kStopBitsCount; ++i)
        expected.push_back({IDC_STOP_BITS, SerialOptionTables::stopBits(i)});

    const Bytes data =
        resource(MAKEINTRESOURCEW(IDR_LIST_DATA_TYPE), MAKEINTRESOURCEW(IDD_SETTINGS_PAGE));
    ASSERT_EQ(808u, data.size());
    Reader in(data);
    std::vector<Entry> entries;
    for (uint16_t id = in.u16(); id != 0 && !in.failed(); id = in.u16()) {
        SCOPED_TRACE("record " + std::to_string(entries.size()));
        EXPECT_EQ(0x0403, in.u16());
        const uint32_t length = in.u32();
        ASSERT_GE(length, 1u);
        ASSERT_LE(in.pos() + length, data.size());
        std::string text(reinterpret_cast<const char*>(&data[in.pos()]), length);
        EXPECT_EQ(text.find('\0'), length - 1) << "the length counts the one terminating NUL";
        text.pop_back();
        entries.push_back({id, text});
        in.seek(in.pos() + length);
    }
    ASSERT_FALSE(in.failed()) << "no zero word ends the list data";
    EXPECT_EQ(expected, entries);
    for (size_t i = in.pos(); i < data.size(); ++i) EXPECT_EQ(0, data[i]) << "padding at " << i;
}

// ---------------------------------------------------------------------------
// Icon and manifest

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "RT_GROUP_ICON entries are 14 bytes");

// The AND mask bit of a 16-colour icon image at (x, y), counted from the top.
bool maskBitSet(const Bytes& image, int size, int x, int y) {
    const size_t header = sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD);
    const size_t xorStride = (size * 4 + 31) / 32 * 4;
    const size_t andStride = (size + 31) / 32 * 4;
    const size_t at = header + xorStride * size + andStride * (size - 1 - y) + x / 8;
    return at < image.size() && (image[at] & (0x80 >> (x % 8))) != 0;
}

TEST_F(SetupResources, IconGroupHas32And16PixelsIn16Colours) {
    Bytes group = resource(wideId(RT_GROUP_ICON), MAKEINTRESOURCEW(IDR_APP_ICON));
    ASSERT_GE(group.size(), 6u);
    Reader in(group);
    EXPECT_EQ(0, in.u16());
    EXPECT_EQ(1, in.u16()) << "an icon group, not a cursor group";
    const uint16_t count = in.u16();
    ASSERT_EQ(2, count);
    ASSERT_EQ(6 + count * sizeof(GroupIconEntry), group.size());
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(&group[6]);

    for (int size : {32, 16}) {
        SCOPED_TRACE(std::to_string(size) + " pixels");
        const GroupIconEntry* entry = nullptr;
        for (uint16_t i = 0; i < count; ++i) {
            if (entries[i].width == size) entry = &entries[i];
        }
        ASSERT_NE(nullptr, entry) << "no image of this size";
        EXPECT_EQ(size, entry->height);
        EXPECT_EQ(16, entry->colourCount);
        EXPECT_EQ(4, entry->bitCount);

        Bytes image = resource(wideId(RT_ICON), MAKEINTRESOURCEW(entry->id));
        ASSERT_EQ(entry->bytesInRes, image.size());
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(size, header.biWidth);
        EXPECT_EQ(2 * size, header.biHeight) << "colour bitmap and mask";
        EXPECT_EQ(4, header.biBitCount);
        EXPECT_TRUE(maskBitSet(image, size, 0, 0)) << "a corner is transparent";
        EXPECT_FALSE(maskBitSet(image, size, size / 2, size / 2)) << "the middle is drawn";

        // What LoadImage does for a requested size: pick from the group, build.
        EXPECT_EQ(entry->id,
                  LookupIconIdFromDirectoryEx(group.data(), TRUE, size, size, LR_DEFAULTCOLOR));
        const HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()),
                                                    TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(nullptr, icon);
        if (icon) DestroyIcon(icon);
    }
}

TEST_F(SetupResources, ManifestAsksForAdministratorAndListsNoSupportedOs) {
    const Bytes data = resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(data.empty());
    const std::string xml(data.begin(), data.end());
    EXPECT_NE(std::string::npos, xml.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, xml.find("uiAccess=\"false\""));
    // A supportedOS entry would change what GetVersionExA reports.
    EXPECT_EQ(std::string::npos, xml.find("supportedOS"));
    EXPECT_EQ(std::string::npos, xml.find("dependency"));
}

// ---------------------------------------------------------------------------
// Dialog templates

// One control or the dialog itself (id 0, class empty), as the template
// stores it and as the table expects it.
struct Item {
    int id;
    std::wstring cls, text;
    DWORD style, exStyle;
    int16_t x, y, cx, cy;
};

// Predefined classes may be stored as atoms; compare them by lower-case name.
std::wstring className(std::wstring cls) {
    static const wchar_t* const kAtoms[] = {L"button",  L"edit",      L"static",
                                            L"listbox", L"scrollbar", L"combobox"};
    if (cls.size() > 1 && cls[0] == L'#') {
        const int atom = std::stoi(cls.substr(1));
        if (atom >= 0x80 && atom <= 0x85) return kAtoms[atom - 0x80];
    }
    for (wchar_t& c : cls) c = static_cast<wchar_t>(towlower(c));
    return cls;
}

struct ParsedDialog {
    bool extended = false;
    Item dialog{};
    std::wstring menu, cls, face;
    uint16_t pointSize = 0, weight = 0, italic = 0;
    std::vector<Item> controls;
};

// DLGTEMPLATE or DLGTEMPLATEEX with its items: the same fields, the extended
// form with a help id first, the extended style before the style and 32-bit
// control ids.
ParsedDialog parseDialog(Reader& in) {
    ParsedDialog d;
    d.extended = in.u16() == 1 && in.u16() == 0xFFFF;
    in.seek(d.extended ? 8 : 0);
    const auto styles = [&](Item& item) {
        const uint32_t first = in.u32(), second = in.u32();
        item.style = d.extended ? second : first;
        item.exStyle = d.extended ? first : second;
    };
    const auto rectangle = [&](Item& item) {
        item.x = in.s16();
        item.y = in.s16();
        item.cx = in.s16();
        item.cy = in.s16();
    };
    styles(d.dialog);
    const uint16_t count = in.u16();
    rectangle(d.dialog);
    d.menu = in.nameOrOrdinal();
    d.cls = in.nameOrOrdinal();
    d.dialog.text = in.wideString();
    if (d.dialog.style & DS_SETFONT) {
        d.pointSize = in.u16();
        if (d.extended) {
            d.weight = in.u16();
            d.italic = in.u16() & 0xFF;  // the character set above it
        }
        d.face = in.wideString();
    }
    for (uint16_t i = 0; i < count && !in.failed(); ++i) {
        in.alignDword();
        Item c{};
        if (d.extended) in.u32();  // help id
        styles(c);
        rectangle(c);
        c.id = d.extended ? static_cast<int32_t>(in.u32()) : in.s16();
        c.cls = className(in.nameOrOrdinal());
        c.text = in.nameOrOrdinal();
        const uint16_t creationData = in.u16();
        in.seek(in.pos() + creationData);
        d.controls.push_back(c);
    }
    return d;
}

constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
constexpr DWORD kHidden = WS_CHILD;
constexpr DWORD kPage = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kRadio = kShown | BS_AUTORADIOBUTTON;
constexpr DWORD kPush = kShown | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kList = kHidden | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kLabel = kHidden | SS_LEFT;

const std::vector<Item> kOsPage = {
    {IDC_STATIC, L"button", L"选择安装的操作系统", kShown | BS_GROUPBOX | WS_GROUP, 0, 7, 19, 237,
     76},
    {IDC_OS_VISTA, L"button", L"Windows Vista", kRadio, 0, 16, 76, 81, 9},
    {IDC_OS_XP, L"button", L"Windows XP", kRadio, 0, 88, 57, 55, 10},
    {IDC_OS_2003, L"button", L"Windows 2003", kRadio, 0, 157, 58, 64, 10},
    {IDC_OS_NT4, L"button", L"Windows NT4.0", kRadio, 0, 157, 38, 65, 10},
    {IDC_OS_WIN98, L"button", L"Windows 98", kRadio, 0, 88, 38, 54, 10},
    {IDC_OS_WIN95, L"button", L"Windows 95", kRadio, 0, 16, 38, 54, 10},
    {IDC_OS_WIN2000, L"button", L"Windows 2000", kRadio, 0, 16, 57, 62, 10},
    {IDC_STATIC, L"button", L"选择安装语言", kShown | BS_GROUPBOX | WS_GROUP, 0, 7, 102, 237, 29},
    {IDC_LANG_CHINESE, L"button", L"中文", kRadio, 0, 16, 115, 41, 10},
    {IDC_LANG_ENGLISH, L"button", L"英文", kRadio | WS_DISABLED, 0, 88, 115, 41, 10},
    {IDC_DIVIDER, L"msctls_trackbar32", L"Slider1", kShown | TBS_HORZ | TBS_BOTH | TBS_NOTICKS, 0,
     7, 139, 237, 6},
    {IDC_BACK, L"button", L"后退", kPush | WS_DISABLED, 0, 79, 157, 46, 14},
    {IDC_NEXT, L"button", L"下一步", kPush, 0, 135, 157, 46, 14},
    {IDC_EXIT, L"button", L"退出", kPush, 0, 191, 157, 46, 14},
};

const std::vector<Item> kSettingsPage = {
    {IDC_MODEL, L"combobox", L"", kList | WS_VISIBLE, 0, 60, 19, 156, 148},
    {IDC_STATIC, L"button", L"打印机设置", kShown | BS_GROUPBOX, 0, 7, 48, 350, 54},
    {IDC_STATIC, L"button", L"打印机端口设置", kHidden | BS_GROUPBOX, 0, 7, 108, 350, 94},
    {IDC_STATIC, L"static", L"驱动名称", kLabel | WS_VISIBLE, 0, 20, 21, 33, 8},
    {IDC_SET_DEFAULT, L"button", L"设为默认打印机", kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 20,
     59, 115, 10},
    {IDC_STATIC, L"static", L"打印机名称 :", kLabel | WS_VISIBLE, 0, 20, 79, 33, 8},
    {IDC_PRINTER_NAME, L"edit", L"",
     kShown | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP, 0, 60, 77, 156, 15},
    {IDC_PORT, L"combobox", L"", kList, 0, 58, 123, 65, 115},
    {IDC_BAUD, L"combobox", L"", kList, 0, 58, 149, 65, 130},
    {IDC_DATA_BITS, L"combobox", L"", kList, 0, 58, 172, 65, 60},
    {IDC_FLOW, L"combobox", L"", kList, 0, 286, 149, 65, 60},
    {IDC_PARITY, L"combobox", L"", kList, 0, 171, 172, 65, 68},
    {IDC_STOP_BITS, L"combobox", L"", kList, 0, 171, 149, 65, 55},
    {IDC_STATIC, L"static", L"端口", kLabel, 0, 20, 127, 17, 8},
    {IDC_STATIC, L"static", L"波特率", kLabel, 0, 20, 148, 25, 8},
    {IDC_STATIC, L"static", L"字节长度", kLabel, 0, 20, 171, 33, 8},
    {IDC_STATIC, L"static", L"停止位", kLabel, 0, 135, 151, 25, 8},
    {IDC_STATIC, L"static", L"校验位", kLabel, 0, 135, 172, 25, 8},
    {IDC_STATIC, L"static", L"流控制", kLabel, 0, 240, 153, 25, 8},
    {IDC_BACK, L"button", L"后退", kPush, 0, 138, 207, 61, 15},
    {IDC_FINISH, L"button", L"结束", kPush, 0, 212, 207, 61, 15},
    {IDC_EXIT, L"button", L"退出", kPush, 0, 286, 207, 61, 15},
};

const std::vector<Item> kAboutBox = {
    {IDC_STATIC, L"static", L"#128", kShown | SS_ICON, 0, 11, 17, 20, 20},
    {IDC_STATIC, L"static", L"Tolmar 1.0 版", kShown | SS_LEFT | SS_NOPREFIX | WS_GROUP, 0, 40, 10,
     119, 8},
    {IDC_STATIC, L"static", L"版权所有 (C) 2026", kShown | SS_LEFT | WS_GROUP, 0, 40, 25, 119, 8},
    {IDOK, L"button", L"确定", kShown | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 0, 178, 7, 50,
     14},
};

// Each dialog at (0, 0) without DS_CENTER (the framework centres it), in 9
// point 宋体, no menu and no class of its own; the settings page alone is a
// DIALOGEX.
struct ExpectedDialog {
    const char* name;
    bool extended;
    Item dialog;
    const std::vector<Item>* controls;
};

const ExpectedDialog kDialogs[] = {
    {"OsPage", false, {IDD_OS_PAGE, L"", L"选择操作系统", kPage, 0, 0, 0, 251, 187}, &kOsPage},
    {"SettingsPage",
     true,
     {IDD_SETTINGS_PAGE, L"", L"详细设置", kPage | WS_VISIBLE, WS_EX_APPWINDOW, 0, 0, 364, 239},
     &kSettingsPage},
    {"AboutBox", false, {IDD_ABOUT, L"", L"关于 Tolmar", kPage, 0, 0, 0, 235, 55}, &kAboutBox},
};

void PrintTo(const ExpectedDialog& dialog, std::ostream* os) {
    *os << dialog.name;
}

void expectItem(const Item& want, const Item& got) {
    EXPECT_EQ(want.id, got.id);
    EXPECT_EQ(narrow(want.cls), narrow(got.cls));
    EXPECT_EQ(narrow(want.text), narrow(got.text));
    EXPECT_EQ(want.style, got.style) << std::hex << (want.style ^ got.style) << " differ";
    EXPECT_EQ(want.exStyle, got.exStyle);
    EXPECT_EQ((std::vector<int>{want.x, want.y, want.cx, want.cy}),
              (std::vector<int>{got.x, got.y, got.cx, got.cy}));
}

INT_PTR CALLBACK acceptAll(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class DialogResource : public SetupResources,
                       public ::testing::WithParamInterface<ExpectedDialog> {};

// The template's bytes field by field, then the template as Windows builds
// it: every control created, in order, with its id, class, text as UTF-16
// (whatever the ANSI code page), visibility and enabled state.
TEST_P(DialogResource, MatchesTheLayoutAndBuildsTheRealDialog) {
    const ExpectedDialog& expected = GetParam();
    const std::vector<Item>& controls = *expected.controls;
    const Bytes data = resource(wideId(RT_DIALOG), MAKEINTRESOURCEW(expected.dialog.id));
    ASSERT_FALSE(data.empty()) << "no Simplified Chinese dialog " << expected.dialog.id;
    Reader in(data);
    ParsedDialog parsed = parseDialog(in);
    ASSERT_FALSE(in.failed()) << "template ends early";
    EXPECT_EQ(data.size(), in.pos()) << "the control count does not cover the template";

    EXPECT_EQ(expected.extended, parsed.extended);
    parsed.dialog.id = expected.dialog.id;  // not in the template
    expectItem(expected.dialog, parsed.dialog);
    EXPECT_TRUE(parsed.menu.empty() && parsed.cls.empty());
    EXPECT_EQ(narrow(L"宋体"), narrow(parsed.face));
    EXPECT_EQ((std::vector<int>{9, 0, 0}),
              (std::vector<int>{parsed.pointSize, parsed.weight, parsed.italic}));
    ASSERT_EQ(controls.size(), parsed.controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE("template control " + std::to_string(i) + " (" + narrow(controls[i].text) +
                     ")");
        expectItem(controls[i], parsed.controls[i]);
    }

    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes)) << "the trackbar class";
    const HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                   reinterpret_cast<LPCDLGTEMPLATEW>(data.data()),
                                                   nullptr, &acceptAll, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    EXPECT_EQ(narrow(expected.dialog.text), narrow(windowText(dialog)));
    size_t index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ASSERT_LT(index, controls.size()) << "more controls than the template has";
        const Item& want = controls[index++];
        SCOPED_TRACE("built control " + std::to_string(index - 1) + " (" + narrow(want.text) + ")");
        EXPECT_EQ(want.id, static_cast<short>(GetDlgCtrlID(child)));
        wchar_t cls[64] = L"";
        GetClassNameW(child, cls, 64);
        EXPECT_EQ(0, _wcsicmp(want.cls.c_str(), cls)) << narrow(cls);
        // A static icon's text is its icon; every other text reads back as written.
        if (!(want.cls == L"static" && (want.style & SS_ICON))) {
            EXPECT_EQ(narrow(want.text), narrow(windowText(child)));
        }
        EXPECT_EQ((want.style & WS_VISIBLE) != 0,
                  (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0);
        EXPECT_EQ((want.style & WS_DISABLED) == 0, IsWindowEnabled(child) != FALSE);
    }
    EXPECT_EQ(index, controls.size());
    DestroyWindow(dialog);
}

INSTANTIATE_TEST_SUITE_P(Setup, DialogResource, ::testing::ValuesIn(kDialogs),
                         [](const ::testing::TestParamInfo<ExpectedDialog>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace setup::winetest
