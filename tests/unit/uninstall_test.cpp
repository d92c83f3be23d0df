// The removal of the product's registration, read back from Wine's registry
// with raw calls: everything the registration wrote goes, the keys around it
// stay.
#include <gtest/gtest.h>

#include <windows.h>

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

bool KeyExists(const RegKey& k) {
    HKEY h;
    if (RegOpenKeyExA(k.root, k.path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

bool ValueExists(HKEY root, const char* key, const char* name) {
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(h, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

void Write(HKEY root, const std::string& key, const char* name, const char* text) {
    HKEY h;
    ASSERT_EQ(
        RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
        ERROR_SUCCESS)
        << key;
    RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(strlen(text) + 1));
    RegCloseKey(h);
}

class UnregisterProduct : public RegistrationCase {
  protected:
    static void Register() {
        DestDir.Assign("C:\\Program Files\\Kestrune 2\\");
        RegisterProduct();
        for (const RegKey& k : ProductKeys())
            ASSERT_TRUE(KeyExists(k)) << k.path;
    }
};

TEST_F(UnregisterProduct, RemovesEveryRegisteredEntryAndLeavesTheParents) {
    Register();
    // What the product and the user add on top: sounds chosen for each
    // event, more settings, the toolbar layout, another program's help file.
    for (const Sound& e : kSounds) {
        Write(HKEY_CURRENT_USER, SchemeKey(e) + "\\.current", "", "C:\\Windows\\Media\\ding.wav");
        Write(HKEY_CURRENT_USER, SchemeKey(e) + "\\.default", "", "C:\\Windows\\Media\\chord.wav");
    }
    Write(HKEY_CURRENT_USER, std::string(kProductKey) + "\\settings", "lang", "en");
    Write(HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars", "main", "1 2 3");
    Write(HKEY_LOCAL_MACHINE, kHelpKey, "other.hlp", "C:\\Other");
    // Values of the product key do not keep it.
    Write(HKEY_CURRENT_USER, kProductKey, "version", "2.1.0");

    // A second run finds nothing and changes nothing.
    for (int run = 1; run <= 2; run++) {
        SCOPED_TRACE(run);
        ::UnregisterProduct();
        for (const RegKey& k : ProductKeys())
            EXPECT_FALSE(KeyExists(k)) << k.path;
        EXPECT_FALSE(KeyExists({HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars"}));
        EXPECT_FALSE(KeyExists({HKEY_CURRENT_USER, kProductKey}));
        EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kHelpKey, "kr2help.hlp"));
        EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kHelpKey, "other.hlp"));
        for (const RegKey& k : kParentKeys)
            EXPECT_TRUE(KeyExists(k)) << k.path;
    }
}

// No value is compared before a removal: a class another program took over
// since the install is removed all the same.
TEST_F(UnregisterProduct, RemovesTheFileClassAnotherProgramChanged) {
    Register();
    Write(HKEY_CLASSES_ROOT, ".krl", "", "otherfile");
    Write(HKEY_CLASSES_ROOT, ".krl", "Content Type", "text/plain");
    Write(HKEY_CLASSES_ROOT, "krlfile", "", "Other macro list");
    Write(HKEY_CLASSES_ROOT, "krlfile\\DefaultIcon", "", "C:\\Other\\other.exe,0");
    Write(HKEY_CLASSES_ROOT, "krlfile\\Shell", "", "Import");
    Write(HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command", "", "notepad.exe \"%1\"");
    ::UnregisterProduct();
    EXPECT_FALSE(KeyExists({HKEY_CLASSES_ROOT, ".krl"}));
    EXPECT_FALSE(KeyExists({HKEY_CLASSES_ROOT, "krlfile"}));
}

// The product key goes only when nothing but "settings" and "toolbars" was
// in it; a key that has a subkey survives its own removal, and then so do
// its parents. The maker key always stays.
TEST_F(UnregisterProduct, ProductKeyStaysWhileSomethingIsLeftInIt) {
    const struct {
        const char* extra; // key created under the product key
        const char* stays; // the product subkey that survives
    } cases[] = {
        {"macros", "macros"},
        {"settings\\window", "settings"},
        {"toolbars\\main", "toolbars"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        Clean();
        Register();
        Write(HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars", "main", "1 2 3");
        Write(HKEY_CURRENT_USER, std::string(kProductKey) + "\\" + c.extra, "data", "kept");
        ::UnregisterProduct();
        EXPECT_TRUE(KeyExists({HKEY_CURRENT_USER, kProductKey}));
        EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER,
                                (std::string(kProductKey) + "\\" + c.extra).c_str(), "data"));
        for (const char* sub : {"settings", "toolbars"}) {
            EXPECT_EQ(KeyExists({HKEY_CURRENT_USER, std::string(kProductKey) + "\\" + sub}),
                      std::string(sub) == c.stays)
                << sub;
        }
        // The rest of the registration goes regardless.
        EXPECT_FALSE(KeyExists({HKEY_CLASSES_ROOT, "krlfile"}));
        EXPECT_FALSE(KeyExists({HKEY_CURRENT_USER, kSchemeKey}));
        EXPECT_FALSE(KeyExists({HKEY_LOCAL_MACHINE, kUninstallEntryKey}));
    }
}

} // namespace
