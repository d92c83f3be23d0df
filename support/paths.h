// Path tokens and path parts. A path starting with "%" is expanded as
// environment text; one starting with "$Name$" has the token replaced by a
// well-known folder ("$KR$" is the setup program's own folder).
#pragma once

#include <windows.h>

#include "str.h"

// Fills `out` from a Win32 call that takes a buffer and its size in
// characters and returns the length written, or the size it needs
// (terminator included) when the buffer is too small: the buffer then
// grows once. A call that fails, or a path that grew between the two
// calls, leaves the text empty rather than holding bytes the call never
// wrote. True when the text is not empty.
template <typename Call> bool FillFromPathCall(Str& out, Call call) {
    DWORD n = call(out.GetBuffer(MAX_PATH, 0), MAX_PATH);
    if (n >= MAX_PATH) {
        DWORD size = n;
        n = call(out.GetBuffer(static_cast<int32_t>(size), 0), size);
        if (n >= size)
            n = 0;
    }
    out.SetLength(static_cast<int32_t>(n), false);
    return n != 0;
}

// The full path of `path` (GetFullPathNameA); false, with `out` empty, when
// it cannot be had.
bool GetFullPath(Str& out, const char* path);

// Returns the usable path: `path` itself when it holds no token (`out`
// untouched), else `out`'s text. An unresolved token leaves "$Name" in `out`.
// A null path or `out`'s own text expands in place (null when `out` is
// buffer-less).
const char* ExpandPathTokens(Str& out, const char* path);
// Fills `out` with the folder a token names, trailing backslashes removed.
// True when the folder is not empty.
bool GetSpecialFolder(const char* name, Str& out);
// The folder part of a path, ending with its separator; `out` may be `path`.
Str& GetDirPart(Str& out, const Str& path);
