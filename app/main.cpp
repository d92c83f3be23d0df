// Entry point: a single instance, the source folder fixed, one of the two
// dialogs by the command line.
#include <windows.h>
#include <ole2.h>

#include "dllsearch.h"
#include "paths.h"
#include "resource.h"
#include "setup.h"

namespace {

// Fills SourceDir with the executable's path. GetModuleFileNameA returns the
// buffer size when it cuts the path, so a cut path is read again with room
// for the longest path Windows allows.
void ReadModulePath(HINSTANCE instance) {
    DWORD size = MAX_PATH;
    for (;;) {
        SourceDir.GetBuffer(static_cast<int32_t>(size), 0);
        DWORD n = GetModuleFileNameA(instance, SourceDir.data, size);
        if (n < size || size >= 32768) {
            SourceDir.SetLength(static_cast<int32_t>(n), true);
            return;
        }
        size = 32768;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // Before anything could load a DLL: the setup folder holds DLLs of its own.
    RestrictDllSearch();
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "KRSetup_InstMutex.");
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    (void)OleInitialize(nullptr); // a failure shows later as missing shortcuts

    ModuleInstance = instance;
    ReadModulePath(instance);
    GetDirPart(SourceDir, SourceDir);
    // Relative names (the ReadMe and License files) resolve in the setup folder.
    SetCurrentDirectoryA(SourceDir.data);

    if (lstrcmpiA(commandLine, "uninstall") == 0)
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNINSTALL), nullptr, UninstallDlgProc, 0);
    else
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_INSTALL), nullptr, InstallDlgProc, 0);

    CloseHandle(mutex);
    return 0;
}
