// File search, shell copy/move/delete, starting a program through the
// shell, and shell links.
#include "files.h"

#include <objbase.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "holders.h"
#include "paths.h"
#include "process.h"

// Zero in the image and set at start: a variable with another value there
// would take the program a data section of its own, 512 file bytes for
// these four.
HANDLE FindFileHandle;
__attribute__((constructor)) static void NoSearchAtStart() {
    FindFileHandle = INVALID_HANDLE_VALUE;
}
WIN32_FIND_DATAA FindFileData;

namespace {

bool Accepts(int mode) {
    bool folder = (FindFileData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (mode == FindFiles)
        return !folder;
    if (mode == FindFolders)
        return folder;
    return true;
}

void CloseSearch() {
    FindClose(FindFileHandle);
    FindFileHandle = INVALID_HANDLE_VALUE;
}

// The shell wants lists ending in two NULs; a Str always has the byte.
void EndList(Str& s) {
    s.data[s.len + 1] = 0;
}

// Offset of the last path component of `s`.
int32_t NameStart(const Str& s) {
    int32_t i = s.len;
    while (i > 0 && s.data[i - 1] != '\\' && s.data[i - 1] != '/' && s.data[i - 1] != ':')
        i--;
    return i;
}

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Renaming on a collision is the shell's promise, but Wine ignores
// FOF_RENAMEONCOLLISION and overwrites, read-only or not. When one named
// item would land on an existing entry, the free name is chosen here, the
// way the shell names copies, and handed over as the full target path; the
// shell then creates that file. True when `target` holds such a path.
bool PickFreeName(const Str& from, const Str& to, Str& target) {
    if (to.len == 0 || HasWildcard(from.data))
        return false;
    int32_t start = NameStart(from);
    const char* name = from.data + start;
    if (!*name)
        return false;
    Str folder;
    folder.Assign(to);
    if (!folder.EndsWith("\\"))
        folder.Append("\\");
    if (!Exists(target.AssignConcat(folder, name).data))
        return false;
    for (int n = 1;; n++) {
        if (n == 1)
            target.Format("~Copy of $", &folder, name);
        else
            target.Format("~Copy (#) of $", &folder, n, name);
        if (!Exists(target.data))
            return true;
    }
}

int RunShellOp(UINT operation, const Str& from, const char* to, FILEOP_FLAGS flags) {
    SHFILEOPSTRUCTA op = {};
    op.hwnd = nullptr;
    op.wFunc = operation;
    op.pFrom = from.data;
    op.pTo = to;
    // No one is at the screen to see a window, or to answer one.
    op.fFlags = SilentRun ? flags | FOF_NO_UI : flags;
    return SHFileOperationA(&op);
}

// False where the query fails: Windows before Vista has no elevation.
bool RunsElevated() {
    HANDLE token;
    // GetCurrentProcess() is this constant; the call would cost an import.
    if (!OpenProcessToken(reinterpret_cast<HANDLE>(-1), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size;
    BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return known && elevation.TokenIsElevated;
}

// The desktop shell's own ShellExecute, reached through the desktop's
// window: its browser, the active view, the view's background object, and
// that object's Application. A program it starts is the shell's child and
// gets the shell's token. True when the shell accepted the request.
// Out of line: its VARIANTs want an 8-byte aligned frame, and inlined into
// the install's handler it would realign that whole frame (116 bytes).
__attribute__((noinline)) bool ShellStarts(const char* file, const char* parameters,
                                           const char* directory, int show) {
    // The program, its arguments and its folder as BSTRs (null for null),
    // then the default verb and the show command.
    VARIANT v[5] = {};
    const char* texts[] = {file, parameters, directory};
    for (int i = 0; i < 3; i++) {
        Str wide;
        v[i].vt = VT_BSTR;
        if (texts[i])
            v[i].bstrVal = SysAllocString(wide.ToWide(texts[i]));
    }
    v[4].vt = VT_I4;
    v[4].lVal = show;
    VARIANT location = {};
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    VARIANT root = {};
    long window;

    // Each step asks the object of the step before for the next one, and
    // needs it: without a desktop FindWindowSW answers S_FALSE and no
    // object. The chain releases the last object, whatever any step
    // answered.
    bool started;
    {
        ComChain c;
        started =
            c.Take(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                    c.Next())) &&
            c.Take(c.Held<IShellWindows>()->FindWindowSW(&location, &root, SWC_DESKTOP, &window,
                                                         SWFO_NEEDDISPATCH, c.Next<IDispatch>())) &&
            c.Take(c.Held<IUnknown>()->QueryInterface(IID_IServiceProvider, c.Next())) &&
            c.Take(c.Held<IServiceProvider>()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                                            c.Next())) &&
            c.Take(c.Held<IShellBrowser>()->QueryActiveShellView(c.Next<IShellView>())) &&
            c.Take(
                c.Held<IShellView>()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, c.Next())) &&
            c.Take(c.Held<IUnknown>()->QueryInterface(IID_IShellFolderViewDual, c.Next())) &&
            c.Take(c.Held<IShellFolderViewDual>()->get_Application(c.Next<IDispatch>())) &&
            c.Take(c.Held<IUnknown>()->QueryInterface(IID_IShellDispatch2, c.Next())) &&
            c.Held<IShellDispatch2>()->ShellExecute(v[0].bstrVal, v[1], v[2], v[3], v[4]) == S_OK;
    }
    for (int i = 0; i < 3; i++)
        SysFreeString(v[i].bstrVal);
    return started;
}

} // namespace

