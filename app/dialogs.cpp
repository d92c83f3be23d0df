// The install and uninstall dialogs, and the folder the install proposes.
#include <windows.h>
#include <shellapi.h>

#include "dialogs.h"

#include "install.h"
#include "msgbox.h"
#include "paths.h"
#include "register.h"
#include "registry.h"
#include "resource.h"
#include "state.h"
#include "uninstall.h"
#include "wintext.h"

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

namespace {

// The dialog becomes MainDialog, with its icon of the given size.
void BeginDialog(HWND dialog, WPARAM size, int icon) {
    MainDialog = dialog;
    SendMessageA(dialog, WM_SETICON, size,
                 reinterpret_cast<LPARAM>(LoadIconA(ModuleInstance, MAKEINTRESOURCEA(icon))));
}

} // namespace

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        BeginDialog(dialog, ICON_BIG, IDI_SETUP);
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
        BeginDialog(dialog, ICON_SMALL, IDI_UNINSTALL);
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
