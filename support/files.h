// File and shell operations over fixed policies.
#pragma once

#include <windows.h>

#include "str.h"

// The one program-wide search of FindFile and the entry it found last.
extern HANDLE FindFileHandle;
extern WIN32_FIND_DATAA FindFileData;

enum FindMode {
    FindFiles = 0,   // entries without FILE_ATTRIBUTE_DIRECTORY
    FindFolders = 1, // entries with it
    FindAny = 2,     // every entry (so is any other value)
};

// Starts a search for `path` (tokens expanded), or continues the open one
// when `path` is null or empty. Returns the name of the next accepted entry
// (valid until the next call) or null, which also closes the search.
const char* FindFile(const char* path, int mode);

// True when `name` holds "*" or "?".
bool HasWildcard(const char* name);

// The four switches of ShellFileOp, each named at the call site.
enum : bool { KeepName = false, RenameOnCollision = true };
enum : bool { AskFirst = false, NoConfirmation = true };
enum : bool { HideProgress = false, ShowProgress = true };
enum : bool { ShowErrors = false, NoErrorDisplay = true };

// Copy or move through SHFileOperationA. Both Strs get their second NUL.
// Returns the shell's result: 0 on success.
int ShellFileOp(Str& from, Str& to, UINT operation, bool renameOnCollision, bool noConfirmation,
                bool showProgress, bool noErrorDisplay);
// Delete through SHFileOperationA: to the Recycle Bin unless `permanent`.
int ShellDelete(Str& path, bool permanent);

// Starts `file` with the default verb, as ShellExecuteA does. When this
// program runs elevated, the desktop shell starts it instead, so that it runs
// with the rights of the user the shell runs for, not with this program's
// administrator token; where the shell cannot be asked (no desktop shell, a
// Windows without elevation), ShellExecuteA starts it. Nothing is reported.
void ShellExecuteAsUser(HWND owner, const char* file, const char* parameters, const char* directory,
                        int show);

// Creates a shell link. 0 when saved; 2 CoCreateInstance, 3 SetPath,
// 4 SetArguments, 5 QueryInterface(IPersistFile), 6 Save failed.
int CreateShortcut(const char* linkPath, const char* target, const char* iconFile, int iconIndex,
                   const char* arguments, const char* workingDir, WORD hotkey);
