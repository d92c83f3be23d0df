// Closing a running copy of the product before the install or the
// uninstall changes anything under it.
#include "close_app.h"

#include <windows.h>

#include "msgbox.h"

namespace {

const UINT kOldVersionQuit = WM_USER + 15; // 1039

} // namespace

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
