// The per-file policy of the install plan: overwrite, keep, back up the
// old file, or copy the new one beside it.
#include <windows.h>
#include <shellapi.h>

#include "files.h"
#include "setup.h"

namespace {

// The shell answered success for a move that left the file where it was
// (Wine does so for a file held open): its own code for an unknown failure.
const int kMoveNotDone = 0x402;

bool ExistsAsFile(const Str& path) {
    return FindFile(path.data, FindFiles) != nullptr;
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
        code = kMoveNotDone;
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

    int code = ShellFileOp(source, DestDir, FO_COPY, copyAsNew, true, true, false);
    // The shell's windows may have taken the foreground and the cursor.
    SetForegroundWindow(MainDialog);
    PumpAndWait(0);
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
    return code;
}
