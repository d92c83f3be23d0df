// Closing a running product before the install: the stand-in product, the
// previous version's window, none at all, and a product that will not
// close. Each run is pressed with an empty folder box, so that it ends in
// Retry right after the closing, with nothing installed.
#include "install_case.h"

namespace e2e {
namespace {

// A window's text without sending it a message: answered even while the
// dialog's thread sits in a blocking wait.
std::string QuietText(HWND window) {
    wchar_t wide[256];
    int n = InternalGetWindowText(window, wide, 256);
    char text[512];
    int len = WideCharToMultiByte(CP_ACP, 0, wide, n, text, sizeof text, nullptr, nullptr);
    return std::string(text, len > 0 ? len : 0);
}

class CloseApp : public InstallCase {
  protected:
    // What the dialog showed between the press and the end of the run.
    struct Watch {
        bool retry = false;                // the run ended in Retry
        bool sawClosing = false;           // the caption read "Closing Kestrune"
        bool productGone = false;          // no editor window was left at Retry
        std::string caption;               // the caption at Retry
        std::vector<Box> boxes;            // message boxes met (answered OK)
        std::vector<std::string> captions; // every caption seen, in order
    };

    // Presses OK with an empty folder box and samples the caption until
    // button 1 reads "Retry" again (bounded).
    Watch PressWithEmptyFolder() {
        Watch w;
        dialog_ = StartSetup("", "Install Kestrune");
        if (!dialog_)
            return w;
        SetItemText(dialog_, IDC_DESTDIR, "");
        SetItemText(dialog_, IDOK, "pressed"); // told apart from a later "Retry"
        Press(dialog_, IDOK);
        HWND button = GetDlgItem(dialog_, IDOK);
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 120000 && setup_.Running()) {
            std::string caption = QuietText(dialog_);
            if (w.captions.empty() || w.captions.back() != caption)
                w.captions.push_back(caption);
            if (caption == "Closing Kestrune")
                w.sawClosing = true;
            if (IsWindowEnabled(dialog_) && QuietText(button) == "Retry") {
                w.retry = true;
                w.caption = caption;
                w.productGone = FindWindowA("KR_Editor", nullptr) == nullptr;
                return w;
            }
            Box box = WaitMessageBox(setup_, dialog_, 0);
            if (box) {
                w.boxes.push_back(box);
                box.Answer(IDOK);
                WaitGone(box.window, 5000);
            }
            Sleep(5);
        }
        ADD_FAILURE() << "the run did not end in Retry";
        return w;
    }

    static std::string Joined(const std::vector<std::string>& captions) {
        std::string all;
        for (const std::string& c : captions)
            all += "[" + c + "]";
        return all;
    }

    static bool WaitWindowOf(const char* cls, const char* title) {
        DWORD start = GetTickCount();
        while (!FindWindowA(cls, title)) {
            if (GetTickCount() - start > kWaitMs)
                return false;
            Sleep(20);
        }
        return true;
    }

    // The run closed nothing it should not have and ended as an empty
    // folder box makes it end.
    static void ExpectEmptyFolderEnd(const Watch& w) {
        EXPECT_TRUE(w.retry);
        EXPECT_EQ(w.caption, "Install Kestrune");
        EXPECT_TRUE(w.boxes.empty()) << w.boxes[0].text;
    }
};

TEST_F(CloseApp, ClosesTheRunningProductFirst) {
    Process product;
    ASSERT_TRUE(product.Start(Source("kr.exe"), "", dist_));
    ASSERT_TRUE(WaitStandin());

    Watch w = PressWithEmptyFolder();
    ExpectEmptyFolderEnd(w);
    EXPECT_TRUE(w.sawClosing) << Joined(w.captions);
    // Its window went before the run ended; the process follows.
    EXPECT_TRUE(w.productGone);
    DWORD code = 99;
    EXPECT_TRUE(product.Wait(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(CloseApp, AsksThePreviousVersionToQuit) {
    Process old;
    ASSERT_TRUE(old.Start(ProductBuildDir() + "\\oldkr.exe", "", dist_));
    ASSERT_TRUE(WaitWindowOf("ThunderRT5Form", "Kestrune"));

    Watch w = PressWithEmptyFolder();
    ExpectEmptyFolderEnd(w);
    EXPECT_TRUE(w.sawClosing) << Joined(w.captions);
    EXPECT_EQ(WaitStandinLog(1), std::vector<std::string>{"msg=1039"});
    EXPECT_TRUE(old.Wait(kWaitMs, nullptr));
}

TEST_F(CloseApp, LeavesTheCaptionAloneWhenNothingRuns) {
    ASSERT_EQ(FindWindowA("KR_Editor", nullptr), nullptr);
    ASSERT_EQ(FindWindowA("ThunderRT5Form", "Kestrune"), nullptr);

    Watch w = PressWithEmptyFolder();
    ExpectEmptyFolderEnd(w);
    EXPECT_FALSE(w.sawClosing) << Joined(w.captions);
    EXPECT_EQ(Joined(w.captions), "[Install Kestrune]");
}

// The waits are bounded: a product that ignores WM_CLOSE keeps running and
// the run goes on regardless.
TEST_F(CloseApp, GoesOnWhenTheProductIgnoresTheRequest) {
    Process product; // killed on every way out: it would not close
    SetEnvironmentVariableA("KR_STANDIN_IGNORE_CLOSE", "1");
    bool started = product.Start(Source("kr.exe"), "", dist_);
    SetEnvironmentVariableA("KR_STANDIN_IGNORE_CLOSE", nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitStandin());

    DWORD pressed = GetTickCount();
    Watch w = PressWithEmptyFolder();
    printf("ignored close request: Retry after %lu ms\n",
           static_cast<unsigned long>(GetTickCount() - pressed));
    ExpectEmptyFolderEnd(w);
    EXPECT_TRUE(w.sawClosing) << Joined(w.captions);
    EXPECT_FALSE(w.productGone);
    EXPECT_TRUE(product.Running());
    product.Kill();
}

} // namespace
} // namespace e2e
