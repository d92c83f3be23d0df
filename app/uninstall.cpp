// The uninstall sequence behind the uninstall dialog's OK button: the
// registry entries and the links go, the installed files stay for the user
// to delete.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "uninstall.h"

#include "close_app.h"
#include "events.h"
#include "files.h"
#include "log.h"
#include "msgbox.h"
#include "paths.h"
#include "plan.h"
#include "register.h"
#include "registry.h"
#include "state.h"

namespace {

struct Removal {
    HKEY root;
    const char* key;     // opened under the root; null: the root itself
    const char* removed; // the subkey or value deleted in it
    enum Kind { Subkey, SubkeyIfEmpty, RootKey, Value } kind;
};

// Children before their parents: a key is deleted one level at a time.
// The sound events (between "Software\Tovak" and the scheme's application
// key) are removed by UnregisterSoundEvent.
const Removal kRemovalsBeforeEvents[] = {
    {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open", "command", Removal::Subkey},
    {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import", "command", Removal::Subkey},
    {HKEY_CLASSES_ROOT, "krlfile\\Shell", "Open", Removal::Subkey},
    {HKEY_CLASSES_ROOT, "krlfile\\Shell", "Import", Removal::Subkey},
    {HKEY_CLASSES_ROOT, "krlfile", "Shell", Removal::Subkey},
    {HKEY_CLASSES_ROOT, "krlfile", "DefaultIcon", Removal::Subkey},
    {HKEY_CLASSES_ROOT, nullptr, ".krl", Removal::RootKey},
    {HKEY_CLASSES_ROOT, nullptr, "krlfile", Removal::RootKey},
    {HKEY_LOCAL_MACHINE, kUninstallParent, "KR2", Removal::Subkey},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\Help", "kr2help.hlp", Removal::Value},
    {HKEY_CURRENT_USER, "Software\\Tovak\\KR2", "settings", Removal::Subkey},
    {HKEY_CURRENT_USER, "Software\\Tovak\\KR2", "toolbars", Removal::Subkey},
    {HKEY_CURRENT_USER, "Software\\Tovak", "KR2", Removal::SubkeyIfEmpty},
};
const Removal kRemovalsAfterEvents[] = {
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps", "Kestrune", Removal::Subkey},
};

void Remove(const Removal& r) {
    switch (r.kind) {
    case Removal::Subkey:
    case Removal::SubkeyIfEmpty:
        (void)RegRemoveKey(r.key, r.removed, r.root, r.kind == Removal::SubkeyIfEmpty);
        break;
    case Removal::RootKey:
        (void)RegDeleteKeyA(r.root, r.removed);
        break;
    case Removal::Value:
        (void)RegRemoveValue(r.key, r.removed, r.root);
        break;
    }
}

// The one spelling that every path of an existing folder shares, whatever
// its case, relative parts or long names: full, short, with a trailing
// backslash. (GetLongPathNameA would read better, but the kernels of
// Windows 95 and NT 4 do not have it.)
bool ComparableFolder(Str& out, const char* path) {
    Str full;
    if (!GetFullPath(full, path) || !FillFromPathCall(out, [&full](char* buffer, DWORD size) {
            return GetShortPathNameA(full.data, buffer, size);
        }))
        return false;
    if (!out.EndsWith("\\"))
        out.Append("\\");
    return true;
}

// True when the running program's folder is `folder` or lies in it, or
// when that cannot be told. The uninstall runs from the install folder, and
// a user may have installed into a subfolder of the Start Menu folder: then
// deleting that folder with its subfolders would take the installed files.
bool HoldsSourceDir(const Str& folder) {
    Str outer;
    Str inner;
    if (!ComparableFolder(outer, folder.data) || !ComparableFolder(inner, SourceDir.data))
        return true;
    if (inner.len < outer.len)
        return false;
    inner.SetLength(outer.len, false);
    return inner.EqualNoCase(outer);
}

// Deletes a link of the product's when there is one. One still there
// afterwards is logged, and a silent run ends with 1603.
void DeleteLink(Str& link) {
    if (FindFile(link.data, FindFiles))
        (void)ShellDelete(link, true);
    if (FindFile(link.data, FindFiles)) {
        LogFormat("Left: $", link.data);
        StepFailed = true;
    }
}

// Deletes the links of one place in `folder` (ending in a backslash).
void DeleteLinks(LinkPlace place, const Str& folder, Str& item) {
    for (const LinkRow& row : kLinks) {
        if (row.place == place)
            DeleteLink(item.AssignConcat(folder, row.link));
    }
}

// Deletes the Start Menu links, and their folder when no file of the user's
// is left in it.
void DeleteStartMenuLinks(Str& folder, Str& item, bool allUsers) {
    ReadLinkFolder(folder, LinkPlace::StartMenu, allUsers);
    if (folder.len == 0)
        return;
    folder.Append(kMenuFolder);
    if (!FindFile(folder.data, FindFolders))
        return;
    DeleteLinks(LinkPlace::StartMenu, folder.Append("\\"), item);
    // The folder goes for good, so only a search that ran to its end counts
    // as finding no file. Windows ends a search early on an entry whose name
    // does not fit the ANSI find data (a long name in UTF-8 may not): that
    // file is the user's.
    item.AssignConcat(folder, "*.*");
    folder.SetLength(folder.len - 1, true);
    if (!FindFile(item.data, FindFiles) && GetLastError() == ERROR_NO_MORE_FILES &&
        !HoldsSourceDir(folder))
        (void)ShellDelete(folder, true); // subfolders go with it
}

void DeleteStartUpLink(Str& folder, Str& item, bool allUsers) {
    ReadLinkFolder(folder, LinkPlace::StartUp, allUsers);
    if (folder.len == 0)
        return;
    DeleteLinks(LinkPlace::StartUp, folder.Append("\\"), item);
}

} // namespace

void UnregisterSoundEvent(const char* name) {
    static Str path(Str::KeepCapacity);
    static const int32_t kAppKeyLength = sizeof kSchemeAppPrefix - 2; // without the last "\"
    (void)RegRemoveKey("AppEvents\\EventLabels", name, HKEY_CURRENT_USER, false);
    path.AssignConcat(kSchemeAppPrefix, name);
    (void)RegRemoveKey(path.data, ".current", HKEY_CURRENT_USER, false);
    (void)RegRemoveKey(path.data, ".default", HKEY_CURRENT_USER, false);
    path.SetLength(kAppKeyLength, true);
    (void)RegRemoveKey(path.data, name, HKEY_CURRENT_USER, false);
}

void UnregisterProduct() {
    for (const Removal& r : kRemovalsBeforeEvents)
        Remove(r);
    for (const SoundEvent& e : kSoundEvents)
        UnregisterSoundEvent(e.name);
    for (const Removal& r : kRemovalsAfterEvents)
        Remove(r);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_DWORD, nullptr, nullptr);
}

void RunUninstall() {
    CloseRunningApp();
    ShowWaitCursor();
    ShowStatus("Removing Registry entries");
    UnregisterProduct();
    // What a deployment tool's detection reads.
    if (RegKeyExists(kUninstallKey, HKEY_LOCAL_MACHINE)) {
        LogFormat("Left: $", kUninstallKey);
        StepFailed = true;
    }
    ShowStatus("Deleting Shortcuts");
    {
        // The links of an install for the user and of one for all users,
        // whichever way the product was installed.
        Str folder;
        Str item;
        for (int allUsers = 0; allUsers < 2; allUsers++) {
            DeleteStartMenuLinks(folder, item, allUsers);
            DeleteStartUpLink(folder, item, allUsers);
        }
    }
    ShowStatus("Kestrune uninstalled");
    if (MsgBox(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST, "Delete KR files",
               "Can't delete KR folder. You should delete it manually.\r\nOpen KR folder in "
               "Explorer?") == IDYES)
        (void)ShellExecuteA(nullptr, "Explore", SourceDir.data, nullptr, nullptr, SW_SHOWNORMAL);
}
