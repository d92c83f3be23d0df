// Entry point: a single instance, the source folder fixed, one of the two
// dialogs by the command line.
#include <windows.h>
#include <ole2.h>
#include <stdlib.h>

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

// The process starts here, not in the C runtime's startup code (the link
// passes -nostartfiles): mingw's startup (argument vector, TLS callbacks,
// pseudo-relocations, its exception filter, unwind tables) costs about
// 11 KB, a third of the program, and none of it is used. msvcrt.dll sets
// itself up when it loads, so its heap and string functions need nothing
// from here. What remains to do: run the static constructors, hand WinMain
// its part of the command line, and end through exit(), which runs the
// destructors registered with atexit.
extern "C" {

// The linker's list of static constructors: -1, the constructors, null.
extern void (*__CTOR_LIST__[])();

// The runtime's own atexit went with its startup; msvcrt's _onexit keeps
// the table that exit() runs.
int atexit(void (*function)()) {
    return _onexit(reinterpret_cast<_onexit_t>(function)) ? 0 : -1;
}

#ifdef __i386__
// Windows starts a 32-bit program on a 4-byte aligned stack.
__attribute__((force_align_arg_pointer))
#endif
// Only the image header names the entry point: `used` keeps the link-time
// optimiser from dropping it as unreferenced.
__attribute__((used)) void
WinMainCRTStartup() {
    void (**last)() = __CTOR_LIST__ + 1;
    while (*last)
        last++;
    // In reverse order, as the runtime ran them.
    while (--last > __CTOR_LIST__)
        (*last)();

    // WinMain's command line: after the program's name, quoted or not, and
    // the blanks that follow it.
    const unsigned char* line = reinterpret_cast<const unsigned char*>(GetCommandLineA());
    if (*line == '"') {
        line++;
        while (*line && *line != '"')
            line++;
        if (*line)
            line++;
    } else {
        while (*line > ' ')
            line++;
    }
    while (*line && *line <= ' ')
        line++;
    // The dialogs ignore the show command.
    exit(WinMain(GetModuleHandleA(nullptr), nullptr,
                 reinterpret_cast<LPSTR>(const_cast<unsigned char*>(line)), SW_SHOWDEFAULT));
}

} // extern "C"
