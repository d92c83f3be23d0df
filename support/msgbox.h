#pragma once

#include "str.h"

// Formats `tmpl` like Str::Format and shows it in a message box owned by
// MainDialog. Returns the MessageBoxA result.
int MsgBoxFormat(unsigned type, const char* caption, const char* tmpl, ...);
