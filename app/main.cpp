// Entry point: a single instance, the source folder fixed, then by the
// command line one of the two dialogs or an unattended run.
#include <windows.h>
#include <ole2.h>
#include <stdlib.h>

#include "cmdline.h"
#include "dialogs.h"
#include "dllsearch.h"
#include "install.h"
#include "log.h"
#include "paths.h"
#include "resource.h"
#include "state.h"
#include "uninstall.h"

namespace {

// The single-instance guard of this session, after "Global\\", and that of
// every session.
const char kGlobalMutex[] = "Global\\KRSetup_InstMutex.";

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

// The exit code, named as the last line of an unattended run's log.
int Finish(int code) {
    LogFormat("Exit code #", code);
    return code;
}

// The log of a run without "/LOG=": in the account's temporary folder. The
// system account's is the Windows folder's "Temp", where standard users
// may create files too; where Windows has GetTempPath2A (Windows 11, and
// Windows 10 and Server 2016 with their updates of 2025) it names one that
// only the system account can write.
void DefaultLogPath(Str& path, bool system) {
    typedef DWORD(WINAPI * TempPath2)(DWORD, LPSTR);
    TempPath2 temp2 = system
                          ? reinterpret_cast<TempPath2>(reinterpret_cast<void (*)()>(
                                GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTempPath2A")))
                          : nullptr;
    DWORD n = temp2 ? temp2(MAX_PATH + 1, path.GetBuffer(MAX_PATH, 0)) : 0;
    if (n > 1 && n <= MAX_PATH)
        path.SetLength(static_cast<int32_t>(n) - 1, false); // less its last backslash
    else
        ExpandPathTokens(path, system ? "$Windows$\\Temp" : "$Temp$");
    path.Append("\\Kestrune 2 Setup.log");
}

} // namespace

// A dialog run always ends with 0. An unattended run ends with the codes of
// Windows Installer, which deployment tools read: 0 done, 3010 done once
// Windows has restarted (files were in use), 1603 the install stopped, 1618
// another setup is running (they try again later), 1639 a command line not
// understood.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // Before anything could load a DLL: the setup folder holds DLLs of its own.
    RestrictDllSearch();
    CommandLine line;
    ReadCommandLine(commandLine, line);
    if (line.on[CommandLine::Silent]) {
        SilentRun = true;
        // No one may be there to answer Windows' own boxes (an empty
        // removable drive, a crash): session 0 has no screen at all.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
        const bool system = RunsAsSystem();
        // Before the setup folder becomes the current one: a relative path
        // names a file in the folder of whoever started the run.
        if (!line.log.len)
            DefaultLogPath(line.log, system);
        (void)LogOpen(line.log.data);
        LogFormat("Command line: $", commandLine);
        // Nothing is changed.
        if (line.bad.data) {
            LogFormat("Not understood: ~", &line.bad);
            return Finish(1639);
        }
        // The system account's own Start Menu and StartUp are folders no
        // user sees: a machine-wide install links for all users.
        if (system && !line.uninstall) {
            LogLine("System account: /ALLUSERS");
            line.on[CommandLine::AllUsers] = true;
        }
        AllUsers = line.on[CommandLine::AllUsers];
        NoStartMenu = line.on[CommandLine::NoStartMenu];
        NoStartUp = line.on[CommandLine::NoStartUp];
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kGlobalMutex + 7);
    bool running = GetLastError() == ERROR_ALREADY_EXISTS;
    // A setup.exe in another session (the system account's, as deployment
    // tools run it, or a user's) holds the global one. Made under another
    // account it may refuse this one access: it exists all the same.
    HANDLE global = CreateMutexA(nullptr, TRUE, kGlobalMutex);
    DWORD error = GetLastError();
    if (running || error == ERROR_ALREADY_EXISTS || (!global && error == ERROR_ACCESS_DENIED)) {
        LogLine("Another setup is running");
        return Finish(SilentRun ? 1618 : 0);
    }
    // Without it no link can be made: the dialog goes on regardless, a
    // silent run ends with 1603 once it has made the rest.
    HRESULT ole = OleInitialize(nullptr);
    if (FAILED(ole)) {
        LogFormat("OleInitialize: 0x&", ole);
        StepFailed = true;
    }

    ModuleInstance = instance;
    ReadModulePath(instance);
    GetDirPart(SourceDir, SourceDir);
    // Relative names (the ReadMe and License files) resolve in the setup folder.
    SetCurrentDirectoryA(SourceDir.data);

    int code = 0;
    if (!SilentRun) {
        // The word alone: the reader took it as the first word.
        if (line.uninstall && !commandLine[9])
            DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNINSTALL), nullptr, UninstallDlgProc,
                            0);
        else
            DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_INSTALL), nullptr, InstallDlgProc, 0);
    } else if (line.uninstall) {
        RunUninstall();
        code = StepFailed ? 1603 : 0;
    } else {
        if (line.folder.len)
            DestDir.Assign(line.folder);
        else
            DefaultDestDir(DestDir);
        if (!RunInstall() || StepFailed)
            code = 1603;
        else if (RestartNeeded)
            code = 3010;
    }

    CloseHandle(global);
    CloseHandle(mutex);
    return Finish(code);
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
