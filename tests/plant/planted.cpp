// A DLL planted where a program must not load DLLs from.
#include <windows.h>

extern "C" __declspec(dllexport) int KrPlanted() {
    return 42;
}
