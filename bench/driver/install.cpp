// A default install, timed from OK to the end of setup.exe, against what
// the install sequence itself prescribes: the 500 ms pause before the
// product starts (the queue drains after each copy are ~0), plus one shell
// copy of the same files from the same distribution folder. The install is
// broken down by the captions its dialog shows, one per step; beside it the
// silent install (`setup.exe /S`), which has no pause and starts nothing.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "bench.h"
#include "caption_log.h"
#include "driver.h"
#include "plan.h"
#include "resource.h"

namespace bench {
namespace {

const char kRoot[] = "C:\\kr-bench";
const double kPrescribedWaitMs = 500;
// Every wait of a run is bounded.
const double kRunLimitMs = 120000;

// Names of the parts of an install that no caption names, and of the
// caption the dialog gets back when the install's handler returns.
const char kBeforeFirst[] = "OK to the first caption (folder checks)";
const char kShortcuts[] = "Creating Shortcuts";
const char kPause[] = "pause before the product start";
const char kStarting[] = "Starting Kestrune";
const char kDialogCaption[] = "Install Kestrune";
const char kToEnd[] = "dialog closed to setup.exe's end";

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

// The caption of another process's window as Windows keeps it: GetWindowText
// sends no message across processes, so the read does not wait for the
// install's thread, busy in its copies, as WM_GETTEXT would.
std::string Caption(HWND window) {
    wchar_t text[256];
    int n = GetWindowTextW(window, text, 256);
    return e2e::Utf8(text, n);
}

// One step of an install: its name and milliseconds.
struct Step {
    std::string name;
    double ms;
};

// A caption and when the dialog got it, in ms after OK.
struct Mark {
    double ms;
    std::string caption;
};

// The captions of an install dialog as its own thread sets them: the
// caption hook library (caption_hook.cpp) beside this program, loaded into
// setup.exe by a WH_CALLWNDPROCRET hook on the dialog's thread, writes each
// with its time into shared memory. Exact, and nothing polls meanwhile.
// Measured under Wine 8, the other ways are worse: a WinEvent hook out of
// context for EVENT_OBJECT_NAMECHANGE gets nothing (only
// EVENT_OBJECT_CREATE), and reading the caption every millisecond, which
// Polled() does when the hook cannot be had, misses a step of 10 ms now and
// then on a loaded machine.
class CaptionHook {
  public:
    CaptionHook() {
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring dll(path, n);
        dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"caption_hook.dll";
        library_ = LoadLibraryW(dll.c_str());
        proc_ = library_ ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(
                               GetProcAddress(library_, kCaptionHookProc)))
                         : nullptr;
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(CaptionLog), kCaptionLogName);
        log_ = mapping_ ? static_cast<CaptionLog*>(
                              MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(CaptionLog)))
                        : nullptr;
    }
    ~CaptionHook() {
        Stop();
        if (log_)
            UnmapViewOfFile(log_);
        if (mapping_)
            CloseHandle(mapping_);
        if (library_)
            FreeLibrary(library_);
    }
    CaptionHook(const CaptionHook&) = delete;
    CaptionHook& operator=(const CaptionHook&) = delete;

    bool Usable() const { return proc_ && log_ && !failed_; }
    // After an install that set captions and recorded none.
    void Fail() { failed_ = true; }

    // Records the captions of `dialog` from now on. The library is loaded
    // into setup.exe by the first message the dialog's thread gets after
    // this: let one come before the timing starts.
    bool Start(HWND dialog) {
        if (!Usable())
            return false;
        ZeroMemory(log_, sizeof *log_);
        log_->dialog = reinterpret_cast<ULONG_PTR>(dialog);
        hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, proc_, library_,
                                  GetWindowThreadProcessId(dialog, nullptr));
        return hook_ != nullptr;
    }
    // The captions recorded, in ms after `startMs` (a NowMs()).
    std::vector<Mark> Stop(double startMs = 0) {
        std::vector<Mark> marks;
        if (!hook_)
            return marks;
        UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
        for (LONG i = 0; i < log_->count; i++)
            marks.push_back(
                {CounterMs(log_->marks[i].counter) - startMs, e2e::Utf8(log_->marks[i].text)});
        return marks;
    }

  private:
    HMODULE library_ = nullptr;
    HOOKPROC proc_ = nullptr;
    HANDLE mapping_ = nullptr;
    CaptionLog* log_ = nullptr;
    HHOOK hook_ = nullptr;
    bool failed_ = false;
};

