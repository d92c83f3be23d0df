#include "standin.h"

#include <windows.h>
#include <string.h>

namespace {

// Fills `path` with the log file's name; false when it cannot be had.
bool LogPath(char* path, DWORD size) {
    DWORD n = GetEnvironmentVariableA("KR_STANDIN_LOG", path, size);
    if (n != 0 && n < size)
        return true;
    // GetModuleFileNameA returns `size` when it truncates, and then the
    // folder part would be wrong.
    n = GetModuleFileNameA(nullptr, path, size);
    if (n == 0 || n >= size)
        return false;
    char* slash = strrchr(path, '\\');
    char* name = slash ? slash + 1 : path;
    static const char kFile[] = "kr-started.txt";
    if (static_cast<DWORD>(name - path) + sizeof kFile > size)
        return false;
    memcpy(name, kFile, sizeof kFile);
    return true;
}

} // namespace

void StandInLog(const char* line) {
    char path[MAX_PATH * 2];
    if (!LogPath(path, sizeof path))
        return;
    // FILE_APPEND_DATA alone makes every write land at the end, so that two
    // instances started at once do not overwrite each other's lines.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
