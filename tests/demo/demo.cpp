// The scripted demonstration of the dialogs: drives setup.exe the way a
// user would and prints what it shows and what it did: the install dialog
// and a cancel, an install into C:\kr-demo, a second install over changed
// macro lists (the "Info" summary), Wine's own Add/Remove Programs listing
// the product, and the uninstall from the installed copy, after which the
// list no longer shows it. Screenshots are saved as BMP files in the folder
// given as the second argument (the caller converts them). It starts by
// removing what an earlier run left, so it can run again and again.
//
// Usage: demo.exe DIST_DIR SHOT_DIR
#include <stdio.h>
#include <string.h>

#include "driver.h"
#include "resource.h"

#include <commctrl.h> // after windows.h (driver.h)

using namespace e2e;

namespace {

std::string g_shots;

// Saves the window's screen area as a 24-bit BMP file.
void Screenshot(HWND window, const char* name) {
    RECT r;
    GetWindowRect(window, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    DWORD stride = ((w * 3 + 3) / 4) * 4;
    std::string pixels(stride * h, '\0');
    GetDIBits(mem, bmp, 0, h, &pixels[0], reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    BITMAPFILEHEADER bf = {};
    bf.bfType = 0x4D42;
    bf.bfOffBits = sizeof bf + sizeof bi;
    bf.bfSize = bf.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string file(reinterpret_cast<char*>(&bf), sizeof bf);
    file.append(reinterpret_cast<char*>(&bi), sizeof bi);
    file += pixels;
    WriteFile(g_shots + "\\" + name + ".bmp", file);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    printf("  screenshot: %s.png\n", name);
}

void PrintDialog(HWND dialog) {
    printf("  caption:  %s\n", Text(dialog).c_str());
    printf("  folder:   %s\n", ItemText(dialog, IDC_DESTDIR).c_str());
    for (int id : {IDC_COPYFILES, IDC_REGISTRY, IDC_STARTMENU, IDC_STARTUP, IDC_STARTAPP})
        printf("  [%c] %s\n", IsChecked(dialog, id) ? 'x' : ' ', ItemText(dialog, id).c_str());
}

const char kDemoRoot[] = "C:\\kr-demo";
const char kDest[] = "C:\\kr-demo\\Kestrune 2";

// The registry values an install makes (those of the tests' expectation,
// and the uninstall entry's EstimatedSize), and how they are named here.
std::vector<RegValue> ProductEntries() {
    std::vector<RegValue> v = ProductValues("", "");
    v.push_back({HKEY_LOCAL_MACHINE, kUninstallEntryKey, "EstimatedSize", "", REG_DWORD});
    return v;
}

std::string EntryName(const RegValue& e) {
    const char* root = e.root == HKEY_LOCAL_MACHINE  ? "HKLM"
                       : e.root == HKEY_CLASSES_ROOT ? "HKCR"
                                                     : "HKCU";
    return std::string(root) + "\\" + e.key + " : " + (e.name.empty() ? "(default)" : e.name);
}

std::string MenuFolder() {
    return ShellFolder("Programs") + "\\Kestrune 2";
}

std::vector<std::string> LinkPaths() {
    return {MenuFolder() + "\\Kestrune.lnk", MenuFolder() + "\\Help.lnk",
            MenuFolder() + "\\Uninstall.lnk", ShellFolder("StartUp") + "\\Kestrune.lnk"};
}

// Removes what an earlier demonstration left behind.
void CleanUp() {
    RemoveTree(kDemoRoot);
    ForgetInstall();
    RemoveTree(MenuFolder());
    RemoveTree(ShellFolder("StartUp") + "\\Kestrune.lnk");
}

void PrintFiles(const std::string& folder, const std::string& indent) {
    for (const std::string& name : ListFolder(folder)) {
        std::string path = folder + "\\" + name;
        if (FolderExists(path)) {
            printf("%s%s\\\n", indent.c_str(), name.c_str());
            PrintFiles(path, indent + "  ");
        } else {
            printf("%s%-26s %7u bytes\n", indent.c_str(), name.c_str(),
                   static_cast<unsigned>(ReadFile(path).size()));
        }
    }
}

void PrintStandinLog(const std::string& log) {
    for (const std::string& line : StandinLog(log))
        printf("  %s\n", line.c_str());
}

// Ends the stand-in product that an install started.
void CloseProduct() {
    WaitStandin();
    CloseStandins();
}

void PrintBox(const Box& box) {
    printf("  message box \"%s\":\n", box.caption.c_str());
    std::string text = box.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    size_t at;
    while ((at = text.find("\r\n")) != std::string::npos)
        text.replace(at, 2, "\n    ");
    printf("    %s\n", text.c_str());
}

// Presses OK and answers every box (OK, or Yes for a question) until the
// program ends; `shot` names a screenshot of the first box with caption
// `shotCaption`.
bool RunToEnd(Process& setup, HWND dialog, const char* shotCaption, const char* shot) {
    Press(dialog, IDOK);
    DWORD start = GetTickCount();
    DWORD code = 0;
    while (GetTickCount() - start < 120000) {
        if (setup.Wait(0, &code)) {
            printf("  setup.exe ended with exit code %lu\n", code);
            return true;
        }
        Box box = WaitMessageBox(setup, dialog, 100);
        if (!box)
            continue;
        PrintBox(box);
        if (shot && box.caption == shotCaption) {
            Sleep(300);
            Screenshot(box.window, shot);
            shot = nullptr;
        }
        int id = GetDlgItem(box.window, IDYES) ? IDYES : IDOK;
        printf("  answered %s\n", id == IDYES ? "Yes" : "OK");
        box.Answer(id);
        WaitGone(box.window, 5000);
    }
    printf("  setup.exe did not end\n");
    return false;
}

BOOL CALLBACK FindListView(HWND child, LPARAM found) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "SysListView32") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// Wine's own Add/Remove Programs (control.exe appwiz.cpl), as a user opens
// it: prints the rows of its list (name, publisher, version), selects the
// row of `select` if it is there, saves a screenshot when `shot` is given,
// and closes it. The list lives in another process: its items are read
// through a buffer in that process's memory.
void ShowAppsList(const char* select, const char* shot) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    Process control;
    if (!control.Start(std::string(system) + "\\control.exe", "appwiz.cpl")) {
        printf("  control.exe did not start\n");
        return;
    }
    HWND sheet = control.WaitWindow("#32770", "Add/Remove Programs");
    HWND list = nullptr;
    if (sheet)
        EnumChildWindows(sheet, FindListView, reinterpret_cast<LPARAM>(&list));
    if (!list) {
        printf("  Add/Remove Programs did not appear\n");
        return;
    }
    Sleep(1000); // the list fills after the window shows
    struct Remote {
        LVITEMW item;
        wchar_t text[260];
    };
    auto* remote = static_cast<Remote*>(
        VirtualAllocEx(control.Handle(), nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    printf("  Add/Remove Programs lists %d program%s (name | publisher | version):\n", rows,
           rows == 1 ? "" : "s");
    for (int row = 0; remote && row < rows; row++) {
        std::string line;
        for (int column = 0; column < 3; column++) {
            Remote local = {};
            local.item.iSubItem = column;
            local.item.pszText = remote->text;
            local.item.cchTextMax = 260;
            WriteProcessMemory(control.Handle(), remote, &local, sizeof local, nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(control.Handle(), remote, &local, sizeof local, nullptr);
            local.text[259] = 0;
            line += (column ? " | " : "") + Utf8(local.text);
        }
        printf("    %s\n", line.c_str());
        if (select && line.compare(0, strlen(select) + 3, std::string(select) + " | ") == 0) {
            Remote local = {};
            local.item.stateMask = local.item.state = LVIS_SELECTED | LVIS_FOCUSED;
            WriteProcessMemory(control.Handle(), remote, &local, sizeof local, nullptr);
            SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote));
        }
    }
    if (remote)
        VirtualFreeEx(control.Handle(), remote, 0, MEM_RELEASE);
    if (shot) {
        Sleep(300);
        Screenshot(sheet, shot);
    }
    PostMessageA(sheet, WM_CLOSE, 0, 0);
    DWORD code;
    if (!control.Wait(kWaitMs, &code))
        control.Kill();
}

bool Install(const std::string& dist, const char* shotCaption, const char* shot) {
    Process setup;
    if (!setup.Start(dist + "\\setup.exe", "", dist)) {
        printf("  setup.exe did not start\n");
        return false;
    }
    HWND dialog = setup.WaitWindow("#32770", "Install Kestrune");
    if (!dialog) {
        printf("  the install dialog did not appear\n");
        return false;
    }
    printf("  proposed folder: %s\n", ItemText(dialog, IDC_DESTDIR).c_str());
    SetItemText(dialog, IDC_DESTDIR, kDest);
    printf("  typed folder:    %s, pressed OK\n", kDest);
    return RunToEnd(setup, dialog, shotCaption, shot);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: demo DIST_DIR SHOT_DIR\n");
        return 2;
    }
    std::string dist = argv[1];
    g_shots = argv[2];
    setvbuf(stdout, nullptr, _IONBF, 0);

    printf("Starting %s\\setup.exe\n", dist.c_str());
    Process setup;
    if (!setup.Start(dist + "\\setup.exe", "", dist)) {
        printf("setup.exe did not start\n");
        return 1;
    }
    HWND dialog = setup.WaitWindow("#32770", "Install Kestrune");
    if (!dialog) {
        printf("the install dialog did not appear\n");
        return 1;
    }
    Sleep(300); // let it paint
    printf("The install dialog:\n");
    PrintDialog(dialog);
    Screenshot(dialog, "install-dialog");

    Press(dialog, IDCANCEL);
    DWORD code = 0;
    if (!setup.Wait(kWaitMs, &code)) {
        printf("setup.exe did not end\n");
        return 1;
    }
    printf("Cancelled; setup.exe ended with exit code %lu\n", code);

    std::string log = std::string(kDemoRoot) + "\\standin.log";
    CleanUp();
    MakeFolders(kDemoRoot);
    RegWrite(HKEY_CURRENT_USER, kStandInKey, "Log", log); // read by kr.exe

    printf("\nInstalling into %s:\n", kDest);
    if (!Install(dist, nullptr, nullptr))
        return 1;
    printf("Installed files:\n");
    PrintFiles(kDest, "  ");
    printf("Registry values written:\n");
    for (const RegValue& e : ProductEntries()) {
        std::string v;
        DWORD type = 0;
        if (RegRead(e.root, e.key, e.name, &v, &type) && type == REG_DWORD && v.size() == 4)
            printf("  %s = %lu (REG_DWORD)\n", EntryName(e).c_str(),
                   static_cast<unsigned long>(*reinterpret_cast<const DWORD*>(v.data())));
        else if (type != 0)
            printf("  %s = %s\n", EntryName(e).c_str(), v.c_str());
        else
            printf("  %s is missing\n", EntryName(e).c_str());
    }
    for (const Sound& event : kSounds) {
        std::string key = SchemeKey(event);
        printf("  HKCU\\%s (key) %s\n", key.c_str(),
               RegKeyExists(HKEY_CURRENT_USER, key) ? "created" : "is missing");
    }
    printf("Links:\n");
    for (const std::string& path : LinkPaths()) {
        Link link = ReadLink(path);
        if (link.ok)
            printf("  %s\n    -> %s %s (in %s, icon %s,%d)\n", path.c_str(), link.target.c_str(),
                   link.arguments.c_str(), link.workingDir.c_str(),
                   link.iconFile.empty() ? "(target's)" : link.iconFile.c_str(), link.iconIndex);
        else
            printf("  %s is missing\n", path.c_str());
    }
    CloseProduct();
    printf("The stand-in product recorded:\n");
    PrintStandinLog(log);
    printf("Windows' list of installed programs:\n");
    ShowAppsList("Kestrune 2", "apps-list");

    printf("\nChanging System.krl and List.krl in %s, then installing again:\n", kDest);
    for (const char* name : {"System.krl", "List.krl"}) {
        std::string path = std::string(kDest) + "\\" + name;
        WriteFile(path, ReadFile(path) + "; changed by the user\r\n");
    }
    if (!Install(dist, "Info", "info-box"))
        return 1;
    printf("Backup folder:\n");
    PrintFiles(std::string(kDest) + "\\Backup", "  ");
    printf("Macro lists now:\n");
    for (const std::string& name : ListFolder(kDest)) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".krl")
            printf("  %s\n", name.c_str());
    }
    CloseProduct();

    std::string installed = std::string(kDest);
    printf("\nUninstalling: %s\\setup.exe uninstall\n", kDest);
    Process uninstall;
    if (!uninstall.Start(installed + "\\setup.exe", "uninstall", installed)) {
        printf("  setup.exe did not start\n");
        return 1;
    }
    dialog = uninstall.WaitWindow("#32770", "Uninstall Kestrune");
    if (!dialog) {
        printf("  the uninstall dialog did not appear\n");
        return 1;
    }
    Sleep(300);
    printf("  caption: %s; pressed OK\n", Text(dialog).c_str());
    Press(dialog, IDOK);
    Box box = WaitMessageBox(uninstall, dialog);
    if (!box) {
        printf("  no question appeared\n");
        return 1;
    }
    Sleep(300);
    printf("  dialog caption now: %s\n", Text(dialog).c_str());
    PrintBox(box);
    Screenshot(box.window, "uninstall-question");
    printf("  answered No\n");
    box.Answer(IDNO);
    if (!uninstall.Wait(kWaitMs, &code)) {
        printf("  setup.exe did not end\n");
        return 1;
    }
    printf("  setup.exe ended with exit code %lu\n", code);
    printf("Registry entries:\n");
    for (const RegValue& e : ProductEntries()) {
        printf("  %s %s\n", EntryName(e).c_str(),
               RegRead(e.root, e.key, e.name, nullptr) ? "is still there" : "removed");
    }
    for (const char* key : {kProductKey, "Software\\Tovak"}) {
        printf("  HKCU\\%s (key) %s\n", key,
               RegKeyExists(HKEY_CURRENT_USER, key) ? "is still there" : "removed");
    }
    printf("Links:\n");
    for (const std::string& path : LinkPaths())
        printf("  %s %s\n", path.c_str(), FileExists(path) ? "is still there" : "removed");
    printf("  %s %s\n", MenuFolder().c_str(),
           FolderExists(MenuFolder()) ? "is still there" : "removed");
    printf("Windows' list of installed programs:\n");
    ShowAppsList(nullptr, nullptr);
    printf("Left for the user to delete (%s):\n", kDest);
    PrintFiles(kDest, "  ");
    DeleteRegTree(HKEY_CURRENT_USER, kStandInKey);
    return 0;
}
