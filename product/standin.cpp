#include "standin.h"

#include <windows.h>
#include <string.h>

namespace {

// Fills `path` with the log file's name; false when it cannot be had. Wide
// calls: the folder may be named in a script the ANSI code page lacks.
bool LogPath(wchar_t* path, DWORD size) {
    // The registry first: a program started through the desktop shell has
    // the shell's environment, not that of whoever asked for the start.
    DWORD bytes = size * sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kStandInKey, L"Log", RRF_RT_REG_SZ, nullptr, path,
                     &bytes) == ERROR_SUCCESS &&
        path[0])
        return true;
    DWORD n = GetEnvironmentVariableW(L"KR_STANDIN_LOG", path, size);
    if (n != 0 && n < size)
        return true;
    // GetModuleFileNameW returns `size` when it truncates, and then the
    // folder part would be wrong.
    n = GetModuleFileNameW(nullptr, path, size);
    if (n == 0 || n >= size)
        return false;
    wchar_t* name = path + n;
    while (name > path && name[-1] != L'\\')
        name--;
    static const wchar_t kFile[] = L"kr-started.txt";
    if (static_cast<DWORD>(name - path) + sizeof kFile / sizeof kFile[0] > size)
        return false;
    memcpy(name, kFile, sizeof kFile);
    return true;
}

} // namespace

void StandInLog(const char* line) {
    wchar_t path[MAX_PATH * 2];
    if (!LogPath(path, MAX_PATH * 2))
        return;
    // FILE_APPEND_DATA alone makes every write land at the end, so that two
    // instances started at once do not overwrite each other's lines.
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    // One write per line keeps the line whole under concurrent appends.
    size_t len = strlen(line);
    char* buf = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, len + 2));
    if (buf) {
        memcpy(buf, line, len);
        buf[len] = '\r';
        buf[len + 1] = '\n';
        DWORD written;
        (void)WriteFile(file, buf, static_cast<DWORD>(len + 2), &written, nullptr);
        HeapFree(GetProcessHeap(), 0, buf);
    }
    CloseHandle(file);
}

bool StandInSwitch(const char* name) {
    char value[4];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n == 1 && value[0] == '1';
}
