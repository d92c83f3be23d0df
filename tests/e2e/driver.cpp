#include "driver.h"

#include <stdio.h>
#include <stdlib.h>

namespace e2e {

namespace {

struct FindContext {
    DWORD pid;
    const char* cls;
    const char* caption;
    HWND except;
    HWND found;
    std::vector<HWND>* all;
};

BOOL CALLBACK FindProc(HWND w, LPARAM lp) {
    FindContext* c = reinterpret_cast<FindContext*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != c->pid || w == c->except || !IsWindowVisible(w))
        return TRUE;
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls); // the classes sought are ASCII
    if (c->cls && lstrcmpA(cls, c->cls) != 0)
        return TRUE;
    if (c->caption && Text(w) != c->caption)
        return TRUE;
    if (c->all) {
        c->all->push_back(w);
        return TRUE;
    }
    c->found = w;
    return FALSE;
}

BOOL CALLBACK CollectChildren(HWND w, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
    return TRUE;
}

} // namespace

std::string ProductBuildDir() {
    return WinPath(Env("KR_BUILD")) + "\\product";
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFile(const std::string& path) {
    std::string data;
    HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return data;
    char buf[4096];
    DWORD got;
    while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got)
        data.append(buf, got);
    CloseHandle(f);
    return data;
}

void WriteFile(const std::string& path, const std::string& content) {
    HANDLE f =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD put;
    ::WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &put, nullptr);
    CloseHandle(f);
}

void CopyFolder(const std::string& from, const std::string& to) {
    MakeFolders(to);
    for (const std::string& name : ListFolder(from)) {
        if (FileExists(from + "\\" + name))
            CopyFileW(Wide(from + "\\" + name).c_str(), Wide(to + "\\" + name).c_str(), FALSE);
    }
}

std::string Scratch(const std::string& name) {
    std::string dir = "C:\\kr-e2e\\" + name;
    RemoveTree(dir);
    MakeFolders(dir);
    return dir;
}

std::string FreshDist(const std::string& name) {
    std::string dir = Scratch(name) + "\\dist";
    CopyFolder(DistDir(), dir);
    return dir;
}

bool RegRead(HKEY root, const std::string& key, const std::string& value, std::string* data,
             DWORD* type, DWORD* size) {
    HKEY k;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return false;
    wchar_t buf[8192];
    DWORD t = 0, n = sizeof buf;
    LONG rc =
        RegQueryValueExW(k, Wide(value).c_str(), nullptr, &t, reinterpret_cast<BYTE*>(buf), &n);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS)
        return false;
    if (data) {
        if (t == REG_SZ || t == REG_EXPAND_SZ) {
            int units = static_cast<int>(n / 2);
            if (units > 0 && buf[units - 1] == 0)
                units--;
            *data = Utf8(buf, units);
        } else {
            data->assign(reinterpret_cast<const char*>(buf), n);
        }
    }
    if (type)
        *type = t;
    if (size)
        *size = n;
    return true;
}

bool RegKeyExists(HKEY root, const std::string& key) {
    HKEY k;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

void RegWrite(HKEY root, const std::string& key, const std::string& value,
              const std::string& data) {
    HKEY k;
    if (RegCreateKeyExW(root, Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return;
    std::wstring w = Wide(data);
    RegSetValueExW(k, Wide(value).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                   static_cast<DWORD>(2 * (w.size() + 1)));
    RegCloseKey(k);
}

static const char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string ShellFolder(const char* name) {
    std::string v;
    RegRead(HKEY_CURRENT_USER, kShellFolders, name, &v);
    return v;
}

void SetShellFolder(const char* name, const std::string& path) {
    RegWrite(HKEY_CURRENT_USER, kShellFolders, name, path);
}

Process::~Process() {
    if (process_) {
        if (Running())
            Kill();
        CloseHandle(process_);
    }
}

bool Process::Start(const std::string& exe, const std::string& args, const std::string& dir) {
    // Without a program, the command line alone names it, as the system
    // runs a stored command.
    std::wstring cmd =
        Wide(exe.empty() ? args : "\"" + exe + "\"" + (args.empty() ? "" : " " + args));
    std::wstring wexe = Wide(exe);
    std::wstring wdir = Wide(dir);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.empty() ? nullptr : wexe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0,
                        nullptr, dir.empty() ? nullptr : wdir.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Process::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::Wait(DWORD ms, DWORD* code) {
    if (!process_ || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0)
        return false;
    if (code)
        GetExitCodeProcess(process_, code);
    return true;
}

void Process::Kill() {
    if (process_) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
}

HWND Process::WaitWindow(const char* cls, const char* caption, DWORD ms, HWND except) const {
    DWORD start = GetTickCount();
    for (;;) {
        FindContext c = {pid_, cls, caption, except, nullptr, nullptr};
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&c));
        if (c.found || GetTickCount() - start >= ms)
            return c.found;
        Sleep(20);
    }
}

std::vector<HWND> Process::Dialogs() const {
    std::vector<HWND> all;
    FindContext c = {pid_, "#32770", nullptr, nullptr, nullptr, &all};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&c));
    return all;
}

