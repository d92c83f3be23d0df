// The product's registration read back from Wine's registry, value by value,
// with the expected texts written out independently of the code (kr_test.h).
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "registry.h"
#include "cmdline.h"
#include "dialogs.h"
#include "install_file.h"
#include "plan.h"
#include "register.h"
#include "state.h"
#include "uninstall.h"

#include "file_helpers.h"

using namespace kr_files_test;

namespace {

struct KeyCounts {
    DWORD subkeys = 0;
    DWORD values = 0;
    bool operator==(const KeyCounts& o) const { return subkeys == o.subkeys && values == o.values; }
};

// Raw reads: the test does not trust the code under test to read back.
bool ReadValue(HKEY root, const std::string& key, const std::string& name, DWORD* type,
               std::string* data) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return false;
    char buffer[1024];
    DWORD size = sizeof buffer;
    LONG rc =
        RegQueryValueExA(k, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS)
        return false;
    data->assign(buffer, size);
    return true;
}

bool Counts(HKEY root, const std::string& key, KeyCounts* counts) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &counts->subkeys, nullptr, nullptr,
                               &counts->values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

// Every key the registration touches, parents included.
std::vector<RegKey> TouchedKeys() {
    std::vector<RegKey> keys = ProductKeys();
    keys.push_back({HKEY_CURRENT_USER, "Software\\Tovak"});
    keys.push_back({HKEY_CURRENT_USER, kProductKey});
    return keys;
}

class Registration : public RegistrationCase {
  protected:
    static void Register(const char* dir) {
        DestDir.Assign(dir);
        RegisterProduct();
    }
    static void CheckValues(const std::string& dir, const std::string& folder) {
        for (const RegValue& e : ProductValues(dir, folder)) {
            SCOPED_TRACE(e.key + " : " + e.name);
            DWORD type = 0;
            std::string data;
            ASSERT_TRUE(ReadValue(e.root, e.key, e.name, &type, &data));
            EXPECT_EQ(type, e.type);
            EXPECT_EQ(data, e.type == REG_SZ ? e.data + '\0' : e.data);
        }
    }
};

