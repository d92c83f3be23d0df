// Stand-in for Kestrune's command-line tool: it only answers who it is.
#include <windows.h>

int main() {
    static const char kText[] = "krcl: Kestrune 2 command line tool (stand-in)\r\n";
    DWORD written;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE)
        (void)WriteFile(out, kText, sizeof kText - 1, &written, nullptr);
    return 0;
}
