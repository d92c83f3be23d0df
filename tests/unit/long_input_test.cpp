// Inputs longer than the buffers the first platform call is given: MAX_PATH
// for environment expansion and folders, 300 bytes for a registry value, a
// window text of any length. Every case checks that the whole text arrives
// (nothing cut) and that nothing lands past it (the byte after the length
// is zero and the length never exceeds the capacity), into buffers that are
// fresh, already large, or too small.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>

#include "paths.h"
#include "process.h"
#include "registry.h"
#include "wintext.h"

#include "file_helpers.h"

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kBase[] = "Software\\KestruneSetupTests\\LongInput";

// A run of n letters: no "%", "$", separator or blank, so that a cut shows.
// ASCII only: other bytes are no text in the program's code page (UTF-8).
std::string Letters(size_t n, char first = 'a') {
    std::string t;
    for (size_t i = 0; i < n; i++)
        t += static_cast<char>('a' + (first - 'a' + i) % 26);
    return t;
}

// A path-like text of exactly n characters (n >= 2): a drive and letters.
std::string LongName(size_t n) {
    return "C:" + Letters(n - 2);
}

void ExpectWhole(const Str& s, const std::string& expected) {
    EXPECT_EQ(s.len, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(Text(s), expected);
    ASSERT_NE(s.data, nullptr);
    EXPECT_LE(s.len, s.cap);
    EXPECT_EQ(s.data[s.len], 0);
}

// Output buffers a caller may hand in: none, a small one, a large one that
// must not be given back (KeepCapacity), a large one that may shrink.
struct Target {
    const char* name;
    uint8_t flags;
    int32_t cap; // 0: buffer-less
};

const Target kTargets[] = {
    {"fresh", 0, 0},
    {"small", 0, 10},
    {"large KeepCapacity", Str::KeepCapacity, 30000},
    {"large", 0, 30000},
};

void Prepare(Str& s, const Target& t) {
    if (t.cap) {
        s.ResizeDiscard(t.cap);
        memset(s.data, 'X', static_cast<size_t>(t.cap) + 3); // stale bytes past any text
        s.SetLength(0, true);
    }
}

// Puts an environment variable back as it was when the test ends.
class EnvironmentGuard {
  public:
    explicit EnvironmentGuard(const char* name) : name_(name) {
        DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
        had_ = n > 0;
        value_.resize(n);
        if (had_)
            GetEnvironmentVariableA(name, &value_[0], n);
    }
    ~EnvironmentGuard() { SetEnvironmentVariableA(name_, had_ ? value_.c_str() : nullptr); }

  private:
    const char* name_;
    bool had_;
    std::string value_;
};

class LongPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_.Assign(SourceDir);
        SourceDir.Assign("C:\\Setup Source\\KR\\");
    }
    void TearDown() override {
        SourceDir.Assign(saved_);
        SetEnvironmentVariableA("KRLONGA", nullptr);
        SetEnvironmentVariableA("KRLONGB", nullptr);
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, "KrLongFolder");
            RegCloseKey(key);
        }
    }
    static void SetFolder(const std::string& folder) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "KrLongFolder", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(folder.c_str()),
                                 static_cast<DWORD>(folder.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    Str saved_;
};

