// Path tokens and path parts. A path starting with "%" is expanded as
// environment text; one starting with "$Name$" has the token replaced by a
// well-known folder ("$KR$" is the setup program's own folder).
#pragma once

#include "str.h"

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
