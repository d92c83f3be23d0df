// The uninstall sequence end to end: an install made by driving setup.exe,
// then the installed setup.exe started with "uninstall", the way the
// uninstall entry and the Uninstall link start it. The registration goes,
// the links go, every installed file stays.
#include "setup_case.h"

#include <ctype.h>
#include <stdio.h>

#include <algorithm>
#include <set>

namespace e2e {
namespace {

const char kQuestion[] =
    "Can't delete KR folder. You should delete it manually.\r\nOpen KR folder in Explorer?";
const char kQuestionCaption[] = "Delete KR files";
const char* const kMenuLinks[] = {"Kestrune.lnk", "Help.lnk", "Uninstall.lnk"};

// Every entry below `root`: relative path, size and write time, so that a
// file replaced by another of the same name also shows.
void ListTree(const std::string& root, const std::string& rel, std::vector<std::string>* out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(root + rel + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = Utf8(fd.cFileName);
        if (name == "." || name == "..")
            continue;
        char line[1200];
        snprintf(line, sizeof line, "%s\\%s|%lu|%lu:%lu", rel.c_str(), name.c_str(),
                 fd.nFileSizeLow, fd.ftLastWriteTime.dwHighDateTime,
                 fd.ftLastWriteTime.dwLowDateTime);
        out->push_back(line);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(root, rel + "\\" + name, out);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(out->begin(), out->end());
}

std::vector<std::string> Tree(const std::string& root) {
    std::vector<std::string> all;
    ListTree(root, "", &all);
    std::sort(all.begin(), all.end());
    return all;
}

class Uninstall : public SetupCase {
  protected:
    void TearDown() override {
        SetupCase::TearDown();
        RemoveTree(Menu() + ".old");
        RemoveTree(dist_ + "\\.."); // the case's scratch folder: dist, dest, log
    }

    std::string Dest() const { return dist_ + "\\..\\dest"; }
    static std::string Menu() { return ShellFolder("Programs") + "\\Kestrune 2"; }
    static std::string StartUpLink() { return ShellFolder("StartUp") + "\\Kestrune.lnk"; }

    // Installs into `dest` through the install dialog; the product that the
    // install starts is closed again unless it is wanted.
    void InstallInto(const std::string& dest, bool keepProduct = false) {
        Run run = Install(dest);
        ASSERT_TRUE(run.ended) << (run.boxes.empty() ? run.caption : run.boxes[0].text);
        ASSERT_TRUE(run.boxes.empty()) << run.boxes[0].text;
        ASSERT_TRUE(FileExists(dest + "\\setup.exe"));
        ASSERT_TRUE(WaitStandin());
        if (!keepProduct)
            CloseStandins();
        for (const RegKey& k : ProductKeys())
            ASSERT_TRUE(RegKeyExists(k.root, k.path)) << k.path;
        for (const char* link : kMenuLinks)
            ASSERT_TRUE(FileExists(Menu() + "\\" + link)) << link;
        ASSERT_TRUE(FileExists(StartUpLink()));
    }

    // What one uninstall run showed.
    struct Outcome {
        Box question;
        std::vector<Box> others;  // boxes other than the question
        std::string caption;      // the dialog's caption while the question shows
        bool productLeft = false; // a product window still existed then
        bool ended = false;
        DWORD exitCode = 99;
    };

    // Starts `folder`\setup.exe with "uninstall", presses OK and answers
    // the closing question with `answer`. `atQuestion` runs while it shows.
    Outcome UninstallFrom(const std::string& folder, int answer,
                          void (*atQuestion)(void*) = nullptr, void* context = nullptr) {
        Outcome o;
        Process setup;
        EXPECT_TRUE(setup.Start(folder + "\\setup.exe", "uninstall", folder));
        HWND dialog = setup.WaitWindow("#32770", "Uninstall Kestrune");
        EXPECT_NE(dialog, nullptr) << "no uninstall dialog";
        if (!dialog)
            return o;
        Press(dialog, IDOK);
        for (int i = 0; i < 5; i++) {
            Box box = WaitMessageBox(setup, dialog);
            if (!box) {
                ADD_FAILURE() << "no closing question";
                return o;
            }
            if (box.caption != kQuestionCaption) {
                o.others.push_back(box);
                box.Answer(IDOK);
                WaitGone(box.window, 5000);
                continue;
            }
            o.question = box;
            o.caption = Text(dialog);
            o.productLeft = FindWindowA("KR_Editor", nullptr) != nullptr;
            if (atQuestion)
                atQuestion(context);
            box.Answer(answer);
            break;
        }
        o.ended = setup.Wait(kWaitMs, &o.exitCode);
        return o; // a program that did not end is killed with `setup`
    }

    static void ExpectQuestion(const Outcome& o) {
        EXPECT_EQ(o.question.caption, kQuestionCaption);
        EXPECT_EQ(o.question.text, kQuestion);
        EXPECT_TRUE(o.others.empty()) << o.others[0].caption << ": " << o.others[0].text;
        EXPECT_EQ(o.caption, "Kestrune uninstalled");
        EXPECT_TRUE(o.ended);
        EXPECT_EQ(o.exitCode, 0u);
    }

    static void ExpectUnregistered() {
        for (const RegKey& k : ProductKeys())
            EXPECT_FALSE(RegKeyExists(k.root, k.path)) << k.path;
        EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, kHelpKey, "kr2help.hlp", nullptr));
        for (const RegKey& k : kParentKeys)
            EXPECT_TRUE(RegKeyExists(k.root, k.path)) << k.path;
    }
};

TEST_F(Uninstall, RemovesRegistrationAndLinksAndKeepsEveryInstalledFile) {
    ASSERT_NO_FATAL_FAILURE(InstallInto(Dest()));
    // Sounds the user chose and the product's toolbar layout go as well.
    for (const Sound& e : kSounds) {
        RegWrite(HKEY_CURRENT_USER, SchemeKey(e) + "\\.current", "",
                 "C:\\Windows\\Media\\ding.wav");
        RegWrite(HKEY_CURRENT_USER, SchemeKey(e) + "\\.default", "",
                 "C:\\Windows\\Media\\chord.wav");
    }
    RegWrite(HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars", "main", "1 2 3");
    std::vector<std::string> before = Tree(Dest());
    ASSERT_GT(before.size(), 15u);

    Outcome o = UninstallFrom(Dest(), IDNO);
    ExpectQuestion(o);
    ExpectUnregistered();
    for (const Sound& e : kSounds) {
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, SchemeKey(e) + "\\.current")) << e.name;
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, SchemeKey(e) + "\\.default")) << e.name;
    }
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_EQ(Tree(Dest()), before);
    EXPECT_FALSE(FolderExists(Menu()));
    EXPECT_FALSE(FileExists(StartUpLink()));
}

