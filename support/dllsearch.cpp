#include "dllsearch.h"

#include <windows.h>

namespace {

// GetProcAddress gives a generic function pointer; going through
// void (*)(void) states that the cast to the real type is intended.
template <typename Fn> Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

} // namespace

void RestrictDllSearch() {
    // Both calls are looked up: Windows before XP SP1 lacks the first, and
    // before Windows 8 without KB2533623 the second.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    if (SetDllDirectoryFn setDir = Lookup<SetDllDirectoryFn>(kernel, "SetDllDirectoryA"))
        setDir(""); // the current folder leaves the search
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    bool vista =
        GetVersionExA(&version) && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
    // On Vista the restricted search makes the shell link object fail to be
    // created, so Vista keeps the default order (less the current folder).
    if (vista)
        return;
    if (SetDefaultDllDirectoriesFn setDefault =
            Lookup<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories"))
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
