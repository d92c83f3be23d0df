// The per-file policy of the install plan: overwrite, keep, back up the
// old file, or copy the new one beside it.
#include <windows.h>
#include <shellapi.h>

#include "install_file.h"

#include "files.h"
#include "log.h"
#include "msgbox.h"
#include "state.h"

namespace {

// The shell answered success for a move or copy that did not happen: its
// own code for an unknown failure.
const int kNotDone = 0x402;

bool ExistsAsFile(const Str& path) {
    return FindFile(path.data, FindFiles) != nullptr;
}

uint64_t Ticks(const FILETIME& time) {
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// Wine's shell answers 0 for copies that did not happen: onto a file held
// open without sharing (nothing copied), past MAX_PATH (nothing copied) and
// on a full disk (a truncated file left behind). A real copy has the
// source's size and keeps its last-write time, which FAT holds to two
// seconds only, so a closer comparison would fail every copy onto a FAT
// drive.
bool CopyArrived(const Str& source, const Str& target) {
    WIN32_FILE_ATTRIBUTE_DATA from;
    WIN32_FILE_ATTRIBUTE_DATA to;
    if (!GetFileAttributesExA(source.data, GetFileExInfoStandard, &from) ||
        !GetFileAttributesExA(target.data, GetFileExInfoStandard, &to) ||
        (to.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    uint64_t a = Ticks(from.ftLastWriteTime);
    uint64_t b = Ticks(to.ftLastWriteTime);
    const uint64_t kTwoSeconds = 20000000; // in 100 ns
    return from.nFileSizeLow == to.nFileSizeLow && from.nFileSizeHigh == to.nFileSizeHigh &&
           (a > b ? a - b : b - a) <= kTwoSeconds;
}

// A file that a program runs, has loaded, or holds open without sharing:
// Windows refuses to open it for writing with a sharing violation,
// whatever the share mode asked for. (A read-only file is refused with
// access denied, and the copy replaces it as ever.)
bool InUse(const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

// The names of files set aside for a restart end so; no file of the plan's
// or of the user's does.
const char kAsidePattern[] = "*.kr2tmp";

// A free name beside `target` for the old file renamed aside ("old") or the
// new one that waits for the restart ("new"): "kr.exe.old1.kr2tmp".
void AsideName(Str& aside, const Str& target, const char* kind) {
    for (int n = 1;; n++) {
        aside.Format("~.$#$", &target, kind, n, kAsidePattern + 1);
        if (GetFileAttributesA(aside.data) == INVALID_FILE_ATTRIBUTES)
            return;
    }
}

// Moves the old destination file into the Backup folder. 0 only when the
// file has left the destination.
int MoveToBackup(Str& target) {
    Str folder;
    folder.AssignConcat(DestDir, "Backup");
    if (!FindFile(folder.data, FindAny))
        (void)CreateDirectoryA(folder.data, nullptr);
    // A file named "Backup" would be taken by the shell as the target name
    // and replaced by the old file.
    if (!FindFile(folder.data, FindFolders))
        return ERROR_PATH_NOT_FOUND;
    int code = ShellFileOp(target, folder, FO_MOVE, RenameOnCollision, NoConfirmation, HideProgress,
                           NoErrorDisplay);
    if (code == 0 && ExistsAsFile(target))
        code = kNotDone;
    return code;
}

} // namespace

void DeleteAsideFiles() {
    RestartNeeded = false;
    Str path;
    path.AssignConcat(DestDir, kAsidePattern);
    for (const char* found = FindFile(path.data, FindFiles); found;
         found = FindFile(nullptr, FindFiles)) {
        // One that cannot go is still in use: its program runs the old
        // version until the restart that deletes it.
        if (!DeleteFileA(path.AssignConcat(DestDir, found).data)) {
            LogFormat("Still in use: $", found);
            RestartNeeded = true;
        }
    }
}

bool IsSameFile(const char* first, const char* second) {
    if (!FindFile(first, FindFiles))
        return false;
    // The next search reuses the record.
    DWORD timeLow = FindFileData.ftLastWriteTime.dwLowDateTime;
    DWORD timeHigh = FindFileData.ftLastWriteTime.dwHighDateTime;
    DWORD sizeLow = FindFileData.nFileSizeLow;
    if (!FindFile(second, FindFiles))
        return false;
    return FindFileData.ftLastWriteTime.dwLowDateTime == timeLow &&
           FindFileData.ftLastWriteTime.dwHighDateTime == timeHigh &&
           FindFileData.nFileSizeLow == sizeLow;
}

int InstallFile(const char* name, bool backup, bool copyAsNew, bool keepExisting) {
    Str source;
    source.AssignConcat(SourceDir, name);
    Str target;
    target.AssignConcat(DestDir, name);
    const bool overwrite = !backup && !copyAsNew && !keepExisting;

    // Several files of which one is in use go one at a time, so that each
    // is dealt with on its own; with none in use, one shell copy as ever.
    if (overwrite && HasWildcard(name)) {
        bool inUse = false;
        for (const char* found = FindFile(source.data, FindFiles); found && !inUse;
             found = FindFile(nullptr, FindFiles))
            inUse = InUse(target.AssignConcat(DestDir, found).data);
        if (inUse) {
            int code = 0;
            for (const char* found = FindFile(source.data, FindFiles); found;
                 found = FindFile(nullptr, FindFiles)) {
                int one = InstallFile(found, false, false, false);
                code = code ? code : one;
            }
            return code;
        }
        target.AssignConcat(DestDir, name);
    }

    // A program file in use cannot be overwritten, but it can be renamed:
    // the old file goes aside, to be deleted at the next restart, and the
    // copy lands in its name. One held open without delete sharing cannot
    // be renamed either: the new file then waits beside it, and the restart
    // puts it in place. The programs that hold the old files run the old
    // version until then. (Only the program's own files: nothing of the
    // user's is ever renamed, or replaced at a restart. A pattern is never
    // in use: no file has its name.)
    Str aside;
    if (overwrite && InUse(target.data) &&
        GetFileAttributesA(source.data) != INVALID_FILE_ATTRIBUTES) {
        AsideName(aside, target, "old");
        if (!MoveFileExA(target.data, aside.data, 0)) {
            AsideName(aside, target, "new");
            if (CopyFileA(source.data, aside.data, FALSE) &&
                MoveFileExA(aside.data, target.data,
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
                LogFormat("In use: $, replaced at restart", name);
                RestartNeeded = true;
                return 0;
            }
            // Not even that: the copy below fails as any other.
            (void)DeleteFileA(aside.data);
            aside.Assign(static_cast<const char*>(nullptr));
        }
    }

    if (keepExisting && ExistsAsFile(target))
        return 0;
    if (backup && ExistsAsFile(target)) {
        if (IsSameFile(source.data, target.data))
            return 0;
        // Copying without a backup would overwrite the user's file: a failed
        // move skips this file, and it is reported as not copied.
        int moved = MoveToBackup(target);
        if (moved != 0)
            return moved;
        ReplacedList.Append(name).Append("\r\n");
    }
    if (copyAsNew && ExistsAsFile(target)) {
        if (IsSameFile(source.data, target.data))
            return 0;
        CopiedAsNewList.Append(name).Append("\r\n");
    }

    // A taken name sends the copy-as-new copy to a new name of its own.
    bool taken = GetFileAttributesA(target.data) != INVALID_FILE_ATTRIBUTES;
    int code =
        ShellFileOp(source, DestDir, FO_COPY, copyAsNew, NoConfirmation, ShowProgress, ShowErrors);
    if (code == 0 && !HasWildcard(name) && !(copyAsNew && taken) && !CopyArrived(source, target)) {
        code = kNotDone;
        // A truncated copy where there was nothing is the program's own, and
        // the next run would take it for a file of the user's.
        if (!taken)
            (void)DeleteFileA(target.data);
    }
    if (aside.len) {
        if (code == 0) {
            (void)MoveFileExA(aside.data, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            LogFormat("In use: $, renamed to $", name, aside.data + DestDir.len);
            RestartNeeded = true;
        } else {
            // The old file goes back: no restart may take the last copy.
            (void)MoveFileExA(aside.data, target.data, 0);
        }
    }
    // The shell's windows may have taken the foreground and the cursor.
    SetForegroundWindow(MainDialog);
    PumpAndWait(0);
    ShowWaitCursor();
    return code;
}
