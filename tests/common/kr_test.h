// What the unit tests, the end-to-end tests and the demonstration share:
// the product's texts, sound events and registry keys as the tests expect
// them, the clean-up of an install's registry entries, and file, folder and
// link helpers. Header only, with no part of the program in it: the lists
// here are the tests' own expectation, written out independently of the
// program's tables on purpose, so that a wrong table shows.
//
// Texts are UTF-8 and reach Windows through the wide ("W") calls, so that
// names in any script survive whatever the ANSI code page of the caller.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdlib.h>

#include <string>
#include <vector>

namespace kr_test {

// String resource 1: the notice for users of version 1. The tests' own
// expectation, not the program's resource script (res/setup.rc).
inline const char kNotice[] =
    "INFORMATION FOR KR VERSION 1.x USERS\r\nIn this version is changed KR macro file format and "
    "many macro commands. Setup program installs new macro file and does not convert old one, nor "
    "import it. About how to do it, read Help.\r\nSetup program does not uninstall previous "
    "version. You can uninstall KR 1.x, but do not delete \"List.ini\" and macro files in \"m\" "
    "subfolder. This version may be installed in the same or other folder.";

// The product's sound events and the labels the registration gives them:
// the tests' own expectation, not the program's table (app/events.h), which
// a wrong entry there would otherwise pass unseen.
struct Sound {
    const char* name;
    const char* label;
};
inline const Sound kSounds[] = {
    {"KRCompileError", "Compile Error"},
    {"KRRunError", "Run Time Error"},
    {"KRmes", "Message: mes"},
    {"KRinp", "Message: inp"},
    {"KRlist", "Message: list"},
    {"KRTSmenu", "T.S. Menu: activated"},
    {"KRTSmenu2", "T.S. Menu: execute item"},
};

inline const char kUninstallEntryKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KR2";
inline const char kHelpKey[] = "Software\\Microsoft\\Windows\\Help"; // value "kr2help.hlp"
inline const char kProductKey[] = "Software\\Tovak\\KR2";
inline const char kProductSettingsKey[] = "Software\\Tovak\\KR2\\settings";
inline const char kSchemeKey[] = "AppEvents\\Schemes\\Apps\\Kestrune";

inline std::string LabelKey(const Sound& e) {
    return std::string("AppEvents\\EventLabels\\") + e.name;
}
inline std::string SchemeKey(const Sound& e) {
    return std::string(kSchemeKey) + "\\" + e.name;
}

struct RegKey {
    HKEY root;
    std::string path;
};

// Every key the registration writes, deepest first: the tests' own
// expectation, as are the values below, not the program's tables.
inline std::vector<RegKey> ProductKeys() {
    std::vector<RegKey> keys = {
        {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command"},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import\\command"},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open"},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import"},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell"},
        {HKEY_CLASSES_ROOT, "krlfile\\DefaultIcon"},
        {HKEY_CLASSES_ROOT, "krlfile"},
        {HKEY_CLASSES_ROOT, ".krl"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey},
        {HKEY_CURRENT_USER, kProductSettingsKey},
    };
    for (const Sound& e : kSounds) {
        keys.push_back({HKEY_CURRENT_USER, LabelKey(e)});
        keys.push_back({HKEY_CURRENT_USER, SchemeKey(e)});
    }
    keys.push_back({HKEY_CURRENT_USER, kSchemeKey});
    return keys;
}

// Keys around the registration, which an uninstall leaves.
inline const RegKey kParentKeys[] = {
    {HKEY_LOCAL_MACHINE, kHelpKey},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {HKEY_CURRENT_USER, "AppEvents\\EventLabels"},
    {HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps"},
    {HKEY_CURRENT_USER, "Software\\Tovak"},
};

// A value the registration writes and what it holds (for REG_DWORD its four
// bytes, a text without its NUL).
struct RegValue {
    HKEY root;
    std::string key, name, data;
    DWORD type = REG_SZ;
};

inline std::string DwordBytes(DWORD n) {
    return std::string(reinterpret_cast<const char*>(&n), sizeof n);
}

// Every value of the registration but the uninstall entry's EstimatedSize,
// for a destination `dir` that ends with a backslash and whose folder text
// is `folder`.
inline std::vector<RegValue> ProductValues(const std::string& dir, const std::string& folder) {
    std::vector<RegValue> v = {
        {HKEY_LOCAL_MACHINE, kHelpKey, "kr2help.hlp", folder},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayName", "Kestrune 2"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString",
         "\"" + dir + "setup.exe\" uninstall"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "QuietUninstallString",
         "\"" + dir + "setup.exe\" uninstall /S"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayIcon", dir + "kr.exe,0"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayVersion", "2.1.0"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "Publisher", "Tovak"},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "InstallLocation", dir},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoModify", DwordBytes(1), REG_DWORD},
        {HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoRepair", DwordBytes(1), REG_DWORD},
        {HKEY_CLASSES_ROOT, ".krl", "", "krlfile"},
        {HKEY_CLASSES_ROOT, "krlfile", "", "KR macro list"},
        {HKEY_CLASSES_ROOT, "krlfile\\DefaultIcon", "", dir + "kr.exe,5"},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell", "", "Open"},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command", "", "\"" + dir + "kr.exe\" \"%1\""},
        {HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import\\command", "",
         "\"" + dir + "kr.exe\" LI \"%1\""},
        {HKEY_CURRENT_USER, kSchemeKey, "", "Kestrune"},
        {HKEY_CURRENT_USER, kProductSettingsKey, "instdir", folder},
    };
    for (const Sound& e : kSounds)
        v.push_back({HKEY_CURRENT_USER, LabelKey(e), "", e.label});
    return v;
}

