// Path tokens, folder parts and the text sources (window text, string
// resources), against Wine's real environment, registry and windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>

#include "paths.h"
#include "process.h"
#include "registry.h"
#include "wintext.h"

#include "file_helpers.h"

using namespace kr_files_test;

namespace {

// SourceDir as the entry point leaves it: a folder with blanks and one
// trailing backslash. Restored afterwards for the other suites' sake.
class PathTokens : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_.Assign(SourceDir);
        SourceDir.Assign("C:\\Setup Source\\KR\\");
    }
    void TearDown() override { SourceDir.Assign(saved_); }

    static std::string Folder(UINT(WINAPI* query)(LPSTR, UINT)) {
        char buffer[MAX_PATH];
        UINT n = query(buffer, MAX_PATH);
        return std::string(buffer, n);
    }
    static std::string TempFolder() {
        char buffer[MAX_PATH];
        DWORD n = GetTempPathA(MAX_PATH, buffer);
        std::string t(buffer, n);
        while (!t.empty() && t.back() == '\\')
            t.pop_back();
        return t;
    }
    static std::string ProgramFiles() {
        char buffer[MAX_PATH];
        DWORD size = sizeof buffer;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                         "ProgramFilesDir", RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
            return "";
        return buffer;
    }

    Str saved_;
};

TEST_F(PathTokens, ExpandsTokensAndEnvironment) {
    ASSERT_TRUE(SetEnvironmentVariableA("KRTESTA", "C:\\first"));
    ASSERT_TRUE(SetEnvironmentVariableA("KRTESTB", "second dir"));
    std::string programFiles = ProgramFiles();
    ASSERT_FALSE(programFiles.empty());
    struct Case {
        const char* path;
        std::string expected;
    } cases[] = {
        {"$KR$\\setup.exe", "C:\\Setup Source\\KR\\setup.exe"},
        {"$kr$", "C:\\Setup Source\\KR"},
        {"$Temp$", TempFolder()},
        {"$WINDOWS$\\win.ini", Folder(GetWindowsDirectoryA) + "\\win.ini"},
        {"$System$", Folder(GetSystemDirectoryA)},
        {"$Program Files$\\Kestrune 2", programFiles + "\\Kestrune 2"},
        // No closing "$": the whole rest is the name, and nothing follows it.
        {"$Program Files", programFiles},
        // Unresolved: "$" and the name only, so that callers can tell.
        {"$NoSuchKrFolder$\\file.txt", "$NoSuchKrFolder"},
        {"$NoSuchKrFolder", "$NoSuchKrFolder"},
        {"$$\\x", "$"},
        {"%KRTESTA%\\sub\\%KRTESTB%\\f.txt", "C:\\first\\sub\\second dir\\f.txt"},
        {"%KRNOSUCHVAR%\\x", "%KRNOSUCHVAR%\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Str out;
        out.Assign("previous");
        const char* result = ExpandPathTokens(out, c.path);
        EXPECT_EQ(result, out.data);
        EXPECT_EQ(Text(out), c.expected);
    }
    SetEnvironmentVariableA("KRTESTA", nullptr);
    SetEnvironmentVariableA("KRTESTB", nullptr);
}

// Longer than MAX_PATH: read again with room for all of it, nothing cut.
TEST_F(PathTokens, LongEnvironmentExpansionIsWhole) {
    const size_t lengths[] = {257, 258, 259, 260, 300, 2000};
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        std::string value(n, 'v');
        value[0] = 'C';
        ASSERT_TRUE(SetEnvironmentVariableA("KRTESTLONG", value.c_str()));
        Str out;
        ExpandPathTokens(out, "%KRTESTLONG%\\x");
        EXPECT_EQ(Text(out), value + "\\x");
        EXPECT_LE(out.len, out.cap);
    }
    SetEnvironmentVariableA("KRTESTLONG", nullptr);
}

TEST_F(PathTokens, PlainPathIsReturnedAsIs) {
    const char* paths[] = {"C:\\Program Files\\Kestrune 2", "\\\\server\\share", "relative\\x", "",
                           "K$R$"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        Str out;
        out.Assign("untouched");
        char* block = out.data;
        EXPECT_EQ(ExpandPathTokens(out, path), path);
        EXPECT_EQ(out.data, block);
        EXPECT_EQ(Text(out), "untouched");
    }
}