// Milliseconds from pressing OK to the end of setup.exe, or -1 when the
// install stopped (the dialog came back with "Retry") or did not end.
// *steps gets the time from each caption the dialog shows to the next,
// the last one to the end of the process: recorded by `hook` when it can,
// else read each millisecond (*polled is then set).
double TimeInstall(const std::string& dist, const std::string& dest, CaptionHook& hook, int* boxes,
                   std::vector<Step>* steps, bool* polled) {
    steps->clear();
    e2e::Process setup;
    if (!setup.Start(dist + "\\setup.exe", "", dist))
        return -1;
    HWND dialog = setup.WaitWindow("#32770", kDialogCaption);
    if (!dialog)
        return -1;
    bool hooked = hook.Start(dialog);
    *polled = !hooked;
    // (Also the first message after the hook.)
    e2e::SetItemText(dialog, IDC_DESTDIR, dest);

    std::vector<Mark> marks;
    std::string last = Caption(dialog);
    HANDLE process = setup.Handle();
    double start = NowMs(), nextBoxCheck = start + 20, end = -1;
    e2e::Press(dialog, IDOK);
    for (;;) {
        DWORD wait = WaitForSingleObject(process, hooked ? 20 : 1);
        double now = NowMs();
        if (wait == WAIT_OBJECT_0) {
            end = now - start;
            break;
        }
        if (!hooked) {
            // (Empty once the dialog is gone.)
            std::string caption = Caption(dialog);
            if (!caption.empty() && caption != last) {
                marks.push_back({now - start, caption});
                last = caption;
            }
        }
        if (now - start > kRunLimitMs || now < nextBoxCheck)
            continue;
        nextBoxCheck = now + 20;
        e2e::Box box = e2e::WaitMessageBox(setup, dialog, 0);
        if (box) {
            (*boxes)++;
            box.Answer(GetDlgItem(box.window, IDYES) ? IDYES : IDOK);
            e2e::WaitGone(box.window, 5000);
        } else if (IsWindowEnabled(dialog) && e2e::ItemText(dialog, IDOK) == "Retry" &&
                   WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
            // The handler names the button "Retry" after a success too, just
            // before the dialog closes: only a dialog that stays is a stop.
            hook.Stop();
            return -1;
        }
    }
    if (hooked) {
        marks = hook.Stop(start);
        if (end >= 0 && marks.empty())
            hook.Fail();
    }
    if (end < 0)
        return -1;

    // The 500 ms pause begins where "Creating Shortcuts" ends and shows no
    // caption of its own: it is a timer, which Wine fires within about 1 ms
    // of its time (measured), so the prescribed 500 ms are taken out of
    // that step.
    double from = 0;
    std::string name = kBeforeFirst;
    for (const Mark& mark : marks) {
        double ms = mark.ms - from;
        if (name == kShortcuts && mark.caption == kStarting && ms >= kPrescribedWaitMs) {
            steps->push_back({name, ms - kPrescribedWaitMs});
            steps->push_back({kPause, kPrescribedWaitMs});
        } else {
            steps->push_back({name, ms});
        }
        from = mark.ms;
        name = mark.caption == kDialogCaption ? kToEnd : mark.caption;
    }
    steps->push_back({name, end - from});
    return end;
}

// Milliseconds from starting `setup.exe /S` to its end, or -1 (the exit
// code, when there is one, in *code). A setup.exe without the silent mode
// shows its install dialog for that line: `checkWindows` (the warm-up run)
// looks for it, cancels it and sets *noSilentMode. The timed runs only
// wait, so that nothing but the install itself loads the machine.
double TimeSilentInstall(const std::string& dist, const std::string& dest, bool checkWindows,
                         bool* noSilentMode, DWORD* code) {
    e2e::Process setup;
    double start = NowMs();
    if (!setup.Start(dist + "\\setup.exe", "/S /D=" + dest, dist))
        return -1;
    HANDLE process = setup.Handle();
    for (;;) {
        DWORD wait = WaitForSingleObject(process, checkWindows ? 20 : 1000);
        double now = NowMs();
        if (wait == WAIT_OBJECT_0) {
            GetExitCodeProcess(process, code);
            return *code == 0 ? now - start : -1;
        }
        if (now - start > kRunLimitMs)
            return -1; // the Process ends it
        if (!checkWindows)
            continue;
        std::vector<HWND> dialogs = setup.Dialogs();
        if (!dialogs.empty()) {
            *noSilentMode = true;
            for (HWND d : dialogs)
                PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
            setup.Wait(e2e::kWaitMs, nullptr);
            return -1;
        }
    }
}