TEST_F(Uninstall, ProductKeyWithAnotherSubkeyStays) {
    ASSERT_NO_FATAL_FAILURE(InstallInto(Dest()));
    RegWrite(HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars", "main", "1 2 3");
    RegWrite(HKEY_CURRENT_USER, std::string(kProductKey) + "\\macros", "last", "List.krl");
    Outcome o = UninstallFrom(Dest(), IDNO);
    ExpectQuestion(o);
    ExpectUnregistered();
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, std::string(kProductKey) + "\\toolbars"));
    std::string v;
    EXPECT_TRUE(RegRead(HKEY_CURRENT_USER, std::string(kProductKey) + "\\macros", "last", &v));
    EXPECT_EQ(v, "List.krl");
}

TEST_F(Uninstall, SecondRunFindsNothingAndAsksAgain) {
    ASSERT_NO_FATAL_FAILURE(InstallInto(Dest()));
    std::vector<std::string> before = Tree(Dest());
    for (int run = 1; run <= 2; run++) {
        SCOPED_TRACE(run);
        Outcome o = UninstallFrom(Dest(), IDNO);
        ExpectQuestion(o);
        ExpectUnregistered();
        EXPECT_EQ(Tree(Dest()), before);
        EXPECT_FALSE(FolderExists(Menu()));
        EXPECT_FALSE(FileExists(StartUpLink()));
    }
}

TEST_F(Uninstall, ClosesTheRunningProductFirst) {
    ASSERT_NO_FATAL_FAILURE(InstallInto(Dest(), true));
    ASSERT_NE(FindWindowA("KR_Editor", nullptr), nullptr);
    Outcome o = UninstallFrom(Dest(), IDNO);
    ExpectQuestion(o);
    EXPECT_FALSE(o.productLeft);
    // It was asked to close, not killed and restarted: one start only.
    std::vector<std::string> log = StandinLog(log_);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].substr(0, 10), "cmdline=V|");
    ExpectUnregistered();
}

