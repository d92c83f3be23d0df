// A default install, timed from OK to the end of setup.exe, against what
// the install sequence itself prescribes: the 500 ms pause before the
// product starts (the queue drains after each copy are ~0), plus one shell
// copy of the same files from the same distribution folder.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>

#include "bench.h"
#include "driver.h"
#include "resource.h"

namespace bench {
namespace {

const char kRoot[] = "C:\\kr-bench";
const double kPrescribedWaitMs = 500;

// What a default install copies (the NT 4 libraries aside), in plan order.
const char* const kPlanFiles[] = {
    "krhook20.dll",
    "setup.exe",
    "krcl.exe",
    "kr.exe",
    "*.ico",
    "license.txt",
    "typeinfo.ini",
    "winapiKR.txt",
    "krrecwin.txt",
    "Dialog Help.txt",
    "System.krl",
    "Samples2.krl",
    "Convert old macros.krl",
    "List.krl",
    "wininet.tlb",
    "kr2help.hlp",
    "pcrepattern.html",
};

void RemoveLinks() {
    e2e::RemoveTree(e2e::ShellFolder("Programs") + "\\Kestrune 2");
    e2e::RemoveTree(e2e::ShellFolder("StartUp") + "\\Kestrune.lnk");
}

// Closes the product; after an install, whose product may show its window
// only after setup.exe has ended, waits for it first.
void CloseProduct(bool started) {
    double start = NowMs();
    HWND editor;
    while (!(editor = FindWindowA("KR_Editor", nullptr)) && started && NowMs() - start < 10000)
        Sleep(20);
    for (int i = 0; editor && i < 10; i++) {
        PostMessageA(editor, WM_CLOSE, 1, 0);
        e2e::WaitGone(editor, 5000);
        editor = FindWindowA("KR_Editor", nullptr);
    }
}

// Milliseconds from pressing OK to the end of setup.exe, or -1 when the
// install stopped (the dialog came back with "Retry") or did not end.
double TimeInstall(const std::string& dist, const std::string& dest, int* boxes) {
    e2e::Process setup;
    if (!setup.Start(dist + "\\setup.exe", "", dist))
        return -1;
    HWND dialog = setup.WaitWindow("#32770", "Install Kestrune");
    if (!dialog)
        return -1;
    e2e::SetItemText(dialog, IDC_DESTDIR, dest);
    double start = NowMs();
    e2e::Press(dialog, IDOK);
    while (!setup.Wait(20, nullptr)) {
        if (NowMs() - start > 120000)
            return -1;
        e2e::Box box = e2e::WaitMessageBox(setup, dialog, 0);
        if (box) {
            (*boxes)++;
            box.Answer(GetDlgItem(box.window, IDYES) ? IDYES : IDOK);
            e2e::WaitGone(box.window, 5000);
        } else if (IsWindowEnabled(dialog) && e2e::ItemText(dialog, IDOK) == "Retry") {
            return -1;
        }
    }
    return NowMs() - start;
}

// Milliseconds of one SHFileOperationA copy of the plan's files into
// `dest`, with the flags of the install's own copies, or -1.
double TimeShellCopy(const std::string& dist, const std::string& dest) {
    std::string from;
    for (const char* name : kPlanFiles) {
        from += dist + "\\" + name;
        from.push_back('\0');
    }
    // c_str() adds the list's second NUL; `to` is a list of one.
    std::string to = dest + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_COPY;
    op.pFrom = from.c_str();
    op.pTo = to.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_FILESONLY | FOF_NOCONFIRMATION; // 0x00D0
    double start = NowMs();
    int rc = SHFileOperationA(&op);
    double ms = NowMs() - start;
    return rc == 0 ? ms : -1;
}

void Clean(const std::string& dest, bool installed) {
    CloseProduct(installed);
    e2e::ForgetInstall();
    RemoveLinks();
    e2e::RemoveTree(dest);
}

} // namespace

int InstallBench(int runs) {
    e2e::MakeFolders(kRoot);
    const std::string dest = std::string(kRoot) + "\\dest";
    const std::string copy = std::string(kRoot) + "\\copy";
    std::vector<double> installs, copies;
    int boxes = 0, failures = 0;
    size_t copied = 0;
    // Run -1 warms the prefix and the shell up and is not counted; the order
    // alternates, so that neither runs on the heels of the other every time.
    for (int run = -1; run < runs; run++) {
        Clean(dest, false);
        std::string dist = e2e::FreshDist("bench");
        double install = -1, shell = -1;
        for (int step = 0; step < 2; step++) {
            if ((run + step) & 1) {
                e2e::RemoveTree(copy);
                e2e::MakeFolders(copy);
                shell = TimeShellCopy(dist, copy);
                copied = e2e::ListFolder(copy).size();
                e2e::RemoveTree(copy);
            } else {
                install = TimeInstall(dist, dest, &boxes);
                Clean(dest, install >= 0);
            }
        }
        if (install < 0 || shell < 0)
            failures++;
        else if (run >= 0) {
            installs.push_back(install);
            copies.push_back(shell);
        }
    }
    e2e::RemoveTree(kRoot);
    e2e::RemoveTree("C:\\kr-e2e\\bench");

    double install = Median(installs), shell = Median(copies);
    double floor = kPrescribedWaitMs + shell;
    printf("  (%d runs, install and copy alternating, after one warm-up run; %d message box(es)\n"
           "   answered)\n",
           runs, boxes);
    printf("  default install     %s   (OK pressed -> setup.exe ended)\n",
           Summary(installs).c_str());
    printf("  one shell copy      %s   (%zu files, FO_COPY, flags 0x00D0)\n",
           Summary(copies).c_str(), copied);
    printf("  prescribed floor    %7.1f ms = 500 ms pause before the product start + the copy\n",
           floor);
    printf("  ratio install/floor %.2f\n", installs.empty() ? 0.0 : install / floor);
    if (failures)
        printf("  %d run(s) failed and are not counted\n", failures);
    return 0;
}

} // namespace bench
