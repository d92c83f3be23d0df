// The install and uninstall dialogs, and the folder the install proposes.
#pragma once

#include <windows.h>

#include "str.h"

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UninstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The folder an install proposes: the previous install's, else the Program
// Files folder's "Kestrune 2".
void DefaultDestDir(Str& folder);
