// Stand-in for a system library that Windows NT 4 lacks and the product
// brings along (built once per name). The installer only copies it; it must
// never be loaded in place of the system's own, so it exports nothing that a
// system library has.
#include <windows.h>

extern "C" __declspec(dllexport) const char* KrStandInName() {
    return KR_STANDIN_NAME;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