TEST_F(Registration, WritesEveryValue) {
    struct Case {
        const char* dir;
        const char* folder;
    } cases[] = {
        {"C:\\Program Files\\Kestrune 2\\", "C:\\Program Files\\Kestrune 2"},
        {"D:\\", "D:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        Clean();
        Register(c.dir);
        CheckValues(c.dir, c.folder);
        // Nothing beyond the table: the keys hold exactly the values named.
        const struct {
            HKEY root;
            std::string key;
            KeyCounts counts;
        } shapes[] = {
            {HKEY_LOCAL_MACHINE, kUninstallEntryKey, {0, 10}}, // EstimatedSize besides the table
            {HKEY_CLASSES_ROOT, ".krl", {0, 1}},
            {HKEY_CLASSES_ROOT, "krlfile", {2, 1}},
            {HKEY_CLASSES_ROOT, "krlfile\\Shell", {2, 1}},
            {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open", {1, 0}},
            {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import", {1, 0}},
            {HKEY_CURRENT_USER, kSchemeKey, {7, 1}},
            {HKEY_CURRENT_USER, kProductSettingsKey, {0, 1}},
        };
        for (const auto& s : shapes) {
            SCOPED_TRACE(s.key);
            KeyCounts counts;
            ASSERT_TRUE(Counts(s.root, s.key, &counts));
            EXPECT_EQ(counts.subkeys, s.counts.subkeys);
            EXPECT_EQ(counts.values, s.counts.values);
        }
        for (const Sound& e : kSounds) {
            SCOPED_TRACE(e.name);
            KeyCounts label, scheme;
            ASSERT_TRUE(Counts(HKEY_CURRENT_USER, LabelKey(e), &label));
            EXPECT_EQ(label.values, 1u);
            EXPECT_EQ(label.subkeys, 0u);
            // The scheme key exists and holds nothing.
            ASSERT_TRUE(Counts(HKEY_CURRENT_USER, SchemeKey(e), &scheme));
            EXPECT_EQ(scheme.values, 0u);
            EXPECT_EQ(scheme.subkeys, 0u);
        }
    }
}

// A quoted program path is what keeps a folder with blanks from being run
// as "C:\Program" with arguments; the icon location stays a bare path.
TEST_F(Registration, CommandLinesQuoteTheProgramPath) {
    Register("C:\\Program Files\\Kestrune 2\\");
    DWORD type;
    std::string data;
    ASSERT_TRUE(ReadValue(HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command", "", &type, &data));
    EXPECT_STREQ(data.c_str(), "\"C:\\Program Files\\Kestrune 2\\kr.exe\" \"%1\"");
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", &type, &data));
    EXPECT_STREQ(data.c_str(), "\"C:\\Program Files\\Kestrune 2\\setup.exe\" uninstall");
    ASSERT_TRUE(ReadValue(HKEY_CLASSES_ROOT, "krlfile\\DefaultIcon", "", &type, &data));
    EXPECT_STREQ(data.c_str(), "C:\\Program Files\\Kestrune 2\\kr.exe,5");
}

// A second install overwrites its own values and nothing else: the user's
// settings and sounds survive, and no key or value is added.
TEST_F(Registration, SecondRegistrationOverwritesOnlyItsOwn) {
    Register("C:\\Program Files\\Kestrune 2\\");
    Str foreign;
    foreign.Assign("toolbar layout");
    ASSERT_GT(RegSetString(foreign, kProductSettingsKey, "toolbars", HKEY_CURRENT_USER, REG_SZ), 0);
    Str sound;
    sound.Assign("C:\\Windows\\Media\\ding.wav");
    std::string current = std::string(kSchemeKey) + "\\KRmes\\.current";
    ASSERT_GT(RegSetString(sound, current.c_str(), "", HKEY_CURRENT_USER, REG_SZ), 0);

    std::map<std::string, KeyCounts> before;
    for (const RegKey& key : TouchedKeys()) {
        ASSERT_TRUE(Counts(key.root, key.path, &before[key.path])) << key.path;
    }

    Register("E:\\Apps\\KR 2\\");
    CheckValues("E:\\Apps\\KR 2\\", "E:\\Apps\\KR 2");
    for (const RegKey& key : TouchedKeys()) {
        SCOPED_TRACE(key.path);
        KeyCounts after;
        ASSERT_TRUE(Counts(key.root, key.path, &after));
        EXPECT_TRUE(after == before[key.path]);
    }
    DWORD type;
    std::string data;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, kProductSettingsKey, "toolbars", &type, &data));
    EXPECT_EQ(data, std::string("toolbar layout") + '\0');
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, current, "", &type, &data));
    EXPECT_EQ(data, std::string("C:\\Windows\\Media\\ding.wav") + '\0');
}

// The size the Apps list shows: the bytes of the installed files that the
// plan names, found in the destination folder, in kilobytes rounded up once
// for the sum. The names are the setup folder's: files the plan does not
// name (the user's own, the backups) do not count, nor a user's own icons
// beside the icons of "*.ico".
TEST_F(Registration, EstimatedSizeIsTheInstalledFilesInKilobytesRoundedUp) {
    struct File {
        const char* name;
        size_t bytes;
    };
    const struct {
        const char* what;
        std::vector<File> files;
        DWORD kilobytes;
    } cases[] = {
        {"nothing installed", {}, 0},
        {"one byte", {{"kr.exe", 1}}, 1},
        {"exactly one kilobyte", {{"kr.exe", 1024}}, 1},
        {"rounded up once for the sum", {{"kr.exe", 1024}, {"license.txt", 1}}, 2},
        {"each icon of the wildcard step", {{"a.ico", 700}, {"b.ico", 700}}, 2},
        {"files the plan does not name",
         {{"kr.exe", 10}, {"notes.txt", 5000}, {"krl.exe", 5000}},
         1},
        {"a user's own icons", {{"a.ico", 10}, {"mine.ico", 1536u << 10}, {"b.icon", 5000}}, 1},
        {"the older copies in Backup", {{"System.krl", 100}, {"Backup\\System.krl", 5000}}, 1},
        {"a large install", {{"kr2help.hlp", 3u << 20}, {"List.krl", 1}}, 3073},
    };
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    std::string base = std::string(temp) + "kr size " + std::to_string(GetCurrentProcessId());
    std::string dir = base + "\\dest";
    std::string source = base + "\\setup";
    auto write = [](const std::string& path, size_t bytes) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
        std::string content(bytes, 'k');
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
        ASSERT_EQ(written, bytes);
    };
    // The setup folder: the plan's files and two icons, of any size.
    const char* const kSourceFiles[] = {"kr.exe",      "license.txt", "System.krl", "List.krl",
                                        "kr2help.hlp", "a.ico",       "b.ico"};
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA(source.c_str(), nullptr);
    for (const char* f : kSourceFiles)
        write(source + "\\" + f, 3);
    Str savedSource;
    savedSource.Assign(SourceDir);
    SourceDir.Assign((source + "\\").c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Clean();
        CreateDirectoryA(dir.c_str(), nullptr);
        CreateDirectoryA((dir + "\\Backup").c_str(), nullptr);
        for (const File& f : c.files)
            write(dir + "\\" + f.name, f.bytes);
        Register((dir + "\\").c_str());
        DWORD type = 0;
        std::string data;
        EXPECT_TRUE(
            ReadValue(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "EstimatedSize", &type, &data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(data, DwordBytes(c.kilobytes));
        for (const File& f : c.files)
            DeleteFileA((dir + "\\" + f.name).c_str());
        RemoveDirectoryA((dir + "\\Backup").c_str());
        RemoveDirectoryA(dir.c_str());
    }
    SourceDir.Assign(savedSource);
    for (const char* f : kSourceFiles)
        DeleteFileA((source + "\\" + f).c_str());
    RemoveDirectoryA(source.c_str());
    RemoveDirectoryA(base.c_str());
}

} // namespace