// Expansions whose result lies around and far beyond the 260 bytes of the
// first call, from two references, into every kind of output and in place.
TEST_F(LongPaths, EnvironmentExpansionArrivesWhole) {
    const size_t lengths[] = {258, 259, 260, 261, 262, 400, 5000};
    for (size_t n : lengths) {
        // "%KRLONGA%\\%KRLONGB%": n characters in all, split over two values.
        std::string a = LongName(n / 2);
        std::string b = Letters(n - a.size() - 1, 'k');
        std::string expected = a + "\\" + b;
        ASSERT_EQ(expected.size(), n);
        ASSERT_TRUE(SetEnvironmentVariableA("KRLONGA", a.c_str()));
        ASSERT_TRUE(SetEnvironmentVariableA("KRLONGB", b.c_str()));
        for (const Target& t : kTargets) {
            SCOPED_TRACE(testing::Message() << n << " into " << t.name);
            Str out(t.flags);
            Prepare(out, t);
            const char* got = ExpandPathTokens(out, "%KRLONGA%\\%KRLONGB%");
            EXPECT_EQ(got, out.data);
            ExpectWhole(out, expected);

            Str inPlace(t.flags);
            Prepare(inPlace, t);
            inPlace.Assign("%KRLONGA%\\%KRLONGB%");
            got = ExpandPathTokens(inPlace, nullptr);
            EXPECT_EQ(got, inPlace.data);
            ExpectWhole(inPlace, expected);
        }
    }
}

// A folder token whose registry value is longer than MAX_PATH and than the
// 300 bytes of the first registry read; trailing backslashes go, the rest of
// the path follows.
TEST_F(LongPaths, LongFolderTokenArrivesWhole) {
    const size_t lengths[] = {259, 260, 261, 299, 300, 301, 400, 3000};
    for (size_t n : lengths) {
        std::string folder = LongName(n);
        SetFolder(folder + "\\\\");
        for (const Target& t : kTargets) {
            SCOPED_TRACE(testing::Message() << n << " into " << t.name);
            Str out(t.flags);
            Prepare(out, t);
            ExpandPathTokens(out, "$KrLongFolder$\\sub\\file.txt");
            ExpectWhole(out, folder + "\\sub\\file.txt");

            Str bare(t.flags);
            Prepare(bare, t);
            EXPECT_TRUE(GetSpecialFolder("krlongfolder", bare));
            ExpectWhole(bare, folder);

            Str inPlace(t.flags);
            Prepare(inPlace, t);
            inPlace.Assign("$KrLongFolder$\\f");
            ExpandPathTokens(inPlace, inPlace.data);
            ExpectWhole(inPlace, folder + "\\f");
        }
    }
}

// A temporary folder near and beyond MAX_PATH (TMP and TEMP say so): the
// folder comes whole, or not at all (Wine refuses more than 258 characters);
// never cut, never past the buffer.
TEST_F(LongPaths, LongTempFolderIsWholeOrEmpty) {
    EnvironmentGuard tmp("TMP"), temp("TEMP");
    size_t whole = 0;
    for (size_t n : {200, 257, 258, 259, 260, 261, 400}) {
        std::string folder = "C:\\" + Letters(n - 3);
        ASSERT_TRUE(SetEnvironmentVariableA("TMP", folder.c_str()));
        ASSERT_TRUE(SetEnvironmentVariableA("TEMP", folder.c_str()));
        for (const Target& t : kTargets) {
            SCOPED_TRACE(testing::Message() << n << " into " << t.name);
            Str out(t.flags);
            Prepare(out, t);
            bool found = GetSpecialFolder("Temp", out);
            ASSERT_NE(out.data, nullptr);
            EXPECT_LE(out.len, out.cap);
            EXPECT_EQ(out.data[out.len], 0);
            EXPECT_EQ(found, out.len != 0);
            if (found) {
                EXPECT_EQ(Text(out), folder);
                whole++;
            }
        }
    }
    EXPECT_GT(whole, 0u); // the short folders at least
}