TEST_F(PathTokens, ExpandsInPlace) {
    ASSERT_TRUE(SetEnvironmentVariableA("KRTESTA", "C:\\env"));
    struct Case {
        const char* text;
        bool nullPath; // pass null instead of the Str's own text
        const char* expected;
    } cases[] = {
        {"$KR$\\file.txt", false, "C:\\Setup Source\\KR\\file.txt"},
        {"$KR$\\file.txt", true, "C:\\Setup Source\\KR\\file.txt"},
        {"%KRTESTA%\\x", false, "C:\\env\\x"},
        {"$NoSuchKrFolder$\\x", true, "$NoSuchKrFolder"},
        {"C:\\plain", false, "C:\\plain"},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Str s;
        s.Assign(c.text);
        const char* result = ExpandPathTokens(s, c.nullPath ? nullptr : s.data);
        EXPECT_EQ(result, s.data);
        EXPECT_EQ(Text(s), c.expected);
    }
    Str none;
    EXPECT_EQ(ExpandPathTokens(none, nullptr), nullptr);
    EXPECT_EQ(none.data, nullptr);
    SetEnvironmentVariableA("KRTESTA", nullptr);
}

// The "Common" prefix picks the machine's folders, any other name the
// user's; private value names keep the real folders out of it.
class SpecialFolders : public ::testing::Test {
  protected:
    static constexpr const char* kShell =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    static constexpr const char* kVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
    struct Written {
        HKEY root;
        const char* key;
        const char* name;
    };
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        const Written written[] = {
            {HKEY_LOCAL_MACHINE, kShell, "CommonKrTestDir"},
            {HKEY_CURRENT_USER, kShell, "CommonKrTestDir"},
            {HKEY_LOCAL_MACHINE, kShell, "KrTestDir"},
            {HKEY_CURRENT_USER, kShell, "KrTestDir"},
            {HKEY_LOCAL_MACHINE, kVersion, "KrTestFallback"},
            {HKEY_LOCAL_MACHINE, kVersion, "KrTestDir"},
        };
        for (const Written& w : written)
            RegDeleteKeyValueA(w.root, w.key, w.name);
    }
    static void Put(HKEY root, const char* key, const char* name, const char* text) {
        Str value;
        value.Assign(text);
        ASSERT_GT(RegSetString(value, key, name, root, REG_SZ), 0);
    }
};

TEST_F(SpecialFolders, CommonPrefixReadsMachineFolders) {
    Put(HKEY_LOCAL_MACHINE, kShell, "CommonKrTestDir", "C:\\machine\\common\\\\");
    Put(HKEY_CURRENT_USER, kShell, "CommonKrTestDir", "C:\\user\\common");
    Put(HKEY_LOCAL_MACHINE, kShell, "KrTestDir", "C:\\machine\\plain");
    Put(HKEY_CURRENT_USER, kShell, "KrTestDir", "C:\\user\\plain\\");
    Put(HKEY_LOCAL_MACHINE, kVersion, "KrTestFallback", "C:\\fallback\\");
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"CommonKrTestDir", "C:\\machine\\common"}, {"cOMMONKrTestDir", "C:\\machine\\common"},
        {"COMMONKRTESTDIR", "C:\\machine\\common"}, {"KrTestDir", "C:\\user\\plain"},
        {"krtestdir", "C:\\user\\plain"},           {"KrTestFallback", "C:\\fallback"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Str out;
        EXPECT_TRUE(GetSpecialFolder(c.name, out));
        EXPECT_EQ(Text(out), c.expected);
    }
    Str out;
    out.Assign("previous");
    EXPECT_FALSE(GetSpecialFolder("NoSuchKrFolder", out));
    EXPECT_EQ(out.len, 0);
}

// A value of another type under Shell Folders does not count: the name
// falls through to the machine's CurrentVersion key.
TEST_F(SpecialFolders, WrongTypeFallsBack) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kShell, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "KrTestDir", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>("C:\\expand"), 10),
              ERROR_SUCCESS);
    RegCloseKey(key);
    Str out;
    EXPECT_FALSE(GetSpecialFolder("KrTestDir", out));
    Put(HKEY_LOCAL_MACHINE, kVersion, "KrTestDir", "C:\\from\\version");
    EXPECT_TRUE(GetSpecialFolder("KrTestDir", out));
    EXPECT_EQ(Text(out), "C:\\from\\version");
}

