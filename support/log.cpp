#include "log.h"

#include <windows.h>

#include <string.h>

#include "str.h"

namespace {

// Null while there is no log: zero at start, so it takes no file bytes.
HANDLE LogFile;

} // namespace

bool LogOpen(const char* path) {
    // Others may read it while the run goes on, never write it: a second
    // setup.exe that logs to the same file cannot open it, and so cannot
    // empty the log of the run that is going on. The file is opened as it
    // is, a reparse point not followed, and emptied only once it is known
    // to be a plain file of one name.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks > 1 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !SetEndOfFile(file)) {
        CloseHandle(file);
        return false;
    }
    LogFile = file;
    return true;
}

void LogText(const char* text) {
    DWORD written;
    if (LogFile)
        (void)WriteFile(LogFile, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

void LogLine(const char* text) {
    if (!LogFile)
        return;
    // A run of CR and LF between two pieces of text becomes one " | "; at
    // the end it goes. Each byte becomes at most three.
    Str line;
    char* out = line.GetBuffer(3 * static_cast<int32_t>(strlen(text)) + 2, 0);
    const char* start = out;
    for (bool lineBreak = false; *text; text++) {
        if (*text == '\r' || *text == '\n') {
            lineBreak = out > start;
            continue;
        }
        if (lineBreak) {
            memcpy(out, " | ", 3);
            out += 3;
            lineBreak = false;
        }
        *out++ = *text;
    }
    memcpy(out, "\r\n", 2);
    line.SetLength(static_cast<int32_t>(out + 2 - start), true);

    // The program's text is in the ANSI code page (UTF-8 only where the
    // manifest's code page is honoured); the log is UTF-8 on every system.
    line.ToWide(nullptr);
    int units = line.len / 2;
    Str utf8;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<wchar_t*>(line.data), units,
                                    utf8.GetBuffer(3 * units, 0), 3 * units, nullptr, nullptr);
    DWORD written;
    (void)WriteFile(LogFile, utf8.data, static_cast<DWORD>(bytes), &written, nullptr);
}

void LogFormat(const char* tmpl, ...) {
    if (!LogFile)
        return;
    Str text;
    va_list args;
    va_start(args, tmpl);
    text.FormatV(0, tmpl, args);
    va_end(args);
    LogLine(text.data);
}
