// Process-wide state that the support layer reads. The entry point fills
// it; it lives from start to exit.
#pragma once

#include <windows.h>

#include "str.h"

// The module of the running program: its dialogs, icons and strings.
extern HINSTANCE ModuleInstance;
// The dialog being shown: owner of message boxes and of the wait timer, its
// caption the progress display. Set on WM_INITDIALOG, never cleared.
extern HWND MainDialog;
// An unattended run: no window of any kind. Message boxes are logged and
// answered instead of shown, captions are logged, and the shell's file
// operations show neither progress nor errors.
extern bool SilentRun;
// Folder of the running executable, ending in a backslash; also the
// current directory.
extern Str SourceDir;

// Enables the shutdown privilege and asks Windows to restart. False when
// Windows refused.
bool RestartWindows();

// The SID is the system account's (S-1-5-18), the one deployment tools run
// installers as.
bool IsSystemSid(const void* sid);
// This process runs as the system account.
bool RunsAsSystem();
