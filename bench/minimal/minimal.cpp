// The smallest program that shows a dialog the way setup.exe does: one
// DIALOG resource run by DialogBoxParamA. The startup benchmark compares
// setup.exe against it.
#include <windows.h>

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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, MinimalDlgProc, 0);
    return 0;
}
