// The install sequence behind the install dialog's OK button: the folder
// checks, the install plan, the registration, the shortcuts and the start
// of the product.
#include <windows.h>
#include <string.h>

#include "close_app.h"
#include "files.h"
#include "install.h"
#include "install_file.h"
#include "log.h"
#include "msgbox.h"
#include "paths.h"
#include "plan.h"
#include "register.h"
#include "resource.h"
#include "state.h"
#include "wintext.h"

namespace {

const char kRetryMessage[] =
    "Please retry. If you are installing from WinZip, try to close it, or just restore minimized "
    "window. If error will appear again, then delete KR shortcut in StartUp folder and restart "
    "Windows.";

const char kRestartQuestion[] =
    "Kestrune 2 is installed; files in use are replaced when Windows restarts.\r\nRestart now?";

bool IsChecked(int id) {
    // An unattended run takes the dialog's options but never starts the
    // product: it often runs under another account, or with no one logged on.
    if (SilentRun)
        return id == IDC_STARTMENU ? !NoStartMenu
               : id == IDC_STARTUP ? !NoStartUp
                                   : id != IDC_STARTAPP;
    return IsDlgButtonChecked(MainDialog, id) == BST_CHECKED;
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
    if (!GetFullPath(full, DestDir.data) ||
        (full.len == DestDir.len && memcmp(full.data, DestDir.data, full.len) == 0))
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

// Makes the links of one place in `folder` (ending in a backslash).
void MakeLinks(LinkPlace place, const Str& folder, Str& link, Str& target) {
    for (const LinkRow& row : kLinks) {
        if (row.place != place)
            continue;
        link.AssignConcat(folder, row.link);
        target.AssignConcat(DestDir, row.target);
        MakeLink(link, target, row.iconIndex, row.arguments);
    }
}

void CreateStartMenuLinks(Str& folder, Str& link, Str& target) {
    ShowWaitCursor();
    ShowStatus("Creating Shortcuts");
    ReadLinkFolder(folder, LinkPlace::StartMenu, AllUsers);
    if (folder.len == 0)
        return;
    folder.Append(kMenuFolder);
    if (!FindFile(folder.data, FindFolders))
        (void)CreateDirectoryA(folder.data, nullptr);
    MakeLinks(LinkPlace::StartMenu, folder.Append("\\"), link, target);
}

void CreateStartUpLink(Str& folder, Str& link, Str& target) {
    ShowWaitCursor();
    ReadLinkFolder(folder, LinkPlace::StartUp, AllUsers);
    if (folder.len == 0)
        return;
    // The previous version's link goes to the Recycle Bin.
    link.AssignConcat(folder, "\\KR.lnk");
    if (FindFile(link.data, FindFiles))
        (void)ShellDelete(link, false);
    MakeLinks(LinkPlace::StartUp, folder.Append("\\"), link, target);
}

} // namespace

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