std::vector<HWND> Process::Windows() const {
    std::vector<HWND> all;
    FindContext c = {pid_, nullptr, nullptr, nullptr, nullptr, &all};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&c));
    return all;
}

std::string Text(HWND window) {
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &n))
        return "";
    std::wstring w(n + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(&w[0]),
                        SMTO_ABORTIFHUNG, 5000, &got);
    return Utf8(w.c_str(), static_cast<int>(got < n ? got : n));
}

std::string ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

void SetItemText(HWND dialog, int id, const std::string& text) {
    DWORD_PTR r;
    std::wstring w = Wide(text);
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &r);
}

bool IsChecked(HWND dialog, int id) {
    DWORD_PTR r = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
    return r == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
    DWORD_PTR r;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED,
                        0, SMTO_ABORTIFHUNG, 5000, &r);
}

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool WaitText(HWND window, const std::string& text, DWORD ms) {
    DWORD start = GetTickCount();
    while (Text(window) != text) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(10);
    }
    return true;
}

bool WaitGone(HWND window, DWORD ms) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

void Box::Answer(int id) const {
    // The box's buttons carry the answer ids; a click on one ends the box.
    HWND button = GetDlgItem(window, id);
    if (button)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    else
        PostMessageA(window, WM_COMMAND, id, 0);
}

Box WaitMessageBox(const Process& p, HWND dialog, DWORD ms) {
    Box box;
    box.window = p.WaitWindow("#32770", nullptr, ms, dialog);
    if (!box.window)
        return box;
    box.caption = Text(box.window);
    // The message is the static control that holds text (the icon is a
    // static without text).
    std::vector<HWND> children;
    EnumChildWindows(box.window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND c : children) {
        char cls[32] = "";
        GetClassNameA(c, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0) {
            std::string t = Text(c);
            if (!t.empty()) {
                box.text = t;
                break;
            }
        }
    }
    return box;
}

bool WaitStandin() {
    DWORD start = GetTickCount();
    while (!FindWindowA("KR_Editor", nullptr)) {
        if (GetTickCount() - start > kWaitMs)
            return false;
        Sleep(20);
    }
    return true;
}

void CloseStandins() {
    for (int i = 0; i < 10; i++) {
        HWND w = FindWindowA("KR_Editor", nullptr);
        if (!w)
            break;
        PostMessageA(w, WM_CLOSE, 1, 0);
        WaitGone(w, 5000);
    }
}

std::vector<std::string> StandinLog(const std::string& logPath) {
    std::vector<std::string> lines;
    std::string all = ReadFile(logPath);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find("\r\n", start);
        if (end == std::string::npos)
            end = all.size();
        lines.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string StartPlace(const std::string& line) {
    return line.substr(0, line.find("|parent="));
}

std::string StartField(const std::string& line, const std::string& name) {
    std::string key = "|" + name + "=";
    size_t at = line.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    return line.substr(at, line.find('|', at) - at);
}

TokenRights RightsOf(HANDLE process) {
    TokenRights rights;
    HANDLE token;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return rights;
    TOKEN_ELEVATION elevation = {};
    TOKEN_ELEVATION_TYPE type = {};
    DWORD size;
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
        rights.elevated = elevation.TokenIsElevated ? 1 : 0;
    if (GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size))
        rights.type = type;
    CloseHandle(token);
    return rights;
}

} // namespace e2e
