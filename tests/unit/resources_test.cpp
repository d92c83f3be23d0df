// The resources of the shipped setup.exe (the distribution folder's) read
// back from its bytes: the dialog templates, the notice string and the icon
// groups.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "file_helpers.h"

using namespace kr_files_test;

namespace {

// The bytes of one resource of the shipped setup.exe, empty when it is
// missing (or setup.exe is).
std::vector<BYTE> ResourceBytes(LPCSTR type, WORD id) {
    HMODULE module = ShippedSetup();
    HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(id), type) : nullptr;
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const BYTE* p = static_cast<const BYTE*>(LockResource(loaded));
    DWORD size = SizeofResource(module, found);
    if (!p)
        return {};
    return std::vector<BYTE>(p, p + size);
}

// Every text here is plain ASCII, so a widening copy is the UTF-16 form that
// the resource compiler stores.
std::u16string U16(const char* s) {
    std::u16string w;
    for (; *s; ++s)
        w.push_back(static_cast<unsigned char>(*s));
    return w;
}

// A bounds-checked cursor over template bytes: a malformed template fails the
// test instead of reading past the resource.
struct Reader {
    const std::vector<BYTE>& bytes;
    size_t pos = 0;
    bool overrun = false;

    explicit Reader(const std::vector<BYTE>& b) : bytes(b) {}

