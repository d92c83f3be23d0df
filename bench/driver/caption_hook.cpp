// The caption hook: a library that a WH_CALLWNDPROCRET hook of the bench
// driver loads into setup.exe. It sees each WM_SETTEXT that SetWindowText
// sends to the install dialog, in the dialog's own thread as soon as the
// dialog has taken it, and writes the caption and the time into the log it
// shares with the driver. It changes nothing: every message goes on as it
// came. (The caption is read back from the window: the message's own text
// is in the character set of the sender under Wine 8, whatever the hook's.)
#include <windows.h>

#include "caption_log.h"

namespace {

bench::CaptionLog* Log() {
    static bench::CaptionLog* log;
    if (!log) {
        // Mapped once, when the first message comes: before the driver
        // presses OK. Kept until the process ends.
        HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, bench::kCaptionLogName);
        if (mapping)
            log = static_cast<bench::CaptionLog*>(
                MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(bench::CaptionLog)));
    }
    return log;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    CaptionHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    bench::CaptionLog* log = code == HC_ACTION ? Log() : nullptr;
    if (log && message->message == WM_SETTEXT &&
        reinterpret_cast<ULONG_PTR>(message->hwnd) == log->dialog &&
        log->count < static_cast<LONG>(sizeof log->marks / sizeof log->marks[0])) {
        bench::CaptionLog::Mark& mark = log->marks[log->count];
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        mark.counter = now.QuadPart;
        GetWindowTextW(message->hwnd, mark.text, sizeof mark.text / sizeof mark.text[0]);
        InterlockedIncrement(&log->count);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