// Folders named in other scripts: fewer than MAX_PATH characters, more than
// MAX_PATH bytes in the program's code page (UTF-8), through environment
// expansion, a folder token's registry value and the temporary folder.
TEST_F(LongPaths, MultiByteFolderBeyondMaxPathBytesArrivesWhole) {
    ASSERT_EQ(GetACP(), 65001u);
    EnvironmentGuard tmp("TMP"), temp("TEMP");
    const struct {
        const char* script;
        const char* character; // repeated
        size_t count;
    } kNames[] = {
        {"Cyrillic, 2 bytes", "\xD0\x96", 150},
        {"CJK, 3 bytes", "\xE4\xB8\xAD", 100},
        {"emoji, 4 bytes and 2 UTF-16 units", "\xF0\x9F\x8E\x89", 70},
    };
    for (const auto& name : kNames) {
        std::string folder = "C:\\";
        for (size_t i = 0; i < name.count; i++)
            folder += name.character;
        ASSERT_GT(folder.size(), static_cast<size_t>(MAX_PATH));
        ASSERT_TRUE(SetEnvironmentVariableA("KRLONGA", folder.c_str()));
        ASSERT_TRUE(SetEnvironmentVariableA("TMP", folder.c_str()));
        ASSERT_TRUE(SetEnvironmentVariableA("TEMP", folder.c_str()));
        SetFolder(folder);
        for (const Target& t : kTargets) {
            SCOPED_TRACE(testing::Message() << name.script << " into " << t.name);
            Str out(t.flags);
            Prepare(out, t);
            ExpandPathTokens(out, "%KRLONGA%\\f");
            ExpectWhole(out, folder + "\\f");
            Prepare(out, t);
            ExpandPathTokens(out, "$KrLongFolder$\\f");
            ExpectWhole(out, folder + "\\f");
            Prepare(out, t);
            EXPECT_TRUE(GetSpecialFolder("Temp", out));
            ExpectWhole(out, folder);
        }
    }
}

// A token name of several hundred characters that names nothing: "$" and
// the whole name come back, uncut.
TEST_F(LongPaths, LongUnresolvedTokenNameIsKept) {
    std::string name = "KrNoSuch" + Letters(400);
    std::string path = "$" + name + "$\\tail";
    Str out;
    ExpandPathTokens(out, path.c_str());
    ExpectWhole(out, "$" + name);
}

// The folder part of paths whose length or last separator lies at the
// MAX_PATH boundary, into another Str and in place.
TEST_F(LongPaths, DirPartAtMaxPath) {
    const size_t lengths[] = {258, 259, 260, 261, 262, 5000};
    for (size_t n : lengths) {
        std::string folder = LongName(n - 1) + "\\"; // the separator is the last byte
        std::string file = folder + "name.txt";
        std::string quoted = "\"" + folder + "x y.exe\" /arg";
        struct Case {
            std::string path;
            std::string expected;
        } cases[] = {
            {folder, folder},
            {file, folder},
            {quoted, folder},
            {LongName(n), "C:"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << n << " " << c.path.substr(0, 40));
            Str path;
            path.Assign(c.path.c_str());
            Str out;
            GetDirPart(out, path);
            ExpectWhole(out, c.expected);
            GetDirPart(path, path);
            ExpectWhole(path, c.expected);
        }
    }
}

class LongRegistry : public ::testing::Test {
  protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        RegDeleteTreeA(HKEY_CURRENT_USER, kBase);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KestruneSetupTests"); // only when empty
    }
    static void Put(const char* name, const std::string& bytes) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kBase, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

// Values of thousands of characters, stored with and without their NUL,
// into every kind of output. A large KeepCapacity buffer keeps its block.
TEST_F(LongRegistry, ThousandsOfCharsArriveWhole) {
    const size_t lengths[] = {5000, 20000, 29999, 30000, 40000};
    for (size_t n : lengths) {
        std::string text = LongName(n);
        for (bool terminated : {true, false}) {
            Put("v", terminated ? std::string(text.c_str(), n + 1) : text);
            for (const Target& t : kTargets) {
                SCOPED_TRACE(testing::Message()
                             << n << (terminated ? "" : " unterminated") << " into " << t.name);
                Str out(t.flags);
                Prepare(out, t);
                char* block = out.data;
                int32_t cap = out.cap;
                EXPECT_EQ(
                    RegGetString(out, kBase, "v", "default", HKEY_CURRENT_USER, REG_SZ, nullptr),
                    static_cast<int32_t>(n + 1));
                ExpectWhole(out, text);
                if ((t.flags & Str::KeepCapacity) && static_cast<int32_t>(n) < cap) {
                    EXPECT_EQ(out.data, block);
                    EXPECT_EQ(out.cap, cap);
                }
            }
        }
    }
}

