// The per-file policy of the install plan: overwrite, keep, back up the
// old file, or copy the new one beside it.
#include <windows.h>
#include <shellapi.h>

#include "files.h"
#include "setup.h"

namespace {

// The shell answered success for a move or copy that did not happen: its
// own code for an unknown failure.
const int kNotDone = 0x402;

bool ExistsAsFile(const Str& path) {
    return FindFile(path.data, FindFiles) != nullptr;
}

bool HasWildcard(const char* name) {
    for (; *name; name++) {
        if (*name == '*' || *name == '?')
            return true;
    }
    return false;
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
    int code = ShellFileOp(target, folder, FO_MOVE, true, true, false, true);
    if (code == 0 && ExistsAsFile(target))
        code = kNotDone;
    return code;
}

} // namespace

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
    int code = ShellFileOp(source, DestDir, FO_COPY, copyAsNew, true, true, false);
    if (code == 0 && !HasWildcard(name) && !(copyAsNew && taken) && !CopyArrived(source, target)) {
        code = kNotDone;
        // A truncated copy where there was nothing is the program's own, and
        // the next run would take it for a file of the user's.
        if (!taken)
            (void)DeleteFileA(target.data);
    }
    // The shell's windows may have taken the foreground and the cursor.
    SetForegroundWindow(MainDialog);
    PumpAndWait(0);
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
    return code;
}
