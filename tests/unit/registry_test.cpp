// Registry access against Wine's real registry, in a private key under
// HKEY_CURRENT_USER that every test starts and ends without.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>

#include "registry.h"
#include "str_text.h"

namespace {

const char kBase[] = "Software\\KestruneSetupTests\\Registry";

class Registry : public ::testing::Test {
  protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        RegDeleteTreeA(HKEY_CURRENT_USER, kBase);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KestruneSetupTests"); // only when empty
    }

    // Writes raw bytes, so that types and terminators are whatever the test says.
    static void PutRaw(const char* name, DWORD type, const void* bytes, DWORD size,
                       const std::string& sub = "") {
        HKEY key;
        std::string path = sub.empty() ? kBase : std::string(kBase) + "\\" + sub;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(bytes), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void PutSz(const char* name, const std::string& text) {
        PutRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    static bool KeyExists(const std::string& path) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static bool ValueExists(const char* name) {
        return RegGetValueA(HKEY_CURRENT_USER, kBase, name, RRF_RT_ANY, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
    }
    static std::string Pattern(size_t n) {
        std::string t;
        for (size_t i = 0; i < n; i++)
            t += static_cast<char>('a' + i % 26);
        return t;
    }
};

// Values around the first read's 300 bytes: the retry after ERROR_MORE_DATA
// must deliver the whole text, also one byte past the first buffer.
TEST_F(Registry, ReadsWholeTextOfEveryLength) {
    const size_t lengths[] = {0, 1, 298, 299, 300, 301, 302, 1000, 4095, 20000};
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        std::string text = Pattern(n);
        PutSz("v", text);
        Str out;
        EXPECT_EQ(RegGetString(out, kBase, "v", "default", HKEY_CURRENT_USER, REG_SZ, nullptr),
                  static_cast<int32_t>(n + 1));
        EXPECT_EQ(Text(out), text);
        ASSERT_NE(out.data, nullptr);
        EXPECT_EQ(out.data[out.len], 0);
        EXPECT_LE(out.len, out.cap);
    }
}

TEST_F(Registry, ReadIntoBigEnoughBufferKeepsIt) {
    std::string text = Pattern(1000);
    PutSz("v", text);
    Str out(Str::KeepCapacity);
    out.ResizeDiscard(1001);
    char* block = out.data;
    EXPECT_EQ(RegGetString(out, kBase, "v", nullptr, HKEY_CURRENT_USER, REG_SZ, nullptr), 1001);
    EXPECT_EQ(Text(out), text);
    EXPECT_EQ(out.data, block);
    EXPECT_EQ(out.cap, 1001);
}

// Data stored without its NUL is text to the last byte, whatever the buffer
// it lands in; a value of zero bytes is an empty text.
TEST_F(Registry, UnterminatedStringKeepsEveryByte) {
    const size_t lengths[] = {3, 299, 300, 301, 1000};
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        std::string text = Pattern(n);
        PutRaw("u", REG_SZ, text.data(), static_cast<DWORD>(n));
        Str out;
        EXPECT_EQ(RegGetString(out, kBase, "u", nullptr, HKEY_CURRENT_USER, REG_SZ, nullptr),
                  static_cast<int32_t>(n + 1));
        EXPECT_EQ(Text(out), text);
        ASSERT_NE(out.data, nullptr);
        EXPECT_EQ(out.data[out.len], 0);
    }
    PutRaw("empty", REG_SZ, "", 0);
    Str out;
    out.Assign("old text that must not show through");
    EXPECT_EQ(RegGetString(out, kBase, "empty", "default", HKEY_CURRENT_USER, REG_SZ, nullptr), 1);
    ASSERT_NE(out.data, nullptr);
    EXPECT_EQ(out.len, 0);
    EXPECT_EQ(out.data[0], 0);
}

TEST_F(Registry, OtherTypeOrMissingGivesDefault) {
    PutRaw("expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    DWORD number = 7;
    PutRaw("dword", REG_DWORD, &number, sizeof number);
    PutSz("present", "text");
    struct Case {
        const char* key;
        const char* value;
    } cases[] = {
        {kBase, "expand"},
        {kBase, "dword"},
        {kBase, "missing"},
        {"Software\\KestruneSetupTests\\NoSuchKey", "present"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Str out;
        EXPECT_EQ(RegGetString(out, c.key, c.value, "fallback", HKEY_CURRENT_USER, REG_SZ, nullptr),
                  0);
        EXPECT_EQ(Text(out), "fallback");
        out.Assign("something");
        EXPECT_EQ(RegGetString(out, c.key, c.value, nullptr, HKEY_CURRENT_USER, REG_SZ, nullptr),
                  0);
        EXPECT_EQ(out.data, nullptr);
        EXPECT_EQ(out.len, 0);
    }
    // The expected type decides, not the stored one being a string.
    Str out;
    EXPECT_EQ(
        RegGetString(out, kBase, "expand", nullptr, HKEY_CURRENT_USER, REG_EXPAND_SZ, nullptr), 9);
    EXPECT_EQ(Text(out), "%TEMP%\\x");
}

TEST_F(Registry, OwnTextAsDefaultSurvivesFailedRead) {
    PutRaw("expand", REG_EXPAND_SZ, "%TEMP%", 7);
    const char* missing[] = {"missing", "expand"};
    for (const char* name : missing) {
        SCOPED_TRACE(name);
        Str out;
        out.Assign("C:\\Program Files\\Kestrune 2"); // below the first read's 300 bytes
        EXPECT_EQ(RegGetString(out, kBase, name, out.data, HKEY_CURRENT_USER, REG_SZ, nullptr), 0);
        EXPECT_EQ(Text(out), "C:\\Program Files\\Kestrune 2");
    }
    PutSz("present", "new");
    Str out;
    out.Assign("old");
    EXPECT_EQ(RegGetString(out, kBase, "present", out.data, HKEY_CURRENT_USER, REG_SZ, nullptr), 4);
    EXPECT_EQ(Text(out), "new");
}

// The key is handed over whenever it was opened, also when the value is
// missing; a key that could not be opened leaves the pointer alone.
TEST_F(Registry, HandsOverOpenKey) {
    PutSz("present", "text");
    HKEY key = nullptr;
    Str out;
    ASSERT_EQ(RegGetString(out, kBase, "present", nullptr, HKEY_CURRENT_USER, REG_SZ, &key), 5);
    ASSERT_NE(key, nullptr);
    char buffer[16] = {};
    DWORD size = sizeof buffer;
    EXPECT_EQ(
        RegQueryValueExA(key, "present", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "text");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    key = nullptr;
    EXPECT_EQ(RegGetString(out, kBase, "missing", "d", HKEY_CURRENT_USER, REG_SZ, &key), 0);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    HKEY untouched = reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x1234));
    key = untouched;
    EXPECT_EQ(RegGetString(out, "Software\\KestruneSetupTests\\NoSuchKey", "v", "d",
                           HKEY_CURRENT_USER, REG_SZ, &key),
              0);
    EXPECT_EQ(key, untouched);
}

TEST_F(Registry, SetStringWritesTextWithOneNul) {
    struct Case {
        const char* text; // null: a buffer-less Str
        DWORD type;
        const char* sub;
    } cases[] = {
        {nullptr, REG_SZ, "Set"},
        {"", REG_SZ, "Set"},
        {"C:\\Program Files\\Kestrune 2", REG_SZ, "Set\\Created\\On\\The\\Way"},
        {"%SystemRoot%\\x", REG_EXPAND_SZ, "Set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(no buffer)");
        Str value;
        if (c.text)
            value.Assign(c.text);
        std::string path = std::string(kBase) + "\\" + c.sub;
        int32_t expected = static_cast<int32_t>(c.text ? strlen(c.text) + 1 : 1);
        EXPECT_EQ(RegSetString(value, path.c_str(), "v", HKEY_CURRENT_USER, c.type), expected);
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key),
                  ERROR_SUCCESS);
        char buffer[64];
        memset(buffer, 'x', sizeof buffer);
        DWORD type = 0, size = sizeof buffer;
        EXPECT_EQ(
            RegQueryValueExA(key, "v", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(type, c.type);
        ASSERT_EQ(size, static_cast<DWORD>(expected));
        EXPECT_EQ(std::string(buffer, size), std::string(c.text ? c.text : "") + '\0');
    }
}

TEST_F(Registry, SetAndReadThousandsOfChars) {
    const size_t lengths[] = {2000, 10000, 65536};
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        Str value;
        value.Assign(Pattern(n).c_str());
        EXPECT_EQ(RegSetString(value, kBase, "", HKEY_CURRENT_USER, REG_SZ),
                  static_cast<int32_t>(n + 1));
        Str out;
        EXPECT_EQ(RegGetString(out, kBase, "", nullptr, HKEY_CURRENT_USER, REG_SZ, nullptr),
                  static_cast<int32_t>(n + 1));
        EXPECT_EQ(Text(out), Pattern(n));
    }
}

TEST_F(Registry, RemoveValue) {
    PutSz("gone", "x");
    PutSz("stays", "y");
    EXPECT_EQ(RegRemoveValue(kBase, "gone", HKEY_CURRENT_USER), 1);
    EXPECT_FALSE(ValueExists("gone"));
    EXPECT_TRUE(ValueExists("stays"));
    EXPECT_EQ(RegRemoveValue(kBase, "gone", HKEY_CURRENT_USER), 0);
    EXPECT_EQ(RegRemoveValue("Software\\KestruneSetupTests\\NoSuchKey", "stays", HKEY_CURRENT_USER),
              0);
}

TEST_F(Registry, RemoveKeyOnlyIfEmptyCountsSubkeysNotValues) {
    std::string base = kBase;
    PutSz("v", "x"); // the parent itself holds a value: irrelevant
    PutRaw("a", REG_SZ, "1", 2, "WithValues");
    PutRaw("b", REG_SZ, "2", 2, "WithValues");
    EXPECT_TRUE(RegRemoveKey(kBase, "WithValues", HKEY_CURRENT_USER, true));
    EXPECT_FALSE(KeyExists(base + "\\WithValues"));

    PutRaw("a", REG_SZ, "1", 2, "WithSub\\Child");
    EXPECT_FALSE(RegRemoveKey(kBase, "WithSub", HKEY_CURRENT_USER, true));
    EXPECT_TRUE(KeyExists(base + "\\WithSub"));
    EXPECT_TRUE(KeyExists(base + "\\WithSub\\Child"));

    EXPECT_FALSE(RegRemoveKey(kBase, "Missing", HKEY_CURRENT_USER, true));
    EXPECT_FALSE(RegRemoveKey(kBase, "Missing", HKEY_CURRENT_USER, false));
    EXPECT_FALSE(RegRemoveKey("Software\\KestruneSetupTests\\NoSuchKey", "WithSub",
                              HKEY_CURRENT_USER, false));

    // Without the test a childless key goes, with its values.
    PutRaw("a", REG_SZ, "1", 2, "Plain");
    EXPECT_TRUE(RegRemoveKey(kBase, "Plain", HKEY_CURRENT_USER, false));
    EXPECT_FALSE(KeyExists(base + "\\Plain"));
    // The child goes first, then the emptied parent passes the test.
    EXPECT_TRUE(RegRemoveKey((base + "\\WithSub").c_str(), "Child", HKEY_CURRENT_USER, true));
    EXPECT_TRUE(RegRemoveKey(kBase, "WithSub", HKEY_CURRENT_USER, true));
    EXPECT_FALSE(KeyExists(base + "\\WithSub"));
}

// RegDeleteKeyA never deletes a tree: a key with a subkey stays even
// without the only-if-empty test.
TEST_F(Registry, RemoveKeyNeverDeletesSubtree) {
    std::string base = kBase;
    PutRaw("a", REG_SZ, "1", 2, "Tree\\Child");
    EXPECT_FALSE(RegRemoveKey(kBase, "Tree", HKEY_CURRENT_USER, false));
    EXPECT_TRUE(KeyExists(base + "\\Tree\\Child"));
}

} // namespace
