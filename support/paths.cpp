#include "paths.h"

#include <windows.h>

#include <string.h>

#include "process.h"
#include "registry.h"

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const int32_t kPathSize = MAX_PATH;

// Compares the first n bytes (n < 0: the whole texts) with ASCII case folded.
bool SameNoCase(const char* a, const char* b, int n = -1) {
    for (int i = 0; n < 0 || i < n; i++) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
        if (!a[i])
            return true;
    }
    return true;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/' || c == ':';
}

} // namespace

const char* ExpandPathTokens(Str& out, const char* path) {
    Str input;
    if (path && path != out.data) {
        if (path[0] != '%' && path[0] != '$')
            return path;
        input.Assign(path); // private: the name is cut off in place below
    } else {
        if (!out.data)
            return nullptr;
        if (out.data[0] != '%' && out.data[0] != '$')
            return out.data;
        // Take the buffer over: out becomes buffer-less, input owns it.
        // input frees what it holds; its length and capacity stay true to it
        input.data = out.data;
        input.len = out.len; // cppcheck-suppress unreadVariable
        input.cap = out.cap; // cppcheck-suppress unreadVariable
        out.data = nullptr;
        out.len = 0;
        out.cap = 0;
    }

    if (input.data[0] == '%') {
        // ExpandEnvironmentStringsA counts the terminator and returns the
        // size it needs. Windows counts bytes; Wine counts UTF-16 units and
        // then cuts a result of more bytes than units (UTF-8 text) short
        // without a word. A unit takes at most 3 bytes, so a result that
        // might not fit the first buffer is read again into room for 3 bytes
        // a unit, and its length is where its terminator lies.
        DWORD n = ExpandEnvironmentStringsA(input.data, out.GetBuffer(kPathSize, 0), kPathSize);
        if (n > static_cast<DWORD>(kPathSize) / 3) {
            DWORD size = 3 * n;
            n = ExpandEnvironmentStringsA(input.data, out.GetBuffer(static_cast<int32_t>(size), 0),
                                          size);
            if (n > size)
                n = 0;
        }
        out.SetLength(n ? -1 : 0, false);
    } else {
        char* name = input.data + 1;
        char* end = static_cast<char*>(memchr(name, '$', strlen(name)));
        const char* rest = "";
        if (end) {
            *end = 0;
            rest = end + 1;
        }
        if (GetSpecialFolder(name, out)) {
            if (*rest)
                out.Append(rest);
        } else {
            // Unresolved: "$" and the name, so that callers can tell.
            out.AssignConcat("$", name);
        }
    }
    return out.data;
}

bool GetSpecialFolder(const char* name, Str& out) {
    if (SameNoCase(name, "KR")) {
        out.Substring(SourceDir, 0, SourceDir.len - 1, false);
    } else if (SameNoCase(name, "Windows")) {
        (void)FillFromPathCall(out, [](char* b, DWORD n) { return GetWindowsDirectoryA(b, n); });
    } else if (SameNoCase(name, "System")) {
        (void)FillFromPathCall(out, [](char* b, DWORD n) { return GetSystemDirectoryA(b, n); });
    } else if (SameNoCase(name, "Temp")) {
        (void)FillFromPathCall(out, [](char* b, DWORD n) { return GetTempPathA(n, b); });
    } else {
        HKEY root = SameNoCase(name, "Common", 6) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        if (!RegGetString(out, kShellFolders, name, nullptr, root, REG_SZ, nullptr)) {
            const char* mapped = name;
            if (SameNoCase(name, "Program Files"))
                mapped = "ProgramFilesDir";
            else if (SameNoCase(name, "Common Files"))
                mapped = "CommonFilesDir";
            else if (SameNoCase(name, "Media"))
                mapped = "MediaPath";
            RegGetString(out, "Software\\Microsoft\\Windows\\CurrentVersion", mapped, nullptr,
                         HKEY_LOCAL_MACHINE, REG_SZ, nullptr);
        }
    }
    out.TrimEnd('\\');
    return out.len != 0;
}

Str& GetDirPart(Str& out, const Str& path) {
    if (path.len < 2)
        return out.Assign("");
    const char* s = path.data;
    int32_t i = path.len - 1;
    if (s[0] == '"') {
        s++;
        int32_t rest = path.len - 1;
        const void* quote = memchr(s, '"', static_cast<size_t>(rest));
        i = quote ? static_cast<int32_t>(static_cast<const char*>(quote) - s) - 1 : rest - 1;
    }
    int32_t b = 0;
    if (s[0] == '$' || s[0] == '%') {
        const char* again = static_cast<const char*>(memchr(s + 1, s[0], strlen(s + 1)));
        if (again)
            b = static_cast<int32_t>(again - s);
    }
    while (i > b && !IsSeparator(s[i]))
        i--;
    if (i < 1)
        return out.Assign("");
    return out.Substring(path, static_cast<int32_t>(s - path.data), i + 1, false);
}

bool GetFullPath(Str& out, const char* path) {
    return FillFromPathCall(out, [path](char* buffer, DWORD size) {
        return GetFullPathNameA(path, size, buffer, nullptr);
    });
}
