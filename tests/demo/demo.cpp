// The unattended demonstration: drives setup.exe the way a user would and
// prints what it shows and what it did. Screenshots are saved as BMP files
// in the folder given as the second argument (the caller converts them).
//
// Usage: demo.exe DIST_DIR SHOT_DIR
#include <stdio.h>

#include "driver.h"
#include "resource.h"

using namespace e2e;

namespace {

std::string g_shots;

// Saves the window's screen area as a 24-bit BMP file.
void Screenshot(HWND window, const char *name) {
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
    GetDIBits(mem, bmp, 0, h, &pixels[0], reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS);
    BITMAPFILEHEADER bf = {};
    bf.bfType = 0x4D42;
    bf.bfOffBits = sizeof bf + sizeof bi;
    bf.bfSize = bf.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string file(reinterpret_cast<char *>(&bf), sizeof bf);
    file.append(reinterpret_cast<char *>(&bi), sizeof bi);
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

} // namespace

int main(int argc, char **argv) {
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
    return 0;
}
