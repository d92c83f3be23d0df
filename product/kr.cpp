// Stand-in for Kestrune 2's main program. It shows what the installer has to
// deal with: the editor window that is asked to close, the mutex that tells
// when the program has ended, and the command line, working folder, parent
// process and rights it was started with, which it records for the tests.
#include <windows.h>
#include <string.h>
#include <tlhelp32.h>

#include "standin.h"

namespace {

const char kMutexName[] = "KR2_InstMutex.";
const char kClassName[] = "KR_Editor";

HANDLE AppMutex;
bool OwnsMutex;

void ReleaseAppMutex() {
    if (!AppMutex)
        return;
    if (OwnsMutex)
        ReleaseMutex(AppMutex);
    CloseHandle(AppMutex);
    AppMutex = nullptr;
    OwnsMutex = false;
}

// The arguments of a command line: what follows the program's name,
// quoted or not, and the blanks after it.
const wchar_t* Arguments(const wchar_t* line) {
    if (*line == L'"') {
        line++;
        while (*line && *line != L'"')
            line++;
        if (*line)
            line++;
    } else {
        while (*line > L' ')
            line++;
    }
    while (*line && *line <= L' ')
        line++;
    return line;
}

// Appends `text` as UTF-8 at `p`, which has room for 3 bytes per unit.
char* AppendUtf8(char* p, const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, p, 3 * lstrlenW(text) + 1, nullptr, nullptr);
    return n > 0 ? p + n - 1 : p;
}

// The id of the process that started this one, or 0 when unknown.
DWORD ParentId() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

// '1' when this process runs with an elevated token, '0' when not, '?' when
// the system cannot tell (no elevation before Vista).
char Elevated() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return '?';
    TOKEN_ELEVATION elevation = {};
    DWORD size;
    BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return !known ? '?' : elevation.TokenIsElevated ? '1' : '0';
}

// "cmdline=<arguments>|cwd=<current folder>|parent=<process id>|elevated=<0,
// 1 or ?>", in UTF-8 whatever the ANSI code page: the installer may start
// the product in a folder named in any script.
void RecordStart() {
    const wchar_t* args = Arguments(GetCommandLineW());
    DWORD cwdSize = GetCurrentDirectoryW(0, nullptr);
    wchar_t* cwd = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (cwdSize + 1) * 2));
    if (!cwd)
        return;
    DWORD n = GetCurrentDirectoryW(cwdSize + 1, cwd);
    if (n == 0 || n > cwdSize)
        cwd[0] = 0;
    size_t size = 3 * (lstrlenW(args) + lstrlenW(cwd)) + 64;
    char* line = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (line) {
        char* p = line;
        memcpy(p, "cmdline=", 8);
        p = AppendUtf8(p + 8, args);
        memcpy(p, "|cwd=", 5);
        p = AppendUtf8(p + 5, cwd);
        wsprintfA(p, "|parent=%lu|elevated=%c", ParentId(), Elevated());
        StandInLog(line);
        HeapFree(GetProcessHeap(), 0, line);
    }
    HeapFree(GetProcessHeap(), 0, cwd);
}

LRESULT CALLBACK EditorProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        // A program that does not answer: the installer must give up waiting
        // on its own.
        if (StandInSwitch("KR_STANDIN_IGNORE_CLOSE"))
            return 0;
        // The mutex goes before the window: the installer waits on it as soon
        // as its WM_CLOSE has been handled.
        ReleaseAppMutex();
        DestroyWindow(wnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd) {
    // Without the mutex the installer finds the window but has nothing to
    // wait on.
    if (!StandInSwitch("KR_STANDIN_NO_MUTEX")) {
        AppMutex = CreateMutexA(nullptr, TRUE, kMutexName);
        // A second instance opens the first one's mutex without owning it.
        OwnsMutex = AppMutex && GetLastError() != ERROR_ALREADY_EXISTS;
    }

    // The product loads its hook library from its own folder while it runs,
    // and so holds it in use.
    wchar_t hook[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, hook, MAX_PATH);
    wchar_t* name = hook + n;
    while (name > hook && name[-1] != L'\\')
        name--;
    if (n < MAX_PATH && name - hook + 13 <= MAX_PATH) {
        memcpy(name, L"krhook20.dll", 13 * sizeof(wchar_t));
        (void)LoadLibraryW(hook);
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = EditorProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    HWND wnd = nullptr;
    if (RegisterClassA(&wc))
        wnd = CreateWindowA(kClassName, "Kestrune 2", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 360, 240, nullptr, nullptr, instance, nullptr);
    if (!wnd) {
        ReleaseAppMutex();
        return 1;
    }
    ShowWindow(wnd, showCmd);

    // Recorded once the window and the mutex exist, so that a test that has
    // seen the line can go on to close the program.
    RecordStart();

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ReleaseAppMutex();
    return 0;
}
