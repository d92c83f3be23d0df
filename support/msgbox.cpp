#include "msgbox.h"

#include <windows.h>

#include "log.h"
#include "process.h"

namespace {

const UINT_PTR kWaitTimer = 5009;

} // namespace

int MsgBox(unsigned type, const char* caption, const char* text) {
    if (SilentRun) {
        int answer = (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        // No caption shows the system's own title.
        LogFormat("Message box \"$\" answered $: $", caption ? caption : "Error",
                  answer == IDNO ? "No" : "OK", text);
        return answer;
    }
    // EnableWindow tells the state it replaces. Disabling first costs no
    // import (IsWindowEnabled would) and changes nothing while a sequence
    // runs, which is when the program shows its boxes.
    BOOL wasDisabled = EnableWindow(MainDialog, FALSE);
    int result = MessageBoxA(MainDialog, text, caption, type);
    EnableWindow(MainDialog, !wasDisabled);
    return result;
}

int MsgBoxFormat(unsigned type, const char* caption, const char* tmpl, ...) {
    Str text(Str::KeepCapacity);
    PrepareBuffer(text, 300);
    va_list args;
    va_start(args, tmpl);
    text.FormatV(0, tmpl, args);
    va_end(args);
    return MsgBox(type, caption, text.data);
}

void ShowWaitCursor() {
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void ShowStatus(const char* text) {
    LogLine(text);
    SetWindowTextA(MainDialog, text);
}

void PumpAndWait(unsigned ms) {
    MSG msg;
    msg.message = 0;
    if (ms) {
        UINT_PTR timer = SetTimer(MainDialog, kWaitTimer, ms, nullptr);
        if (!timer) {
            Sleep(ms); // no timer to end the loop: wait without pumping
            return;
        }
        // Without a window SetTimer picks the id itself.
        UINT_PTR id = MainDialog ? kWaitTimer : timer;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.wParam == id) {
                KillTimer(MainDialog, id);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    } else {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // Pass a quit request on to the dialog's own loop.
    if (msg.message == WM_QUIT)
        PostQuitMessage(static_cast<int>(msg.wParam));
}