bool HasWildcard(const char* name) {
    for (; *name; name++) {
        if (*name == '*' || *name == '?')
            return true;
    }
    return false;
}

const char* FindFile(const char* path, int mode) {
    if (path && *path) {
        if (FindFileHandle != INVALID_HANDLE_VALUE)
            FindClose(FindFileHandle);
        {
            Str expanded;
            const char* usable = ExpandPathTokens(expanded, path);
            FindFileHandle = usable ? FindFirstFileA(usable, &FindFileData) : INVALID_HANDLE_VALUE;
        }
        if (FindFileHandle == INVALID_HANDLE_VALUE)
            return nullptr;
    } else {
        if (FindFileHandle == INVALID_HANDLE_VALUE)
            return nullptr;
        if (!FindNextFileA(FindFileHandle, &FindFileData)) {
            CloseSearch();
            return nullptr;
        }
    }
    while (!Accepts(mode)) {
        if (!FindNextFileA(FindFileHandle, &FindFileData)) {
            CloseSearch();
            return nullptr;
        }
    }
    return FindFileData.cFileName;
}

int ShellFileOp(Str& from, Str& to, UINT operation, bool renameOnCollision, bool noConfirmation,
                bool showProgress, bool noErrorDisplay) {
    FILEOP_FLAGS flags = FOF_ALLOWUNDO | FOF_FILESONLY;
    if (renameOnCollision)
        flags |= FOF_RENAMEONCOLLISION;
    if (noConfirmation)
        flags |= FOF_NOCONFIRMATION;
    if (!showProgress)
        flags |= FOF_SILENT;
    if (noErrorDisplay)
        flags |= FOF_NOERRORUI;
    EndList(from);
    EndList(to);
    // The caller's destination stays as it is; a chosen name lives here.
    Str target;
    if (renameOnCollision && PickFreeName(from, to, target))
        return RunShellOp(operation, from, target.data, flags);
    return RunShellOp(operation, from, to.data, flags);
}

int ShellDelete(Str& path, bool permanent) {
    FILEOP_FLAGS flags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_NOERRORUI;
    if (!permanent)
        flags |= FOF_ALLOWUNDO;
    EndList(path);
    return RunShellOp(FO_DELETE, path, nullptr, flags);
}

void ShellExecuteAsUser(HWND owner, const char* file, const char* parameters, const char* directory,
                        int show) {
    if (RunsElevated() && ShellStarts(file, parameters, directory, show))
        return;
    (void)ShellExecuteA(owner, nullptr, file, parameters, directory, show);
}

int CreateShortcut(const char* linkPath, const char* target, const char* iconFile, int iconIndex,
                   const char* arguments, const char* workingDir, WORD hotkey) {
    // Released in the reverse order of their making: the scratch text,
    // then the persist-file interface, then the link.
    ComPtr<IShellLinkA> link;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         link.Out()) != S_OK)
        return 2;
    // Wine answers S_FALSE for a target that does not exist.
    if (link->SetPath(target) != S_OK)
        return 3;
    if (iconFile)
        (void)link->SetIconLocation(iconFile, iconIndex);
    if (arguments && link->SetArguments(arguments) != S_OK)
        return 4;
    if (workingDir)
        (void)link->SetWorkingDirectory(workingDir);
    if (hotkey)
        (void)link->SetHotkey(hotkey);
    ComPtr<IPersistFile> file;
    if (link->QueryInterface(IID_IPersistFile, file.Out()) != S_OK)
        return 5;
    Str widePath;
    return file->Save(widePath.ToWide(linkPath), TRUE) == S_OK ? 0 : 6;
}