inline std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
    return w;
}

inline std::string Utf8(const wchar_t* text, int units = -1) {
    if (units < 0)
        units = lstrlenW(text);
    int n = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    if (n)
        WideCharToMultiByte(CP_UTF8, 0, text, units, &s[0], n, nullptr, nullptr);
    return s;
}

// Deletes a key with everything below it; no error when missing.
inline void DeleteRegTree(HKEY root, const std::string& key) {
    RegDeleteTreeW(root, Wide(key).c_str());
    RegDeleteKeyW(root, Wide(key).c_str());
}

// Removes every registry entry an install writes (before and after a case).
inline void ForgetInstall() {
    DeleteRegTree(HKEY_CURRENT_USER, "Software\\Tovak");
    DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallEntryKey);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Wide(kHelpKey).c_str(), L"kr2help.hlp");
    DeleteRegTree(HKEY_CLASSES_ROOT, ".krl");
    DeleteRegTree(HKEY_CLASSES_ROOT, "krlfile");
    DeleteRegTree(HKEY_CURRENT_USER, kSchemeKey);
    for (const Sound& e : kSounds)
        DeleteRegTree(HKEY_CURRENT_USER, LabelKey(e));
}

// The value of an environment variable, "" when unset.
inline std::string Env(const char* name) {
    const char* v = getenv(name);
    return v ? v : "";
}

// Windows path of a Unix path (Wine maps "/" as drive Z:), without a
// trailing backslash.
inline std::string WinPath(const std::string& unixPath) {
    std::string w = "Z:" + unixPath;
    for (char& c : w)
        if (c == '/')
            c = '\\';
    while (w.size() > 3 && w.back() == '\\')
        w.pop_back();
    return w;
}

// The build's distribution folder (KR_DIST), as a Windows path.
inline std::string DistDir() {
    return WinPath(Env("KR_DIST"));
}

// The names in a folder, without "." and "..".
inline std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(path + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string n = Utf8(fd.cFileName);
        if (n != "." && n != "..")
            names.push_back(n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// Removes a file, or a folder with everything in it; no error when missing.
inline void RemoveTree(const std::string& path) {
    std::wstring w = Wide(path);
    DWORD a = GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(w.c_str());
        return;
    }
    for (const std::string& name : ListFolder(path))
        RemoveTree(path + "\\" + name);
    RemoveDirectoryW(w.c_str());
}

// Makes a folder and every missing folder above it (`path` starts "X:\").
inline void MakeFolders(const std::string& path) {
    for (size_t i = 3; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryW(Wide(path.substr(0, i)).c_str(), nullptr);
    }
}

// A shell link read back through IShellLinkW. `target` is the link's path
// text; `idListTarget` the path its item ID list names, whose names are
// UTF-16.
struct Link {
    bool ok = false;
    std::string target, idListTarget, arguments, workingDir, iconFile;
    int iconIndex = 0;
    WORD hotkey = 0;
};

inline Link ReadLink(const std::string& path) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Link link;
    IShellLinkW* sl = nullptr;
    IPersistFile* pf = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&sl))) &&
        SUCCEEDED(sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf))) &&
        SUCCEEDED(pf->Load(Wide(path).c_str(), STGM_READ))) {
        const int kUnits = 1024;
        wchar_t buf[kUnits];
        link.ok = true;
        if (sl->GetPath(buf, kUnits, nullptr, SLGP_RAWPATH) == S_OK)
            link.target = Utf8(buf);
        if (SUCCEEDED(sl->GetArguments(buf, kUnits)))
            link.arguments = Utf8(buf);
        if (SUCCEEDED(sl->GetWorkingDirectory(buf, kUnits)))
            link.workingDir = Utf8(buf);
        if (SUCCEEDED(sl->GetIconLocation(buf, kUnits, &link.iconIndex)))
            link.iconFile = Utf8(buf);
        sl->GetHotkey(&link.hotkey);
        PIDLIST_ABSOLUTE ids = nullptr;
        if (SUCCEEDED(sl->GetIDList(&ids)) && ids) {
            if (SHGetPathFromIDListW(ids, buf))
                link.idListTarget = Utf8(buf);
            CoTaskMemFree(ids);
        }
    }
    if (pf)
        pf->Release();
    if (sl)
        sl->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    return link;
}

} // namespace kr_test