    WORD Word() {
        if (pos + 2 > bytes.size()) {
            overrun = true;
            pos = bytes.size();
            return 0;
        }
        WORD w = static_cast<WORD>(bytes[pos] | (bytes[pos + 1] << 8));
        pos += 2;
        return w;
    }
    DWORD Dword() {
        DWORD lo = Word();
        return lo | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    std::u16string String() {
        std::u16string s;
        for (WORD c; (c = Word()) != 0 && !overrun;)
            s.push_back(static_cast<char16_t>(c));
        return s;
    }
    // A name or ordinal field: 0 (none), 0xFFFF followed by an ordinal, or a
    // string. An ordinal comes back in `ordinal`, a string in the result.
    std::u16string NameOrOrdinal(WORD& ordinal) {
        ordinal = 0;
        if (pos + 2 <= bytes.size() && bytes[pos] == 0xFF && bytes[pos + 1] == 0xFF) {
            pos += 2;
            ordinal = Word();
            return {};
        }
        return String();
    }
    void AlignDword() { pos = (pos + 3) & ~static_cast<size_t>(3); }
};

// --- Dialogs ----------------------------------------------------------------

const WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
const DWORD kChild = WS_CHILD | WS_VISIBLE;

struct ExpectedControl {
    WORD id;
    WORD classAtom;
    const char* text;
    DWORD style;
    short x, y, cx, cy;
};

struct ExpectedDialog {
    WORD id;
    const char* caption;
    short cx, cy;
    std::vector<ExpectedControl> controls;
};

const DWORD kDialogStyle = 0x90C80840;
static_assert(kDialogStyle ==
                  (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_SETFONT),
              "the dialog style is the sum of its named bits");

const WORD kNoId = 0xFFFF; // -1 as the template's WORD

const ExpectedDialog kDialogs[] = {
    {101,
     "Install Kestrune",
     244,
     217,
     {
         {1, kButton, "OK", kChild | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 128, 196, 50, 14},
         {2, kButton, "Cancel", kChild | BS_PUSHBUTTON | WS_TABSTOP, 188, 196, 50, 14},
         {5, kButton, "ReadMe ...", kChild | BS_PUSHBUTTON | WS_TABSTOP, 8, 196, 50, 14},
         {4, kButton, "License ...", kChild | BS_PUSHBUTTON | WS_TABSTOP, 68, 196, 50, 14},
         {1006, kButton, "Copies files to destination folder",
          kChild | BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 8, 20, 232, 8},
         {1008, kButton, "Writes settings to Registry", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 8,
          32, 232, 8},
         {1007, kButton, "Creates shortcuts in Start Menu", kChild | BS_AUTOCHECKBOX | WS_TABSTOP,
          8, 44, 232, 8},
         {1011, kButton, "Creates shortcut in StartUp folder",
          kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 8, 56, 232, 8},
         {1009, kButton, "Starts Kestrune", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 8, 68, 232, 8},
         {1000, kEdit, "", kChild | ES_LEFT | WS_BORDER | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL,
          20, 104, 204, 12},
         {1005, kEdit, "",
          kChild | ES_LEFT | WS_BORDER | WS_VSCROLL | WS_GROUP | WS_TABSTOP | ES_MULTILINE |
              ES_AUTOVSCROLL | ES_READONLY,
          8, 140, 228, 44},
         {kNoId, kStatic, "This setup program will install Kestrune version 2.1.0 beta",
          kChild | SS_LEFT | WS_GROUP, 8, 8, 232, 8},
         {kNoId, kButton, "Destination Folder", kChild | BS_GROUPBOX, 8, 88, 228, 40},
     }},
    {102,
     "Uninstall Kestrune",
     244,
     76,
     {
         {1, kButton, "OK", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 130, 55, 50, 14},
         {2, kButton, "Cancel", kChild | BS_PUSHBUTTON | WS_TABSTOP, 185, 55, 50, 14},
         {kNoId, kStatic, "This program will uninstall Kestrune version 2",
          kChild | SS_LEFT | WS_GROUP, 8, 12, 232, 18},
     }},
};

TEST(ResourceDialogs, TemplatesMatchTheirTables) {
    for (const ExpectedDialog& want : kDialogs) {
        SCOPED_TRACE(testing::Message() << "dialog " << want.id);
        std::vector<BYTE> bytes = ResourceBytes(MAKEINTRESOURCEA(5) /* RT_DIALOG */, want.id);
        ASSERT_FALSE(bytes.empty());
        Reader r(bytes);

        // DLGTEMPLATE, not DLGTEMPLATEEX: the EX form starts with 1, 0xFFFF.
        DWORD style = r.Dword();
        ASSERT_FALSE(style == 0xFFFF0001) << "extended template";
        EXPECT_EQ(style, kDialogStyle) << std::hex << style;
        EXPECT_EQ(r.Dword(), 0u) << "extended style";
        WORD count = r.Word();
        EXPECT_EQ(count, want.controls.size());
        r.Short();
        r.Short(); // x, y: DS_CENTER places the dialog
        EXPECT_EQ(r.Short(), want.cx);
        EXPECT_EQ(r.Short(), want.cy);
        WORD ordinal;
        EXPECT_EQ(r.NameOrOrdinal(ordinal), u"") << "menu";
        EXPECT_EQ(ordinal, 0) << "menu";
        EXPECT_EQ(r.NameOrOrdinal(ordinal), u"") << "window class";
        EXPECT_EQ(ordinal, 0) << "window class";
        EXPECT_EQ(r.String(), U16(want.caption));
        EXPECT_EQ(r.Word(), 8) << "font size";
        EXPECT_EQ(r.String(), u"MS Sans Serif");
        ASSERT_FALSE(r.overrun);

        for (size_t i = 0; i < count && i < want.controls.size(); ++i) {
            const ExpectedControl& c = want.controls[i];
            SCOPED_TRACE(testing::Message() << "control #" << i << " \"" << c.text << "\"");
            r.AlignDword();
            DWORD controlStyle = r.Dword();
            EXPECT_EQ(controlStyle, c.style) << std::hex << controlStyle << " != " << c.style;
            EXPECT_EQ(r.Dword(), 0u) << "extended style";
            EXPECT_EQ(r.Short(), c.x);
            EXPECT_EQ(r.Short(), c.y);
            EXPECT_EQ(r.Short(), c.cx);
            EXPECT_EQ(r.Short(), c.cy);
            EXPECT_EQ(r.Word(), c.id);
            WORD atom;
            std::u16string className = r.NameOrOrdinal(atom);
            EXPECT_EQ(atom, c.classAtom)
                << "class by name: " << std::string(className.begin(), className.end());
            WORD textOrdinal;
            EXPECT_EQ(r.NameOrOrdinal(textOrdinal), U16(c.text));
            EXPECT_EQ(textOrdinal, 0);
            WORD extra = r.Word();
            EXPECT_EQ(extra, 0) << "creation data";
            r.pos += extra;
            ASSERT_FALSE(r.overrun);
        }
        // The resource may end unpadded or padded to a DWORD, nothing more.
        EXPECT_LE(r.pos, bytes.size());
        EXPECT_LT(bytes.size() - r.pos, 4u) << "bytes after the last control";
    }
}

// --- String table -----------------------------------------------------------

TEST(ResourceStrings, NoticeIsStoredByteForByte) {
    // Strings are stored in blocks of 16; string 1 is entry 1 of block 1.
    std::vector<BYTE> block = ResourceBytes(MAKEINTRESOURCEA(6) /* RT_STRING */, 1 / 16 + 1);
    ASSERT_FALSE(block.empty());
    Reader r(block);
    std::u16string entry;
    for (int i = 0; i <= 1 % 16; ++i) {
        WORD len = r.Word();
        entry.clear();
        for (WORD k = 0; k < len; ++k)
            entry.push_back(static_cast<char16_t>(r.Word()));
    }
    ASSERT_FALSE(r.overrun);
    // Compared as a whole: a stored terminating NUL or a doubled quote would
    // change the length.
    EXPECT_EQ(entry, U16(kNotice));
}

TEST(ResourceStrings, NoticeLoadsInFullThroughTheAnsiCall) {
    ASSERT_NE(ShippedSetup(), nullptr) << "no setup.exe in " << DistDir();
    char buf[1024];
    int n = LoadStringA(ShippedSetup(), 1, buf, sizeof buf);
    ASSERT_EQ(n, static_cast<int>(sizeof kNotice - 1));
    EXPECT_STREQ(buf, kNotice);
}

// --- Icons ------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is packed");

struct ExpectedIconImage {
    int size;
    int bitCount;
};

struct ExpectedIconGroup {
    WORD id;
    std::vector<ExpectedIconImage> images;
};

const ExpectedIconGroup kIconGroups[] = {
    {103, {{32, 4}, {16, 4}}},
    {104, {{16, 8}}},
};

TEST(ResourceIcons, GroupsHoldTheirImagesAtTheirDepths) {
    for (const ExpectedIconGroup& group : kIconGroups) {
        SCOPED_TRACE(testing::Message() << "icon group " << group.id);
        std::vector<BYTE> dir = ResourceBytes(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, group.id);
        ASSERT_GE(dir.size(), 6u);
        Reader r(dir);
        EXPECT_EQ(r.Word(), 0) << "reserved";
        EXPECT_EQ(r.Word(), 1) << "type: icon";
        WORD count = r.Word();
        ASSERT_EQ(count, group.images.size());
        ASSERT_EQ(dir.size(), 6 + count * sizeof(GroupIconEntry));
        for (WORD i = 0; i < count; ++i) {
            const ExpectedIconImage& want = group.images[i];
            SCOPED_TRACE(testing::Message() << "image " << want.size << "x" << want.size);
            GroupIconEntry e;
            memcpy(&e, dir.data() + 6 + i * sizeof e, sizeof e);
            EXPECT_EQ(e.width, want.size);
            EXPECT_EQ(e.height, want.size);
            // The directory's colour count is what the shell picks images by:
            // 16 for 4 bits per pixel, 0 (meaning 256 or more) for 8.
            EXPECT_EQ(e.colorCount, want.bitCount == 4 ? 16 : 0);
            EXPECT_EQ(e.bitCount, want.bitCount);

            // The image itself must agree with its directory entry.
            std::vector<BYTE> image = ResourceBytes(MAKEINTRESOURCEA(3) /* RT_ICON */, e.id);
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            EXPECT_EQ(image.size(), e.bytesInRes);
            BITMAPINFOHEADER h;
            memcpy(&h, image.data(), sizeof h);
            EXPECT_EQ(h.biSize, sizeof h);
            EXPECT_EQ(h.biWidth, want.size);
            EXPECT_EQ(h.biHeight, 2 * want.size) << "colour and mask planes";
            EXPECT_EQ(h.biPlanes, 1);
            EXPECT_EQ(h.biBitCount, want.bitCount);
        }
    }
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    auto* names = reinterpret_cast<std::vector<ULONG_PTR>*>(param);
    names->push_back(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

TEST(ResourceIcons, SetupIconComesFirstAndUninstallIconSecond) {
    // The shell numbers an executable's icons in this order: index 0 is the
    // program's icon, and the Uninstall shortcut names index 1.
    ASSERT_NE(ShippedSetup(), nullptr) << "no setup.exe in " << DistDir();
    std::vector<ULONG_PTR> names;
    EnumResourceNamesA(ShippedSetup(), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, CollectName,
                       reinterpret_cast<LONG_PTR>(&names));
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], 103u);
    EXPECT_EQ(names[1], 104u);
}

} // namespace
