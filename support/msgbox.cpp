#include "msgbox.h"

#include <windows.h>

#include "log.h"
#include "process.h"

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
    text.ResizeKeepOld(300, false);
    text.data[0] = 0;
    text.data[1] = 0;
    va_list args;
    va_start(args, tmpl);
    text.FormatV(0, tmpl, args);
    va_end(args);
    return MsgBox(type, caption, text.data);
}

void ShowStatus(const char* text) {
    LogLine(text);
    SetWindowTextA(MainDialog, text);
}