TEST(DirPart, CutsPathToFolder) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\Program Files\\Kestrune 2\\setup.exe", "C:\\Program Files\\Kestrune 2\\"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"C:/dir/sub/file.txt", "C:/dir/sub/"},
        {"C:file.txt", "C:"},
        {"C:", "C:"},
        {"C:\\", "C:\\"},
        {"\\\\server\\share\\file", "\\\\server\\share\\"},
        {"\"C:\\Program Files\\Kestrune 2\\setup.exe\" uninstall",
         "C:\\Program Files\\Kestrune 2\\"},
        {"\"C:\\My Dir\\kr.exe\" \"D:\\x\\y.krl\"", "C:\\My Dir\\"},
        {"\"C:\\No Close\\kr.exe", "C:\\No Close\\"},
        {"\"kr.exe\" C:\\x\\y", ""},
        {"\"\"", ""},
        {"setup.exe", ""},
        {"\\setup.exe", ""},
        {"$KR$setup.exe", "$KR$"},
        {"$KR$\\sub\\setup.exe", "$KR$\\sub\\"},
        {"%TEMP%x.tmp", "%TEMP%"},
        {"$Temp", ""},
        {"x", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Str path;
        path.Assign(c.path);
        Str out;
        out.Assign("previous");
        EXPECT_EQ(&GetDirPart(out, path), &out);
        EXPECT_EQ(Text(out), c.expected);
        // Always a buffer, also when empty.
        ASSERT_NE(out.data, nullptr);
        EXPECT_EQ(out.data[out.len], 0);
        // In place, as the entry point does it with SourceDir.
        EXPECT_EQ(Text(GetDirPart(path, path)), c.expected);
    }
    Str none, out;
    GetDirPart(out, none);
    ASSERT_NE(out.data, nullptr);
    EXPECT_EQ(out.len, 0);
}

class WindowText : public EditControlCase {};

TEST_F(WindowText, ReadsShortLongAndEmptyText) {
    std::string longText;
    for (int i = 0; i < 70000; i++)
        longText += static_cast<char>('A' + i % 26);
    const std::string texts[] = {"C:\\Program Files\\Kestrune 2", "x", longText, ""};
    for (const std::string& text : texts) {
        ASSERT_TRUE(SetWindowTextA(edit_, text.c_str()));
        for (bool useMessages : {false, true}) {
            SCOPED_TRACE(testing::Message() << text.size() << (useMessages ? " messages" : ""));
            Str out;
            out.Assign("previous");
            EXPECT_EQ(GetWindowTextStr(out, edit_, useMessages), static_cast<int32_t>(text.size()));
            EXPECT_EQ(out.len, static_cast<int32_t>(text.size()));
            EXPECT_EQ(Text(out), text);
            ASSERT_NE(out.data, nullptr);
            EXPECT_EQ(out.data[out.len], 0);
        }
    }
}

class StringResources : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = ModuleInstance;
        ModuleInstance = ShippedSetup();
        ASSERT_NE(ModuleInstance, nullptr) << "no setup.exe in " << DistDir();
    }
    void TearDown() override { ModuleInstance = saved_; }
    HINSTANCE saved_ = nullptr;
};

// The strings of the shipped setup.exe. The notice is longer than the first
// load's 100 characters: loaded again.
// Buffers of every size around its length must give it whole.
TEST_F(StringResources, LoadsNoticeWhole) {
    const int32_t n = static_cast<int32_t>(strlen(kNotice));
    const int32_t capacities[] = {0, 100, n - 1, n, n + 1, 10000, 20000};
    for (int32_t cap : capacities) {
        SCOPED_TRACE(cap);
        Str out(Str::KeepCapacity);
        if (cap)
            out.ResizeDiscard(cap);
        EXPECT_EQ(&LoadStringStr(out, 1), &out);
        EXPECT_EQ(Text(out), std::string(kNotice));
        ASSERT_NE(out.data, nullptr);
        EXPECT_EQ(out.data[out.len], 0);
    }
}

TEST_F(StringResources, MissingStringIsEmpty) {
    Str out;
    out.Assign("previous");
    LoadStringStr(out, 9999);
    ASSERT_NE(out.data, nullptr);
    EXPECT_EQ(out.len, 0);
    EXPECT_EQ(out.data[0], 0);
}

} // namespace
