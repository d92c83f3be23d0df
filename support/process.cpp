#include "process.h"

#include <string.h>

HINSTANCE ModuleInstance;
HWND MainDialog;
bool SilentRun;
Str SourceDir;

bool RestartWindows() {
    HANDLE token;
    // GetCurrentProcess() is this constant; the call would cost an import.
    if (OpenProcessToken(reinterpret_cast<HANDLE>(-1), TOKEN_ADJUST_PRIVILEGES, &token)) {
        // The shutdown privilege's LUID is the same on every NT system
        // (SE_SHUTDOWN_PRIVILEGE, 19): no lookup by name.
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid.LowPart = 19;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        (void)AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    return ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION |
                                         SHTDN_REASON_MINOR_INSTALLATION |
                                         SHTDN_REASON_FLAG_PLANNED) != 0;
}

bool IsSystemSid(const void* sid) {
    // Revision 1, one sub-authority, the NT authority (5), sub-authority 18.
    static const BYTE kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    return memcmp(sid, kSystem, sizeof kSystem) == 0;
}

bool RunsAsSystem() {
    HANDLE token;
    if (!OpenProcessToken(reinterpret_cast<HANDLE>(-1), TOKEN_QUERY, &token))
        return false;
    // The user and its SID; the system account's is 12 bytes.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD size;
    bool system = GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
                  IsSystemSid(info.user.User.Sid);
    CloseHandle(token);
    return system;
}
