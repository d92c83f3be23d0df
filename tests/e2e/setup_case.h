// The base of the end-to-end cases: a fresh distribution folder, no trace
// of an earlier install, and nothing left running afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "driver.h"
#include "resource.h"

namespace e2e {

// A folder named in three scripts beyond the test prefix's Western code page
// (Cyrillic, CJK, and an emoji of two UTF-16 units), and a user of such a
// name.
inline const char kScripts[] = u8"Кестрюн 中文 🎉";
inline const char kUser[] = u8"Пётр 李明";

class SetupCase : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetInstall();
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dist_ = FreshDist(name);
        log_ = dist_ + "\\..\\standin.log";
        // The product that setup.exe starts through the desktop shell has
        // the shell's environment: it finds its log through the registry.
        // Programs the case starts itself inherit the variable.
        RegWrite(HKEY_CURRENT_USER, kStandInKey, "Log", log_);
        SetEnvironmentVariableA("KR_STANDIN_LOG", log_.c_str());
    }
    void TearDown() override {
        setup_.Kill();
        CloseStandins();
        ForgetInstall();
        RemoveLinks();
        for (const SavedFolder& f : savedFolders_)
            SetShellFolder(f.name, f.path);
        savedFolders_.clear();
        DeleteRegTree(HKEY_CURRENT_USER, kStandInKey);
    }

    // Points Explorer's "Programs" and "StartUp" folders, as the program
    // reads them, into `profile` (a user's profile folder), and makes them.
    // TearDown puts the values back.
    void UseProfile(const std::string& profile) {
        const SavedFolder kFolders[] = {
            {"Programs", profile + "\\Start Menu\\Programs"},
            {"StartUp", profile + "\\Start Menu\\Programs\\StartUp"},
        };
        for (const SavedFolder& f : kFolders) {
            if (savedFolders_.size() < 2)
                savedFolders_.push_back({f.name, ShellFolder(f.name)});
            MakeFolders(f.path);
            SetShellFolder(f.name, f.path);
        }
    }

    // The stand-in's log once it holds at least `lines` lines (bounded wait).
    std::vector<std::string> WaitStandinLog(size_t lines) const {
        DWORD start = GetTickCount();
        std::vector<std::string> log = StandinLog(log_);
        while (log.size() < lines && GetTickCount() - start < kWaitMs) {
            Sleep(20);
            log = StandinLog(log_);
        }
        return log;
    }

    // Removes the links an install makes.
    static void RemoveLinks() {
        RemoveTree(ShellFolder("Programs") + "\\Kestrune 2");
        RemoveTree(ShellFolder("StartUp") + "\\Kestrune.lnk");
        RemoveTree(ShellFolder("StartUp") + "\\KR.lnk");
    }

    // What happened in one run of the install sequence.
    struct Run {
        bool ended = false;     // the program ended
        DWORD exitCode = 99;    // its exit code
        std::vector<Box> boxes; // the message boxes met, in order
        std::string button;     // the text of button 1 when the dialog stayed
        std::string caption;    // the dialog's caption then
        // Whether the dialog took clicks while it showed "Creating Shortcuts"
        // (the links and the pause before the product starts): 1 when seen
        // enabled then, 0 when always disabled, -1 when that phase was not seen.
        int enabledAtLinks = -1;
    };

    // Presses OK (or Retry) and follows the run: each message box is recorded
    // and answered by `answer` (default: OK, or Yes for a question). The run
    // is over when the program ends or button 1 reads "Retry" again with no
    // box open.
    Run PressOk(HWND dialog, int (*answer)(const Box&) = nullptr) {
        Run run;
        SetItemText(dialog, IDOK, "pressed"); // told apart from a later "Retry"
        Press(dialog, IDOK);
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 120000) {
            if (setup_.Wait(0, &run.exitCode)) {
                run.ended = true;
                return run;
            }
            Box box = WaitMessageBox(setup_, dialog, 50);
            if (box) {
                run.boxes.push_back(box);
                int id = answer ? answer(box) : (GetDlgItem(box.window, IDYES) ? IDYES : IDOK);
                box.Answer(id);
                WaitGone(box.window, 5000);
                continue;
            }
            // The caption read before and after dates the reading; a hidden
            // dialog has ended, and is enabled again by its handler.
            if (Text(dialog) == "Creating Shortcuts") {
                int enabled = IsWindowEnabled(dialog) ? 1 : 0;
                if (IsWindowVisible(dialog) && Text(dialog) == "Creating Shortcuts")
                    run.enabledAtLinks = std::max(run.enabledAtLinks, enabled);
            }
            if (IsWindow(dialog) && IsWindowEnabled(dialog) && ItemText(dialog, IDOK) == "Retry") {
                run.button = "Retry";
                run.caption = Text(dialog);
                return run;
            }
        }
        ADD_FAILURE() << "the install run did not end";
        return run;
    }

    // Starts setup.exe, types `folder` and runs the install.
    Run Install(const std::string& folder, int (*answer)(const Box&) = nullptr) {
        HWND dialog = StartSetup("", "Install Kestrune");
        if (!dialog)
            return Run();
        SetItemText(dialog, IDC_DESTDIR, folder);
        dialog_ = dialog;
        return PressOk(dialog, answer);
    }

    std::string SetupExe() const { return dist_ + "\\setup.exe"; }

    // An unattended run: whether it ended, its exit code, and every window
    // of it that was ever visible, watched from its start to its end.
    struct QuietRun {
        bool ended = false;
        DWORD exitCode = 99;
        std::vector<std::string> shown; // class and caption
    };
    // Runs `exe` with `args` (the text after its quoted path), or with
    // `args` alone as the whole command line when `exe` is empty.
    static QuietRun RunQuiet(const std::string& exe, const std::string& args,
                             const std::string& dir) {
        QuietRun run;
        Process p;
        if (!p.Start(exe, args, dir)) {
            ADD_FAILURE() << "cannot start " << exe << " " << args;
            return run;
        }
        DWORD start = GetTickCount();
        do {
            for (HWND w : p.Windows()) {
                char cls[64] = "";
                GetClassNameA(w, cls, sizeof cls);
                run.shown.push_back(std::string(cls) + " \"" + Text(w) + "\"");
                PostMessageA(w, WM_CLOSE, 0, 0); // so that the run can end
            }
            run.ended = p.Wait(1, &run.exitCode);
        } while (!run.ended && GetTickCount() - start < 120000);
        EXPECT_TRUE(run.ended) << args;
        return run;
    }

    // Starts setup.exe from the distribution folder and waits for `caption`.
    HWND StartSetup(const std::string& args, const char* caption) {
        EXPECT_TRUE(setup_.Start(SetupExe(), args, dist_));
        HWND dialog = setup_.WaitWindow("#32770", caption);
        EXPECT_NE(dialog, nullptr) << "no dialog \"" << caption << "\"";
        return dialog;
    }

    // Presses Cancel and expects the program to end with 0.
    void CancelAndExpectExit(HWND dialog) {
        Press(dialog, IDCANCEL);
        DWORD code = 1;
        ASSERT_TRUE(setup_.Wait(kWaitMs, &code));
        EXPECT_EQ(code, 0u);
    }

    struct SavedFolder {
        const char* name;
        std::string path;
    };
    std::vector<SavedFolder> savedFolders_;

    std::string dist_;
    std::string log_;
    Process setup_;
    HWND dialog_ = nullptr;
};

} // namespace e2e
