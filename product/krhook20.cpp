// Stand-in for Kestrune's hook library. The real one is loaded into other
// programs, which is why the installer cannot replace it while any of them
// runs; this one only says its version.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD KrHookVersion() {
    return 0x0200;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