// Values around the first read's 300 bytes, stored with and without their
// NUL, into KeepCapacity buffers whose capacity lies on the same boundary:
// the retry must get room for every byte the first query reported.
TEST_F(LongRegistry, FirstReadBoundaryWithKeptBuffers) {
    for (size_t n = 297; n <= 303; n++) {
        std::string text = LongName(n);
        for (bool terminated : {true, false}) {
            Put("v", terminated ? std::string(text.c_str(), n + 1) : text);
            for (int32_t cap = 299; cap <= 302; cap++) {
                SCOPED_TRACE(testing::Message()
                             << n << (terminated ? "" : " unterminated") << " into cap " << cap);
                Str out(Str::KeepCapacity);
                out.ResizeDiscard(cap);
                memset(out.data, 'X', static_cast<size_t>(cap) + 3);
                EXPECT_EQ(
                    RegGetString(out, kBase, "v", nullptr, HKEY_CURRENT_USER, REG_SZ, nullptr),
                    static_cast<int32_t>(n + 1));
                ExpectWhole(out, text);
            }
        }
    }
}

class LongWindowText : public kr_files_test::EditControlCase {};

TEST_F(LongWindowText, AnyLengthArrivesWhole) {
    const size_t lengths[] = {259, 260, 261, 29999, 30000, 30001, 70000};
    for (size_t n : lengths) {
        std::string text = LongName(n);
        ASSERT_TRUE(SetWindowTextA(edit_, text.c_str()));
        for (bool useMessages : {false, true}) {
            for (const Target& t : kTargets) {
                SCOPED_TRACE(testing::Message()
                             << n << (useMessages ? " messages" : " GetWindowText") << " into "
                             << t.name);
                Str out(t.flags);
                Prepare(out, t);
                EXPECT_EQ(GetWindowTextStr(out, edit_, useMessages), static_cast<int32_t>(n));
                ExpectWhole(out, text);
            }
        }
    }
}

// Str::SetLength after a call that filled a MAX_PATH buffer: to the first
// zero byte, to a count, to a count past the capacity; one byte more than
// the buffer (a call that wrote no terminator into the spare byte) ends the
// text at the capacity.
TEST(StrMaxPath, SetLengthAroundMaxPath) {
    struct Case {
        size_t written; // bytes the call wrote, no zero among them
        bool zero;      // followed by a zero byte
        int32_t n;      // passed to SetLength
        int32_t len;
    } cases[] = {
        {259, true, -1, 259},   {260, true, -1, 260},   {261, false, -1, 260},
        {259, true, 259, 259},  {260, false, 260, 260}, {260, false, 261, 260},
        {261, false, 261, 260}, {259, true, 262, 260},
    };
    for (const Case& c : cases) {
        for (bool keepCapacity : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.written << (c.zero ? "+zero" : "") << " n " << c.n
                                            << (keepCapacity ? " keep" : ""));
            Str s;
            s.GetBuffer(260, 0);
            ASSERT_EQ(s.cap, 260); // the MAX_PATH buffer the cases are about
            // What the block holds after the call: its bytes, maybe a zero,
            // the stale rest.
            std::string image = LongName(c.written) + (c.zero ? std::string(1, 0) : "");
            image.resize(263, 'X');
            memcpy(s.data, image.data(), image.size());
            s.SetLength(c.n, keepCapacity);
            ExpectWhole(s, image.substr(0, static_cast<size_t>(c.len)));
            EXPECT_EQ(s.data[s.len + 1], 0);
        }
    }
}

} // namespace