// Milliseconds from starting the floor program with "/S" (it ends before
// its dialog) to its end, or -1.
double TimeStartAndEnd(const std::string& floorExe) {
    e2e::Process program;
    double start = NowMs();
    if (!program.Start(floorExe, "/S"))
        return -1;
    return program.Wait(e2e::kWaitMs, nullptr) ? NowMs() - start : -1;
}

// Milliseconds of one SHFileOperationA copy of the plan's files into
// `dest`, with the flags of the install's own copies, or -1.
double TimeShellCopy(const std::string& dist, const std::string& dest) {
    std::string from;
    // What a default install copies, in plan order: the plan's own table
    // (the NT 4 libraries aside).
    for (const PlanStep& step : kPlan) {
        if (step.action != Action::Copy)
            continue;
        from += dist + "\\" + step.file;
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

// Removes what an install left: the product, the registry entries, the
// links, the destination, the silent run's log.
void Clean(const std::string& dest, bool started) {
    CloseProduct(started);
    e2e::ForgetInstall();
    RemoveLinks();
    e2e::RemoveTree(dest);
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n > 0 && n < MAX_PATH)
        DeleteFileA((std::string(temp) + "Kestrune 2 Setup.log").c_str());
}

// One row of a table of times: "  name  median  min  max".
void Row(const char* name, const std::vector<double>& values, const char* note = "") {
    if (values.empty()) {
        printf("  %-40s %7s %7s %7s  %s\n", name, "-", "-", "-", note);
        return;
    }
    printf("  %-40s %7.1f %7.1f %7.1f  %s\n", name, Median(values),
           *std::min_element(values.begin(), values.end()),
           *std::max_element(values.begin(), values.end()), note);
}

bool IsCopyStep(const std::string& name) {
    return name.rfind("Copying ", 0) == 0;
}

// The table of steps, each with what it adds to the floor: the copy steps
// together against the one shell copy, the pause nothing, any other step
// all of its time.
void PrintSteps(const std::vector<std::string>& order,
                const std::map<std::string, std::vector<double>>& byStep, size_t runs,
                double shell) {
    printf("  %-40s %7s %7s %7s  %s\n", "step", "median", "min", "max", "above the floor");
    double sum = 0, copySteps = 0, above = 0;
    for (size_t i = 0; i < order.size(); i++) {
        const std::string& name = order[i];
        const std::vector<double>& t = byStep.at(name);
        double median = Median(t);
        sum += median;
        char note[64] = "";
        if (IsCopyStep(name)) {
            copySteps += median;
        } else if (name == kPause) {
            snprintf(note, sizeof note, "(in the floor: the prescribed timer)");
        } else {
            above += median;
            snprintf(note, sizeof note, "%7.1f", median);
        }
        if (t.size() != runs)
            snprintf(note + strlen(note), sizeof note - strlen(note), " (in %zu of %zu runs)",
                     t.size(), runs);
        Row(name.c_str(), t, note);
        if (IsCopyStep(name) && (i + 1 == order.size() || !IsCopyStep(order[i + 1]))) {
            printf("  %-40s %7.1f %16s  %7.1f  (against one shell copy, %.1f)\n",
                   "= the copy steps", copySteps, "", copySteps - shell, shell);
            above += copySteps - shell;
        }
    }
    printf("  %-40s %7.1f %16s  %7.1f\n", "= sum of the step medians", sum, "", above);
}

} // namespace

