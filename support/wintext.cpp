#include "wintext.h"

#include "process.h"

int32_t GetWindowTextStr(Str& out, HWND window, bool useMessages) {
    LRESULT n =
        useMessages ? SendMessageA(window, WM_GETTEXTLENGTH, 0, 0) : GetWindowTextLengthA(window);
    if (n < 0)
        n = 0;
    out.ResizeDiscard(static_cast<int32_t>(n));
    if (n == 0)
        return 0;
    // The length may be an upper bound (double-byte text): keep what arrived.
    LRESULT got = useMessages
                      ? SendMessageA(window, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(out.data))
                      : GetWindowTextA(window, out.data, static_cast<int>(n) + 1);
    if (got < n)
        out.SetLength(got < 0 ? 0 : static_cast<int32_t>(got), false);
    return out.len;
}

Str& LoadStringStr(Str& out, UINT id) {
    if (out.cap < 100)
        out.ResizeDiscard(100);
    int n = LoadStringA(ModuleInstance, id, out.data, out.cap + 1);
    if (n == out.cap) {
        // Filled to the brim: the string may have been cut.
        if (out.cap < 10000)
            out.ResizeDiscard(10000);
        n = LoadStringA(ModuleInstance, id, out.data, out.cap);
    }
    out.SetLength(n, false);
    return out;
}
