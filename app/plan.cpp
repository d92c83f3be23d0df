// The folders the plan's links go into, and the size of what the plan
// installed.
#include "plan.h"

#include "files.h"
#include "paths.h"
#include "state.h"

namespace {

// The Explorer shell folder values, by place and then for all users. The
// support layer reads a "Common" one from HKEY_LOCAL_MACHINE, the others
// from HKEY_CURRENT_USER.
const char* const kLinkFolders[] = {"Programs", "StartUp", "Common Programs", "Common Startup"};

} // namespace

void ReadLinkFolder(Str& folder, LinkPlace place, bool allUsers) {
    (void)GetSpecialFolder(kLinkFolders[static_cast<int>(place) + (allUsers ? 2 : 0)], folder);
}

DWORD NtMajorVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info; // 148
    if (!GetVersionExA(&info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    return info.dwMajorVersion;
}

// The size Windows' list of installed apps shows. Counted from the
// destination, not from the copies of this run: the registration also runs
// with the copy phase off, and a file kept by its policy (the user's own
// "List.krl", a system library on NT 4) is as installed as a copied one.
// A row names the files that the setup folder holds under its name: the
// icons of "*.ico" are the setup folder's, never a user's own icons in the
// destination (a search there would also match other names through their
// short names). The sum of their bytes in the destination, rounded up once
// to whole kilobytes, so a non-empty install never shows 0.
DWORD InstalledKilobytes() {
    ULONGLONG bytes = 0;
    Str path;
    Str target;
    for (const PlanStep& s : kPlan) {
        if (s.action == Action::DeleteAndSummary ||
            (s.action == Action::CopyOnNt4 && NtMajorVersion() != 4))
            continue;
        path.AssignConcat(SourceDir, s.file);
        for (const char* found = FindFile(path.data, FindFiles); found;
             found = FindFile(nullptr, FindFiles)) {
            target.AssignConcat(DestDir, found);
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (GetFileAttributesExA(target.data, GetFileExInfoStandard, &data) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                bytes += (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    }
    return static_cast<DWORD>((bytes + 1023) / 1024);
}