// The top-level windows shown now, of every process.
struct Shown {
    HWND window;
    DWORD pid;
    std::string title, cls;
};

BOOL CALLBACK CollectShown(HWND w, LPARAM lp) {
    if (!IsWindowVisible(w))
        return TRUE;
    Shown s;
    s.window = w;
    GetWindowThreadProcessId(w, &s.pid);
    char cls[128] = "";
    GetClassNameA(w, cls, sizeof cls);
    s.cls = cls;
    s.title = Text(w);
    reinterpret_cast<std::vector<Shown>*>(lp)->push_back(s);
    return TRUE;
}

std::vector<Shown> ShownWindows() {
    std::vector<Shown> all;
    EnumWindows(CollectShown, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ProcessImage(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p)
        return "?";
    char path[MAX_PATH] = "";
    DWORD n = sizeof path;
    if (!QueryFullProcessImageNameA(p, 0, path, &n))
        path[0] = 0;
    CloseHandle(p);
    return path;
}

void RememberShown(void* context) {
    for (const Shown& s : ShownWindows())
        static_cast<std::set<HWND>*>(context)->insert(s.window);
}

// The windows shown since `old` whose title holds `part` (ASCII letters in
// any case), once there is one (bounded wait).
std::vector<Shown> NewWindowsNaming(const std::set<HWND>& old, const std::string& part) {
    std::vector<Shown> found;
    DWORD start = GetTickCount();
    while (found.empty() && GetTickCount() - start < kWaitMs) {
        Sleep(100);
        for (const Shown& s : ShownWindows()) {
            if (!old.count(s.window) && Lower(s.title).find(part) != std::string::npos)
                found.push_back(s);
        }
    }
    return found;
}

// Started from another folder (here the distribution folder), the
// uninstall offers that folder, not the install folder: the program knows
// only its own. What Explorer shows is Wine's own; it is recorded.
TEST_F(Uninstall, YesExploresTheFolderOfTheRunningCopy) {
    ASSERT_NO_FATAL_FAILURE(InstallInto(Dest()));
    std::vector<std::string> before = Tree(Dest());
    std::set<HWND> old;
    Outcome o = UninstallFrom(dist_, IDYES, RememberShown, &old);
    ExpectQuestion(o);
    ExpectUnregistered();
    EXPECT_EQ(Tree(Dest()), before);

    // A new window of another process that names the folder "dist".
    std::vector<Shown> explorer = NewWindowsNaming(old, "dist");
    ASSERT_FALSE(explorer.empty()) << "no window names the folder";
    for (const Shown& s : explorer) {
        printf("Explore showed: title \"%s\", class \"%s\", process %s\n", s.title.c_str(),
               s.cls.c_str(), ProcessImage(s.pid).c_str());
        RecordProperty("explorer_title", s.title);
        EXPECT_EQ(Lower(s.title).find("dest"), std::string::npos) << s.title;
    }
    for (const Shown& s : explorer) {
        PostMessageA(s.window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitGone(s.window, 10000));
    }
}

// Installed into a folder named in other scripts, with the Start Menu and
// StartUp folders in a profile of such a name: the uninstall started from
// the installed copy removes the links there and offers that folder.
class UnicodeUninstall : public Uninstall {};

TEST_F(UnicodeUninstall, RemovesTheLinksAndExploresTheFolder) {
    std::string scratch = dist_.substr(0, dist_.size() - 5); // less "\\dist"
    UseProfile(scratch + "\\users\\" + kUser);
    std::string dest = scratch + "\\" + kScripts;
    ASSERT_NO_FATAL_FAILURE(InstallInto(dest));
    ASSERT_EQ(Menu(), scratch + "\\users\\" + kUser + "\\Start Menu\\Programs\\Kestrune 2");
    std::vector<std::string> before = Tree(dest);
    std::set<HWND> old;
    Outcome o = UninstallFrom(dest, IDYES, RememberShown, &old);
    ExpectQuestion(o);
    ExpectUnregistered();
    EXPECT_EQ(Tree(dest), before);
    EXPECT_FALSE(FolderExists(Menu()));
    EXPECT_FALSE(FileExists(StartUpLink()));

    std::vector<Shown> explorer = NewWindowsNaming(old, kScripts);
    ASSERT_FALSE(explorer.empty()) << "no window names the folder";
    for (const Shown& s : explorer) {
        printf("Explore showed: title \"%s\", class \"%s\", process %s\n", s.title.c_str(),
               s.cls.c_str(), ProcessImage(s.pid).c_str());
        PostMessageA(s.window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitGone(s.window, 10000));
    }
}

class UninstallLinks : public Uninstall {};

// The Start Menu folder as the user may have left it, and what the
// uninstall makes of it. The links always go; the folder goes when no file
// is directly in it, and then everything still in it goes along, unless the
// running setup.exe (the installed copy) lies in it.
TEST_F(UninstallLinks, StartMenuFolderShapes) {
    const struct {
        const char* name;
        bool intoMenu;                   // installed into Menu()\Program
        std::vector<const char*> remove; // entries of Menu() removed after the install
        std::vector<const char*> dirs;   // folders made in Menu()
        std::vector<const char*> files;  // files written in Menu()
        bool menuStays;
        std::vector<const char*> kept; // entries of Menu() still there
    } kCases[] = {
        {"a file of the user's keeps the folder",
         false,
         {},
         {},
         {"notes.txt"},
         true,
         {"notes.txt"}},
        {"only subfolders: removed with them",
         false,
         {},
         {"Extras", "Extras\\More"},
         {"Extras\\readme.txt", "Extras\\More\\deep.txt"},
         false,
         {}},
        // A folder named like a link is no link and stays...
        {"folder named like a link, beside a file",
         false,
         {"Help.lnk"},
         {"Help.lnk"},
         {"Help.lnk\\inside.txt", "notes.txt"},
         true,
         {"Help.lnk", "Help.lnk\\inside.txt"}},
        // ... but it is not a file either: the folder holds none and goes.
        {"folder named like a link, alone",
         false,
         {"Help.lnk"},
         {"Help.lnk"},
         {"Help.lnk\\inside.txt"},
         false,
         {}},
        {"no Start Menu folder", false, {""}, {}, {}, false, {}},
        // No file is directly in it, but the installed files are below it.
        {"installed inside the Start Menu folder", true, {}, {}, {}, true, {"Program"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ForgetInstall();
        RemoveLinks();
        RemoveTree(Dest());
        RemoveTree(Menu() + ".old");
        std::string dest = Dest();
        if (c.intoMenu) {
            MakeFolders(Menu()); // the install makes only the last folder of the path
            dest = Menu() + "\\Program";
        }
        ASSERT_NO_FATAL_FAILURE(InstallInto(dest));
        for (const char* entry : c.remove)
            RemoveTree(*entry ? Menu() + "\\" + entry : Menu());
        for (const char* dir : c.dirs)
            MakeFolders(Menu() + "\\" + dir);
        for (const char* file : c.files)
            WriteFile(Menu() + "\\" + file, "the user's");
        // Beside the folder, a sibling that is none of the program's.
        MakeFolders(Menu() + ".old");
        WriteFile(Menu() + ".old\\Kestrune.lnk", "old");
        std::vector<std::string> installed = Tree(dest);

        Outcome o = UninstallFrom(dest, IDNO);
        ExpectQuestion(o);
        EXPECT_EQ(Tree(dest), installed);
        EXPECT_FALSE(FileExists(StartUpLink()));
        EXPECT_TRUE(FileExists(Menu() + ".old\\Kestrune.lnk"));
        EXPECT_EQ(FolderExists(Menu()), c.menuStays);
        for (const char* link : kMenuLinks) {
            bool kept = std::find_if(c.kept.begin(), c.kept.end(), [link](const char* k) {
                            return std::string(k) == link;
                        }) != c.kept.end();
            if (!kept) {
                EXPECT_FALSE(FileExists(Menu() + "\\" + link)) << link;
            }
        }
        for (const char* entry : c.kept) {
            EXPECT_TRUE(FileExists(Menu() + "\\" + entry) || FolderExists(Menu() + "\\" + entry))
                << entry;
        }
        for (const char* file : c.files) {
            if (c.menuStays) {
                EXPECT_EQ(ReadFile(Menu() + "\\" + file), "the user's") << file;
            }
        }
    }
}

} // namespace
} // namespace e2e
