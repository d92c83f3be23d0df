// The install and uninstall dialogs, and the two services the sequences
// share: closing a running product and keeping the dialog alive meanwhile.
#include <windows.h>
#include <shellapi.h>

#include "msgbox.h"
#include "paths.h"
#include "registry.h"
#include "resource.h"
#include "setup.h"
#include "wintext.h"

Str DestDir;
Str ReplacedList;
Str CopiedAsNewList;

namespace {

const UINT_PTR kWaitTimer = 5009;
const UINT kOldVersionQuit = WM_USER + 15; // 1039

void ShowWaitCursor() {
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
}

} // namespace

// The account's own last install first. Then the Apps entry's folder, the
// one place every account sees: an upgrade under another account (a
// deployment tool's system account) finds the user's install there, and
// so does one after the user's settings went. An empty value is none.
void DefaultDestDir(Str& folder) {
    if (RegGetString(folder, kSettingsKey, "instdir", nullptr, HKEY_CURRENT_USER, REG_SZ, nullptr) >
        1)
        return;
    if (RegGetString(folder, kUninstallKey, "InstallLocation", nullptr, HKEY_LOCAL_MACHINE, REG_SZ,
                     nullptr) > 1) {
        // It ends in a backslash, which "instdir" has not (but on a drive root).
        if (folder.len > 3 && folder.EndsWith("\\"))
            folder.SetLength(folder.len - 1, false);
        return;
    }
    ExpandPathTokens(folder, "$Program Files$\\Kestrune 2");
    if (folder.StartsWith("$"))
        folder.Assign("C:\\Program Files\\Kestrune 2");
}

void PumpAndWait(unsigned ms) {
    MSG msg;
    msg.message = 0;
    if (ms) {
        UINT_PTR timer = SetTimer(MainDialog, kWaitTimer, ms, nullptr);
        if (!timer) {
            Sleep(ms); // no timer to end the loop: wait without pumping
            return;
        }
        // Without a window SetTimer picks the id itself.
        UINT_PTR id = MainDialog ? kWaitTimer : timer;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.wParam == id) {
                KillTimer(MainDialog, id);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    } else {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // Pass a quit request on to the dialog's own loop.
    if (msg.message == WM_QUIT)
        PostQuitMessage(static_cast<int>(msg.wParam));
}

void CloseRunningApp() {
    HWND editor = FindWindowA("KR_Editor", nullptr);
    if (editor) {
        ShowStatus("Closing Kestrune");
        ShowWaitCursor();
        DWORD_PTR result;
        (void)SendMessageTimeoutA(editor, WM_CLOSE, 1, 0, SMTO_NORMAL, 5000, &result);
        // The product holds its mutex while it runs: its release (or
        // abandonment) tells that it has ended.
        HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "KR2_InstMutex.");
        if (mutex) {
            (void)WaitForSingleObject(mutex, 10000);
            CloseHandle(mutex);
        }
        PumpAndWait(2000);
        return;
    }
    HWND old = FindWindowA("ThunderRT5Form", "Kestrune");
    if (old) {
        ShowStatus("Closing Kestrune");
        ShowWaitCursor();
        PostMessageA(old, kOldVersionQuit, 0, 0);
        PumpAndWait(2000);
    }
}

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        MainDialog = dialog;
        SendMessageA(
            dialog, WM_SETICON, ICON_BIG,
            reinterpret_cast<LPARAM>(LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_SETUP))));
        {
            Str folder;
            DefaultDestDir(folder);
            SendDlgItemMessageA(dialog, IDC_DESTDIR, WM_SETTEXT, 0,
                                reinterpret_cast<LPARAM>(folder.data ? folder.data : ""));
        }
        static const int kOptions[] = {IDC_COPYFILES, IDC_STARTMENU, IDC_STARTUP, IDC_REGISTRY,
                                       IDC_STARTAPP};
        for (int id : kOptions)
            CheckDlgButton(dialog, id, BST_CHECKED);
        Str notice;
        LoadStringStr(notice, IDS_NOTICE);
        SendDlgItemMessageA(dialog, IDC_NOTICE, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(notice.data ? notice.data : ""));
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        EnableWindow(dialog, FALSE);
        if (RunInstall())
            EndDialog(dialog, 1);
        // After a success the dialog closes when this handler returns; the
        // reset is seen only after a stop.
        EnableWindow(dialog, TRUE);
        SetWindowTextA(MainDialog, "Install Kestrune");
        SetDlgItemTextA(dialog, IDOK, "Retry");
        SetForegroundWindow(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_LICENSE:
        (void)ShellExecuteA(dialog, nullptr, "license.txt", nullptr, nullptr, SW_SHOWNORMAL);
        break;
    case IDC_README:
        (void)ShellExecuteA(dialog, nullptr, "readme.txt", nullptr, nullptr, SW_SHOWNORMAL);
        break;
    }
    return TRUE;
}

INT_PTR CALLBACK UninstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        MainDialog = dialog;
        SendMessageA(
            dialog, WM_SETICON, ICON_SMALL,
            reinterpret_cast<LPARAM>(LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_UNINSTALL))));
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        // Closes in every case; the dialog is not enabled again.
        EnableWindow(dialog, FALSE);
        RunUninstall();
        EndDialog(dialog, 1);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    }
    return TRUE;
}
