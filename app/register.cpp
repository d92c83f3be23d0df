// Registry registration: every value an installation of Kestrune 2 writes,
// as one table in the order of writing.
#include <windows.h>
#include <shlobj.h>

#include "register.h"

#include "events.h"
#include "log.h"
#include "plan.h"
#include "registry.h"
#include "state.h"
#include "version.h"

namespace {

// How a row's data is made from DestDir (which ends with a backslash).
enum class Data {
    Folder,         // DestDir less its last character
    FolderNoSlash,  // DestDir less a trailing backslash, if any
    Literal,        // the row's text
    InFolder,       // DestDir + text
    QuotedInFolder, // "\"" + DestDir + text: the text closes the quote
    SoundEvents,    // no value: the sound events are registered here
    Flag,           // REG_DWORD 1
    InstalledSize,  // REG_DWORD: kilobytes of the installed files
};

struct ProductValue {
    HKEY root;
    const char* key;
    const char* name; // "" is the key's default value
    Data data;
    const char* text;
};

// The program paths in the uninstall entry and the two verbs are quoted: the
// folder may hold blanks, and an unquoted path with blanks is run as
// whatever program its first word names ("C:\Program.exe"). The icon
// location is a path and an index, never a command line, so it stays bare.
const ProductValue kProductValues[] = {
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\Help", "kr2help.hlp", Data::Folder,
     nullptr},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", Data::Literal, "Kestrune 2"},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", Data::QuotedInFolder,
     "setup.exe\" uninstall"},
    // What deployment tools and winget run to remove the product unattended.
    {HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString", Data::QuotedInFolder,
     "setup.exe\" uninstall /S"},
    // What Windows' list of installed apps shows beside the name; without
    // NoModify and NoRepair it offers buttons that only run the uninstall.
    {HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon", Data::InFolder, "kr.exe,0"},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion", Data::Literal, KR_VERSION},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher", Data::Literal, "Tovak"},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", Data::InFolder, ""},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", Data::InstalledSize, nullptr},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify", Data::Flag, nullptr},
    {HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair", Data::Flag, nullptr},
    {HKEY_CLASSES_ROOT, ".krl", "", Data::Literal, "krlfile"},
    {HKEY_CLASSES_ROOT, "krlfile", "", Data::Literal, "KR macro list"},
    {HKEY_CLASSES_ROOT, "krlfile\\DefaultIcon", "", Data::InFolder, "kr.exe,5"},
    {HKEY_CLASSES_ROOT, "krlfile\\Shell", "", Data::Literal, "Open"},
    {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command", "", Data::QuotedInFolder,
     "kr.exe\" \"%1\""},
    {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import\\command", "", Data::QuotedInFolder,
     "kr.exe\" LI \"%1\""},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Kestrune", "", Data::Literal, "Kestrune"},
    {nullptr, nullptr, nullptr, Data::SoundEvents, nullptr},
    {HKEY_CURRENT_USER, kSettingsKey, "instdir", Data::FolderNoSlash, nullptr},
};

} // namespace

void RegisterProduct() {
    // A registry the user may not write (HKLM, HKCR) loses those rows, and
    // the rest are still made.
    Str value(Str::KeepCapacity);
    PrepareBuffer(value, 300);
    for (const ProductValue& row : kProductValues) {
        int32_t written = 1;
        switch (row.data) {
        case Data::Folder:
            value.Concat(1, DestDir.data, DestDir.len - 1);
            break;
        case Data::FolderNoSlash:
            value.Assign(DestDir);
            if (value.EndsWith("\\"))
                value.SetLength(value.len - 1, false);
            break;
        case Data::Literal:
            value.Assign(row.text);
            break;
        case Data::InFolder:
            value.AssignConcat(DestDir, row.text);
            break;
        case Data::QuotedInFolder:
            value.Concat(3, "\"", 1, DestDir.data, DestDir.len, row.text, -1);
            break;
        case Data::SoundEvents:
            for (const SoundEvent& event : kSoundEvents)
                RegisterSoundEvent(event.name, event.label);
            continue;
        case Data::Flag:
        case Data::InstalledSize:
            written = RegSetDword(row.data == Data::Flag ? 1 : InstalledKilobytes(), row.key,
                                  row.name, row.root);
            break;
        }
        if (row.data < Data::Flag)
            written = RegSetString(value, row.key, row.name, row.root, REG_SZ);
        // What a deployment tool's detection reads: the Apps entry.
        if (!written && row.key == kUninstallKey) {
            LogFormat("Not written: $ (#)", row.name, GetLastError());
            StepFailed = true;
        }
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_DWORD, nullptr, nullptr);
}

void RegisterSoundEvent(const char* name, const char* label) {
    // Seven calls in a row: the buffers keep their blocks between them.
    static Str path(Str::KeepCapacity);
    static Str text(Str::KeepCapacity);
    path.AssignConcat(kEventLabelsPrefix, name);
    text.Assign(label);
    (void)RegSetString(text, path.data, "", HKEY_CURRENT_USER, REG_SZ);
    // The scheme key only has to exist; a sound the user chose lives in its
    // subkeys and must survive a new install, so nothing is written into it.
    path.AssignConcat(kSchemeAppPrefix, name);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.data, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}
