#include "msgbox.h"

#include <windows.h>

#include "process.h"

int MsgBoxFormat(unsigned type, const char* caption, const char* tmpl, ...) {
    Str text(Str::KeepCapacity);
    text.ResizeKeepOld(300, false);
    text.data[0] = 0;
    text.data[1] = 0;
    va_list args;
    va_start(args, tmpl);
    text.FormatV(0, tmpl, args);
    va_end(args);
    return MessageBoxA(MainDialog, text.data, caption, type);
}
