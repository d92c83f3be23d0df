// Stand-in for Kestrune 2's main program. It shows what the installer has to
// deal with: the editor window that is asked to close, the mutex that tells
// when the program has ended, and the command line and working folder it was
// started with, which it records for the tests.
#include <windows.h>
#include <string.h>

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

// "cmdline=<arguments>|cwd=<current folder>"
void RecordStart(const char* args) {
    char cwd[MAX_PATH * 2];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    if (n == 0 || n >= sizeof cwd)
        cwd[0] = 0;
    static const char kArgs[] = "cmdline=";
    static const char kCwd[] = "|cwd=";
    size_t argsLen = strlen(args);
    size_t cwdLen = strlen(cwd);
    size_t size = sizeof kArgs - 1 + argsLen + sizeof kCwd - 1 + cwdLen + 1;
    char* line = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (!line)
        return;
    char* p = line;
    memcpy(p, kArgs, sizeof kArgs - 1);
    p += sizeof kArgs - 1;
    memcpy(p, args, argsLen);
    p += argsLen;
    memcpy(p, kCwd, sizeof kCwd - 1);
    p += sizeof kCwd - 1;
    memcpy(p, cwd, cwdLen + 1);
    StandInLog(line);
    HeapFree(GetProcessHeap(), 0, line);
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int showCmd) {
    // Without the mutex the installer finds the window but has nothing to
    // wait on.
    if (!StandInSwitch("KR_STANDIN_NO_MUTEX")) {
        AppMutex = CreateMutexA(nullptr, TRUE, kMutexName);
        // A second instance opens the first one's mutex without owning it.
        OwnsMutex = AppMutex && GetLastError() != ERROR_ALREADY_EXISTS;
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
    RecordStart(cmdLine ? cmdLine : "");

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ReleaseAppMutex();
    return 0;
}
