// Text from windows and from the program's string resources.
#pragma once

#include <windows.h>

#include "str.h"

// Reads a window's text, through WM_GETTEXT when `useMessages` is set, else
// through GetWindowTextA. Returns the resulting length.
int32_t GetWindowTextStr(Str& out, HWND window, bool useMessages);
// Loads string resource `id` of ModuleInstance; missing gives "".
Str& LoadStringStr(Str& out, UINT id);