int InstallBench(int runs, const std::string& floorExe) {
    e2e::MakeFolders(kRoot);
    const std::string dest = std::string(kRoot) + "\\dest";
    const std::string copy = std::string(kRoot) + "\\copy";
    std::vector<double> installs, silents, copies, starts;
    std::vector<std::string> order;                    // step names, as first seen
    std::map<std::string, std::vector<double>> byStep; // ms per run
    int boxes = 0, failed[4] = {};                     // dialog, silent, copy, start and end
    bool noSilentMode = false, polled = false;
    CaptionHook hook;
    DWORD silentCode = 0; // the last exit code other than 0
    size_t copied = 0;
    // Run -1 warms the prefix and the shell up and is not counted; the order
    // turns, so that none of the four always runs on the heels of another.
    for (int run = -1; run < runs; run++) {
        Clean(dest, false);
        double install = -1, silent = -1, shell = -1, startEnd = -1;
        std::vector<Step> steps;
        for (int k = 0; k < 4; k++) {
            switch ((run + 1 + k) % 4) {
            case 0:
                e2e::RemoveTree(copy);
                e2e::MakeFolders(copy);
                shell = TimeShellCopy(e2e::FreshDist("bench"), copy);
                copied = e2e::ListFolder(copy).size();
                e2e::RemoveTree(copy);
                break;
            case 1:
                install = TimeInstall(e2e::FreshDist("bench"), dest, hook, &boxes, &steps, &polled);
                Clean(dest, install >= 0);
                break;
            case 2: {
                if (noSilentMode)
                    break;
                DWORD code = 0;
                silent =
                    TimeSilentInstall(e2e::FreshDist("bench"), dest, run < 0, &noSilentMode, &code);
                if (code)
                    silentCode = code;
                Clean(dest, false);
                break;
            }
            case 3:
                startEnd = TimeStartAndEnd(floorExe);
                break;
            }
        }
        // Each kind counts on its own: a run that failed in one keeps the
        // figures of the others.
        if (install < 0)
            failed[0]++;
        if (silent < 0 && !noSilentMode)
            failed[1]++;
        if (shell < 0)
            failed[2]++;
        if (startEnd < 0)
            failed[3]++;
        if (run < 0)
            continue;
        if (install >= 0) {
            installs.push_back(install);
            for (const Step& s : steps) {
                if (!byStep.count(s.name))
                    order.push_back(s.name);
                byStep[s.name].push_back(s.ms);
            }
        }
        if (silent >= 0)
            silents.push_back(silent);
        if (shell >= 0)
            copies.push_back(shell);
        if (startEnd >= 0)
            starts.push_back(startEnd);
    }
    e2e::RemoveTree(kRoot);
    e2e::RemoveTree("C:\\kr-e2e\\bench");

    double shell = Median(copies);
    double floor = kPrescribedWaitMs + shell;
    printf("  (%d runs of each, in turn, after one warm-up run; %d message box(es) answered;\n"
           "   a fresh distribution folder for each install; ms)\n",
           runs, boxes);
    printf("  %-40s %7s %7s %7s\n", "", "median", "min", "max");
    Row("dialog install, OK to the end", installs);
    if (noSilentMode)
        printf("  %-40s %7s  (this setup.exe has no silent mode: /S showed\n"
               "  %-40s %7s   the install dialog)\n",
               "silent install, start to the end", "n/a", "", "");
    else
        Row("silent install, start to the end", silents, "(setup.exe /S /D=...)");
    char note[64];
    snprintf(note, sizeof note, "(%zu files, FO_COPY, flags 0x00D0)", copied);
    Row("floor: one shell copy", copies, note);
    Row("floor: start and end of a program", starts, "(the start-up floor of 2, no dialog)");
    printf("  floor of the dialog install: 500 ms pause + the copy = %.1f; install/floor %.2f\n",
           floor, installs.empty() ? 0.0 : Median(installs) / floor);
    if (!silents.empty()) {
        double silentFloor = Median(starts) + shell;
        printf(
            "  floor of the silent install: start and end + the copy = %.1f; silent/floor %.2f\n",
            silentFloor, Median(silents) / silentFloor);
    }
    static const char* const kKinds[] = {"dialog install", "silent install", "shell copy",
                                         "start and end"};
    for (int k = 0; k < 4; k++) {
        if (!failed[k])
            continue;
        printf("  %d %s(s) failed and are not counted", failed[k], kKinds[k]);
        if (k == 1 && silentCode)
            printf(" (exit code %lu)", static_cast<unsigned long>(silentCode));
        printf("\n");
    }
    if (installs.empty())
        return 0;

    printf("\n  The dialog install by step: from each caption its dialog shows to the next,\n"
           "  and what each adds to the floor (medians of %zu runs, ms; the captions %s)\n",
           installs.size(),
           polled ? "read every\n  millisecond: the caption hook could not be had, and a short "
                    "step can be missed"
                  : "as\n  setup.exe's thread sets them, recorded there by the caption hook");
    PrintSteps(order, byStep, installs.size(), shell);
    printf("  (the install's median %.1f, %.1f above its floor)\n", Median(installs),
           Median(installs) - floor);
    return 0;
}

} // namespace bench
