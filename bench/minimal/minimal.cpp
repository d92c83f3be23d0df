// The smallest program that shows a dialog the way setup.exe does: one
// DIALOG resource run by DialogBoxParamA. The startup benchmark compares
// setup.exe against it, built twice (bench/CMakeLists.txt): bare, with the
// C runtime's usual startup, and with KR_FLOOR as far as setup.exe itself
// can go: built and linked as setup.exe is, with an entry point of its own
// in place of the runtime's startup, setup.exe's manifest (see minimal.rc)
// and the OleInitialize that its shortcuts and the product start need.
// With KR_FLOOR and the argument "/S" it ends before its dialog: the floor
// of a silent install's process.
#include <windows.h>
#ifdef KR_FLOOR
#include <ole2.h>
#include <stdlib.h>
#endif

namespace {

INT_PTR CALLBACK MinimalDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

void RunDialog(HINSTANCE instance) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, MinimalDlgProc, 0);
}

} // namespace

#ifdef KR_FLOOR
// The process starts here, as setup.exe's does (the link passes
// -nostartfiles), and takes setup.exe's steps: the static constructors (none
// here), atexit on msvcrt's _onexit, the end through msvcrt's exit(). (ld
// 2.40 crashes on this program's LTO link when the steps are left out and it
// ends through exit() all the same.) The bench driver starts a silent run as
// `"program" /S`: the command line ends in " /S".
extern "C" {

extern void (*__CTOR_LIST__[])();

int atexit(void (*function)()) {
    return _onexit(reinterpret_cast<_onexit_t>(function)) ? 0 : -1;
}

__attribute__((used)) void WinMainCRTStartup() {
    for (void (**constructor)() = __CTOR_LIST__ + 1; *constructor; constructor++)
        (*constructor)();
    (void)OleInitialize(nullptr); // as setup.exe: before its dialog
    const char* line = GetCommandLineA();
    int length = lstrlenA(line);
    // The start and end of a silent run, which shows no dialog.
    if (length < 3 || lstrcmpA(line + length - 3, " /S") != 0)
        RunDialog(GetModuleHandleA(nullptr));
    exit(0);
}

} // extern "C"
#else
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RunDialog(instance);
    return 0;
}
#endif
