// The Windows-only parts of Str: the UTF-16 conversion and the end of the
// road when the heap is exhausted.
#include "str.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "log.h"
#include "process.h"

namespace {
// The conversion follows the process code page (UTF-8 where the manifest
// is honoured). Every UTF-16 unit comes from at least one byte in any code
// page (UTF-8: one unit for one to three bytes, two for four), so m bytes
// never need more than m units.
// Two bytes per unit must still fit a block's signed 32-bit capacity.
const int32_t kMaxUnits = (0x7FFFFFFF - 3) / 2;
} // namespace

wchar_t* Str::ToWide(const char* text) {
    if (text && text != data && !Owns(text)) {
        int32_t m = TextLength(text);
        if (m > kMaxUnits)
            StrOutOfMemory();
        ResizeDiscard(2 * m);
        int n =
            m ? MultiByteToWideChar(CP_ACP, 0, text, m, reinterpret_cast<wchar_t*>(data), m) : 0;
        Terminate(2 * n);
        return reinterpret_cast<wchar_t*>(data);
    }
    if (text && text != data) {
        // A tail of our own text: convert a private copy.
        Str copy;
        copy.Assign(text);
        return ToWide(copy.data);
    }
    int32_t m = len;
    if (m > kMaxUnits)
        StrOutOfMemory();
    if (m == 0) {
        if (data) {
            data[0] = 0;
            data[1] = 0;
        }
        return reinterpret_cast<wchar_t*>(data);
    }
    // The conversion needs the old bytes while it writes the new ones: force
    // a fresh block and free the old one afterwards.
    char* old = data;
    cap = 0;
    ResizeKeepOld(2 * m, false);
    int n = MultiByteToWideChar(CP_ACP, 0, old, m, reinterpret_cast<wchar_t*>(data), m);
    free(old);
    Terminate(2 * n);
    return reinterpret_cast<wchar_t*>(data);
}

void StrOutOfMemory() {
    // No one is there to answer a box in an unattended run: the log says
    // why, where it can without memory, and the run fails.
    if (SilentRun) {
        LogText("Out of memory\r\nExit code 1603\r\n");
        exit(1603);
    }
    for (;;)
        FatalAppExitA(0, "Out of memory."); // shows the message and ends the process
}
