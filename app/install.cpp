// The install sequence behind the install dialog's OK button: the folder
// checks, the install plan, the registration, the shortcuts and the start
// of the product.
#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "files.h"
#include "log.h"
#include "msgbox.h"
#include "paths.h"
#include "process.h"
#include "registry.h"
#include "resource.h"
#include "setup.h"
#include "wintext.h"

bool AllUsers;
bool NoStartMenu;
bool NoStartUp;
bool StepFailed;

namespace {
// The Explorer shell folder values, by LinkFolder. The support layer reads a
// "Common" one from HKEY_LOCAL_MACHINE, the others from HKEY_CURRENT_USER.
const char* const kLinkFolders[] = {"Programs", "StartUp", "Common Programs", "Common Startup"};
} // namespace

void ReadLinkFolder(Str& folder, LinkFolder which) {
    (void)GetSpecialFolder(kLinkFolders[which], folder);
}

namespace {

// What a file that was not copied does to the run.
enum class OnFailure {
    StopWithMessage, // the step-1 message, then stop
    Stop,            // stop; the shell has already shown its own error
    Mark,            // ask "Not all files have been copied" at the end
    Ignore,          // go on as if copied
};

enum class Action {
    Copy,
    CopyOnNt4,        // copied only on Windows NT 4
    DeleteAndSummary, // delete the type info file, then show the summary
};

struct PlanStep {
    int step;            // cppcheck-suppress unusedStructMember ; the row's number, for the reader
    const char* caption; // set before the step; null leaves it unchanged
    Action action;
    const char* file;
    bool backup, copyAsNew, keepExisting;
    OnFailure onFailure;
};

// clang-format off
const PlanStep kPlan[] = {
    // step caption                         action                    file                      backup copyAsNew keep  failure
    {1,  "Copying dll files",               Action::Copy,             "krhook20.dll",           false, false,    false, OnFailure::StopWithMessage},
    {2,  nullptr,                           Action::CopyOnNt4,        "pdh.dll",                false, false,    true,  OnFailure::Mark},
    {3,  nullptr,                           Action::CopyOnNt4,        "psapi.dll",              false, false,    true,  OnFailure::Mark},
    {4,  "Copying exe files",               Action::Copy,             "setup.exe",              false, false,    false, OnFailure::Mark},
    {5,  nullptr,                           Action::Copy,             "krcl.exe",               false, false,    false, OnFailure::Stop},
    {6,  nullptr,                           Action::Copy,             "kr.exe",                 false, false,    false, OnFailure::Stop},
    {7,  "Copying icon files",              Action::Copy,             "*.ico",                  false, false,    false, OnFailure::Mark},
    {8,  "Copying text and ini files",      Action::Copy,             "license.txt",            false, false,    false, OnFailure::Mark},
    {9,  nullptr,                           Action::Copy,             "typeinfo.ini",           false, false,    false, OnFailure::Mark},
    {10, nullptr,                           Action::Copy,             "winapiKR.txt",           false, false,    false, OnFailure::Mark},
    {11, nullptr,                           Action::Copy,             "krrecwin.txt",           false, false,    true,  OnFailure::Ignore},
    {12, nullptr,                           Action::Copy,             "Dialog Help.txt",        false, false,    false, OnFailure::Mark},
    {13, "Copying macro list files",        Action::Copy,             "System.krl",             true,  false,    false, OnFailure::Mark},
    {14, nullptr,                           Action::Copy,             "Samples2.krl",           true,  false,    false, OnFailure::Mark},
    {15, nullptr,                           Action::Copy,             "Convert old macros.krl", true,  false,    false, OnFailure::Mark},
    {16, nullptr,                           Action::Copy,             "List.krl",               false, true,     false, OnFailure::Mark},
    {17, nullptr,                           Action::DeleteAndSummary, "type info file.txt",     false, false,    false, OnFailure::Ignore},
    {18, "Copying type library files",      Action::Copy,             "wininet.tlb",            false, false,    false, OnFailure::Mark},
    {19, "Copying help files",              Action::Copy,             "kr2help.hlp",            false, false,    false, OnFailure::Stop},
    {20, nullptr,                           Action::Copy,             "pcrepattern.html",       false, false,    false, OnFailure::Stop},
};
// clang-format on

struct LinkRow {
    const char* link;      // in the Start Menu folder
    const char* target;    // in DestDir
    const char* arguments; // null: none
    int iconIndex;         // of the target itself; -1: the target's own icon
};

const LinkRow kStartMenuLinks[] = {
    {"Kestrune.lnk", "kr.exe", nullptr, -1},
    {"Help.lnk", "kr2help.hlp", nullptr, -1},
    {"Uninstall.lnk", "setup.exe", "uninstall", 1}, // icon group 104
};

const char kRetryMessage[] =
    "Please retry. If you are installing from WinZip, try to close it, or just restore minimized "
    "window. If error will appear again, then delete KR shortcut in StartUp folder and restart "
    "Windows.";

const char kRestartQuestion[] =
    "Kestrune 2 is installed. Files in use are replaced when Windows restarts.\r\n"
    "Restart Windows now?";

void ShowWaitCursor() {
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
}

bool IsChecked(int id) {
    // An unattended run takes the dialog's options but never starts the
    // product: it often runs under another account, or with no one logged on.
    if (SilentRun)
        return id == IDC_STARTMENU ? !NoStartMenu
               : id == IDC_STARTUP ? !NoStartUp
                                   : id != IDC_STARTAPP;
    return IsDlgButtonChecked(MainDialog, id) == BST_CHECKED;
}

// The NT major version, or 0 on the Windows 9x line.
DWORD NtMajorVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info; // 148
    if (!GetVersionExA(&info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    return info.dwMajorVersion;
}

bool IsExistingFolder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the typed folder a full path and shows it in the folder box. The
// current directory is the setup folder: a relative path ("kr2", "..\\kr2",
// "D:kr2") would install beside the distribution and be registered, and
// linked to, as relative; "." would install onto the distribution itself and
// pass the same-folder test below. A path that cannot be resolved (too long)
// stays as typed, and its creation fails.
void MakeFullDestDir() {
    Str full;
    full.GetBuffer(MAX_PATH, 0);
    // Too small a buffer gets the size needed, terminator included.
    DWORD n = GetFullPathNameA(DestDir.data, static_cast<DWORD>(full.cap) + 1, full.data, nullptr);
    if (n > static_cast<DWORD>(full.cap)) {
        full.GetBuffer(static_cast<int32_t>(n), 0);
        n = GetFullPathNameA(DestDir.data, static_cast<DWORD>(full.cap) + 1, full.data, nullptr);
    }
    if (n == 0 || n > static_cast<DWORD>(full.cap))
        return;
    full.SetLength(static_cast<int32_t>(n), false);
    if (full.len == DestDir.len && memcmp(full.data, DestDir.data, full.len) == 0)
        return;
    DestDir.Assign(full);
    SetDlgItemTextA(MainDialog, IDC_DESTDIR, DestDir.data);
}

// Reads the destination folder, creates it when missing, and ends it with a
// backslash. False (after telling the user) when it cannot be used.
bool PrepareDestDir() {
    // An unattended run brings its folder along.
    if (!SilentRun)
        GetWindowTextStr(DestDir, GetDlgItem(MainDialog, IDC_DESTDIR), false);
    if (DestDir.len == 0) {
        MessageBeep(0);
        return false;
    }
    MakeFullDestDir();
    // Not a search: "*" and "?" in the text would match some other folder,
    // and the copies would then go nowhere. (A search also finds nothing for
    // a path that ends in a backslash, "D:\\" too.)
    if (!IsExistingFolder(DestDir.data) && !CreateDirectoryA(DestDir.data, nullptr)) {
        MsgBoxFormat(MB_ICONERROR, nullptr, "Can't create folder ~", &DestDir);
        return false;
    }
    if (DestDir.data[DestDir.len - 1] != '\\')
        DestDir.Append("\\");
    if (DestDir.EqualNoCase(SourceDir)) {
        MsgBoxFormat(MB_ICONERROR, nullptr,
                     "Source and destination directories must be different.\r\nIf you want to "
                     "uninstall KR, do it through Control Panel Add-Remove Programs.");
        return false;
    }
    return true;
}

// Deletes the type info file of the setup folder and shows which files were
// replaced or copied beside older ones.
void ShowSummary(const char* typeInfoFile, Str& text) {
    Str path;
    path.AssignConcat(SourceDir, typeInfoFile);
    if (FindFile(path.data, FindFiles))
        (void)DeleteFileA(path.data);

    text.Assign("");
    if (ReplacedList.len)
        text.Format("Following files have been replaced (old files moved to Backup folder):\r\n~",
                    &ReplacedList);
    if (CopiedAsNewList.len) {
        Str copied;
        copied.Format("Following new files have been copied as \"Copy of...\":\r\n~",
                      &CopiedAsNewList);
        if (text.len)
            text.Append("\r\n");
        text.Append(copied);
    }
    if (text.len)
        MsgBox(MB_ICONINFORMATION, "Info", text.data);
}

// Works through the install plan. False when the run must stop.
bool CopyFiles(Str& text) {
    bool notAllCopied = false;
    ReplacedList.Assign(static_cast<const char*>(nullptr));
    CopiedAsNewList.Assign(static_cast<const char*>(nullptr));
    DeleteAsideFiles();
    DWORD ntMajor = 0;
    bool ntKnown = false;
    for (const PlanStep& s : kPlan) {
        if (s.caption)
            ShowStatus(s.caption);
        if (s.action == Action::DeleteAndSummary) {
            ShowSummary(s.file, text);
            continue;
        }
        if (s.action == Action::CopyOnNt4) {
            if (!ntKnown) {
                ntMajor = NtMajorVersion();
                ntKnown = true;
            }
            if (ntMajor != 4)
                continue;
        }
        int code = InstallFile(s.file, s.backup, s.copyAsNew, s.keepExisting);
        if (code == 0)
            continue;
        LogFormat("Not copied: $ (error 0x&)", s.file, code);
        switch (s.onFailure) {
        case OnFailure::StopWithMessage:
            MsgBox(MB_ICONERROR, nullptr, kRetryMessage);
            return false;
        case OnFailure::Stop:
            return false;
        case OnFailure::Mark:
            notAllCopied = true;
            break;
        case OnFailure::Ignore:
            break;
        }
    }
    if (notAllCopied && MsgBox(MB_YESNO | MB_ICONWARNING, "Warning",
                               "Not all files have been copied. Continue setup?") != IDYES)
        return false;
    return true;
}

// Makes one link. The dialog does not look at the outcome; a silent run
// logs a link not saved and ends with 1603 once it has made the rest.
void MakeLink(const Str& link, const Str& target, int iconIndex, const char* arguments) {
    int code = CreateShortcut(link.data, target.data, iconIndex < 0 ? nullptr : target.data,
                              iconIndex < 0 ? 0 : iconIndex, arguments, DestDir.data, 0);
    if (code) {
        LogFormat("Not saved: ~ (#)", &link, code);
        StepFailed = true;
    }
}

void CreateStartMenuLinks(Str& folder, Str& link, Str& target) {
    ShowWaitCursor();
    ShowStatus("Creating Shortcuts");
    ReadLinkFolder(folder, AllUsers ? CommonPrograms : Programs);
    if (folder.len == 0)
        return;
    folder.Append("\\Kestrune 2");
    if (!FindFile(folder.data, FindFolders))
        (void)CreateDirectoryA(folder.data, nullptr);
    folder.Append("\\");
    for (const LinkRow& row : kStartMenuLinks) {
        link.AssignConcat(folder, row.link);
        target.AssignConcat(DestDir, row.target);
        MakeLink(link, target, row.iconIndex, row.arguments);
    }
}

void CreateStartUpLink(Str& folder, Str& link, Str& target) {
    ShowWaitCursor();
    ReadLinkFolder(folder, AllUsers ? CommonStartUp : StartUp);
    if (folder.len == 0)
        return;
    // The previous version's link goes to the Recycle Bin.
    link.AssignConcat(folder, "\\KR.lnk");
    if (FindFile(link.data, FindFiles))
        (void)ShellDelete(link, false);
    link.AssignConcat(folder, "\\Kestrune.lnk");
    target.AssignConcat(DestDir, "kr.exe");
    MakeLink(link, target, -1, "S");
}

} // namespace

// The size Windows' list of installed apps shows. Counted from the
// destination, not from the copies of this run: the registration also runs
// with the copy phase off, and a file kept by its policy (the user's own
// "List.krl", a system library on NT 4) is as installed as a copied one.
// A row names the files that the setup folder holds under its name: the
// icons of "*.ico" are the setup folder's, never a user's own icons in the
// destination (a search there would also match other names through their
// short names). The sum of their bytes in the destination, rounded up once
// to whole kilobytes, so a non-empty install never shows 0.
DWORD InstalledKilobytes() {
    ULONGLONG bytes = 0;
    Str path;
    Str target;
    for (const PlanStep& s : kPlan) {
        if (s.action == Action::DeleteAndSummary ||
            (s.action == Action::CopyOnNt4 && NtMajorVersion() != 4))
            continue;
        path.AssignConcat(SourceDir, s.file);
        for (const char* found = FindFile(path.data, FindFiles); found;
             found = FindFile(nullptr, FindFiles)) {
            target.AssignConcat(DestDir, found);
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (GetFileAttributesExA(target.data, GetFileExInfoStandard, &data) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                bytes += (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    }
    return static_cast<DWORD>((bytes + 1023) / 1024);
}

bool RunInstall() {
    CloseRunningApp();
    ShowWaitCursor();
    if (!PrepareDestDir())
        return false;

    // The summary text, later the shortcut folder; the link path; its target.
    Str text(Str::KeepCapacity);
    Str link(Str::KeepCapacity);
    Str target(Str::KeepCapacity);

    if (IsChecked(IDC_COPYFILES) && !CopyFiles(text))
        return false;
    if (IsChecked(IDC_REGISTRY)) {
        ShowStatus("Updating Registry");
        RegisterProduct();
    }
    if (IsChecked(IDC_STARTMENU))
        CreateStartMenuLinks(text, link, target);
    if (IsChecked(IDC_STARTUP))
        CreateStartUpLink(text, link, target);
    // Programs that still hold the old hook library would mix two versions
    // until the restart: the product starts then, through its StartUp link.
    if (RestartNeeded) {
        if (MsgBox(MB_YESNO | MB_ICONQUESTION, "Restart Windows", kRestartQuestion) == IDYES)
            RestartWindows();
    } else if (IsChecked(IDC_STARTAPP)) {
        PumpAndWait(500);
        ShowStatus("Starting Kestrune");
        target.AssignConcat(DestDir, "kr.exe");
        ShellExecuteAsUser(MainDialog, target.data, "V", DestDir.data, SW_SHOWNORMAL);
    }
    return true;
}
