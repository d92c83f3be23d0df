// The smallest program that shows a dialog the way setup.exe does: one
// DIALOG resource run by DialogBoxParamA. The startup benchmark compares
// setup.exe against it, built twice: bare, and with KR_FLOOR as far as
// setup.exe itself can go (its manifest, see minimal.rc, and the
// OleInitialize that its shortcuts and the product start need). With
// KR_FLOOR and the command line "/S" it ends before its dialog: the floor
// of a silent install's process.
#include <windows.h>
#ifdef KR_FLOOR
#include <ole2.h>
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

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR line, int) {
#ifdef KR_FLOOR
    (void)OleInitialize(nullptr); // as setup.exe: before its dialog
    // The start and end of a silent run, which shows no dialog.
    if (lstrcmpA(line, "/S") == 0)
        return 0;
#else
    (void)line;
#endif
    DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, MinimalDlgProc, 0);
    return 0;
}
