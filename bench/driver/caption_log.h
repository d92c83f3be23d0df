// The captions an install dialog is given, with their times, as the caption
// hook records them in setup.exe's own thread: memory that the bench driver
// and the hook share by name. One writer (the dialog's thread), one reader
// (the driver, after the process has ended).
#pragma once

#include <windows.h>

namespace bench {

const wchar_t kCaptionLogName[] = L"Local\\kr-bench-caption-log";
// The hook procedure the caption hook library exports (linked --kill-at).
const char kCaptionHookProc[] = "CaptionHook";

struct CaptionLog {
    ULONGLONG dialog;    // the window whose captions count
    volatile LONG count; // marks written
    struct Mark {
        LONGLONG counter; // QueryPerformanceCounter when the caption was set
        wchar_t text[60];
    } marks[64];
};

} // namespace bench
