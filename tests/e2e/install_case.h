// Common ground of the install cases: destinations inside the case's
// scratch folder, the dialog's five options, and checks of what an install
// leaves behind (files, registry, links, the started product).
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "setup_case.h"

namespace e2e {

// The install dialog's options as bits of one mask.
enum Options : unsigned {
    kCopy = 1,
    kRegistry = 2,
    kStartMenu = 4,
    kStartUp = 8,
    kStart = 16,
    kAllOptions = 31,
};

struct OptionBox {
    unsigned option;
    int id;
};
inline constexpr OptionBox kOptionBoxes[] = {
    {kCopy, IDC_COPYFILES},  {kRegistry, IDC_REGISTRY}, {kStartMenu, IDC_STARTMENU},
    {kStartUp, IDC_STARTUP}, {kStart, IDC_STARTAPP},
};

// Every file of the install plan that lands in the destination folder
// ("pdh.dll" and "psapi.dll" only on Windows NT 4).
inline const char* const kPlanFiles[] = {
    "krhook20.dll",    "setup.exe",    "krcl.exe",     "kr.exe",
    "license.txt",     "typeinfo.ini", "winapiKR.txt", "krrecwin.txt",
    "Dialog Help.txt", "System.krl",   "Samples2.krl", "Convert old macros.krl",
    "List.krl",        "wininet.tlb",  "kr2help.hlp",  "pcrepattern.html",
};

inline const char kRetryText[] =
    "Please retry. If you are installing from WinZip, try to close it, or just restore minimized "
    "window. If error will appear again, then delete KR shortcut in StartUp folder and restart "
    "Windows.";
inline const char kRestartText[] =
    "Kestrune 2 is installed; files in use are replaced when Windows restarts.\r\nRestart now?";
inline const char kNotAllCopiedText[] = "Not all files have been copied. Continue setup?";
inline const char kSameFolderText[] =
    "Source and destination directories must be different.\r\nIf you want to uninstall KR, do it "
    "through Control Panel Add-Remove Programs.";
inline const char kReplacedHead[] =
    "Following files have been replaced (old files moved to Backup folder):\r\n";
inline const char kCopiedHead[] = "Following new files have been copied as \"Copy of...\":\r\n";

// A link's working folder may come back with or without its last backslash.
inline std::string Trimmed(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

// Writes `content` and dates the file back to 2001, so that neither its
// size nor its last-write time can match the distribution's file.
inline void WriteOldFile(const std::string& path, const std::string& content) {
    WriteFile(path, content);
    SYSTEMTIME st = {};
    st.wYear = 2001;
    st.wMonth = 2;
    st.wDay = 3;
    st.wHour = 4;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE f = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        SetFileTime(f, nullptr, nullptr, &ft);
        CloseHandle(f);
    }
}

// The two files hold the same bytes. A failure tells the sizes instead of
// dumping binary content.
inline ::testing::AssertionResult SameBytes(const std::string& file, const std::string& source) {
    std::string a = ReadFile(file);
    std::string b = ReadFile(source);
    if (a == b && FileExists(file))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << file << (FileExists(file) ? "" : " (missing)") << ": " << a.size()
           << " bytes, unlike " << source << ": " << b.size() << " bytes";
}

inline bool Contains(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (n == name)
            return true;
    return false;
}

class InstallCase : public SetupCase {
  protected:
    void SetUp() override {
        SetupCase::SetUp();
        scratch_ = dist_.substr(0, dist_.size() - 5); // less "\dist"
    }
    void TearDown() override {
        SetupCase::TearDown(); // stand-ins first: they hold their files
        RemoveTree(scratch_);
    }

    // A destination folder beside the case's distribution copy.
    std::string Dest(const char* name = "dest") const { return scratch_ + "\\" + name; }
    std::string Source(const char* file) const { return dist_ + "\\" + file; }

    // Starts setup.exe, types `folder` and sets the options of `options`.
    HWND Prepare(const std::string& folder, unsigned options) {
        dialog_ = StartSetup("", "Install Kestrune");
        if (!dialog_)
            return nullptr;
        SetItemText(dialog_, IDC_DESTDIR, folder);
        for (const OptionBox& b : kOptionBoxes)
            SetChecked(dialog_, b.id, (options & b.option) != 0);
        return dialog_;
    }

    // One whole install: start, type, choose, press, follow to the end.
    Run InstallWith(const std::string& folder, unsigned options,
                    int (*answer)(const Box&) = nullptr) {
        if (!Prepare(folder, options))
            return Run();
        return PressOk(dialog_, answer);
    }

    // An installation made by the program with nothing but its files.
    void EarlierInstall(const std::string& dest) {
        Run run = InstallWith(dest, kCopy);
        ASSERT_TRUE(run.ended) << "the earlier install did not end";
        ASSERT_TRUE(SameBytes(dest + "\\kr.exe", Source("kr.exe")));
    }

    static void ExpectCompleted(const Run& run) {
        EXPECT_TRUE(run.ended) << "button 1: " << run.button;
        EXPECT_EQ(run.exitCode, 0u);
    }
    // The dialog stayed, ready for another try.
    static void ExpectRetry(const Run& run) {
        EXPECT_FALSE(run.ended);
        EXPECT_EQ(run.button, "Retry");
        EXPECT_EQ(run.caption, "Install Kestrune");
    }

    // After its boxes the run went on with the dialog still disabled: a
    // click on OK or Cancel could not start a second install inside it or
    // end the dialog under it.
    static void ExpectDisabledAfterBoxes(const Run& run) {
        EXPECT_FALSE(run.boxes.empty());
        EXPECT_EQ(run.enabledAtLinks, 0)
            << (run.enabledAtLinks < 0 ? "the links phase was not seen"
                                       : "the dialog was enabled while links were made");
    }

    // True when one of the run's boxes has this caption and text.
    static bool HasBox(const Run& run, const std::string& caption, const std::string& text) {
        for (const Box& b : run.boxes)
            if (b.caption == caption && b.text == text)
                return true;
        return false;
    }
    // True when the run showed a box of the program's own from the copy
    // phase: the summary, the question, or the retry message. (Windows may
    // show the shell's error boxes besides; Wine's shell shows none.)
    static bool HasProgramBox(const Run& run) {
        for (const Box& b : run.boxes)
            if (b.caption == "Info" || b.caption == "Warning" || b.text == kRetryText)
                return true;
        return false;
    }

    // Every plan file in `dest` with the source's bytes.
    void ExpectFilesCopied(const std::string& dest) const {
        for (const char* f : kPlanFiles)
            EXPECT_TRUE(SameBytes(dest + "\\" + f, Source(f)));
    }

    // The install's registry values name `dest` (as the folder text).
    static void ExpectRegistered(const std::string& dest) {
        std::string v;
        EXPECT_TRUE(RegRead(HKEY_CURRENT_USER, kProductSettingsKey, "instdir", &v));
        EXPECT_EQ(v, dest);
        v.clear();
        EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kHelpKey, "kr2help.hlp", &v));
        EXPECT_EQ(v, dest);
        v.clear();
        EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", &v));
        EXPECT_EQ(v, "\"" + dest + "\\setup.exe\" uninstall");
        v.clear();
        EXPECT_TRUE(RegRead(HKEY_CLASSES_ROOT, "krlfile\\DefaultIcon", "", &v));
        EXPECT_EQ(v, dest + "\\kr.exe,5");
        v.clear();
        EXPECT_TRUE(RegRead(HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command", "", &v));
        EXPECT_EQ(v, "\"" + dest + "\\kr.exe\" \"%1\"");
        v.clear();
        EXPECT_TRUE(RegRead(HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import\\command", "", &v));
        EXPECT_EQ(v, "\"" + dest + "\\kr.exe\" LI \"%1\"");
        v.clear();
        EXPECT_TRUE(RegRead(HKEY_CLASSES_ROOT, ".krl", "", &v));
        EXPECT_EQ(v, "krlfile");
        EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kSchemeKey + std::string("\\KRmes")));
    }
    static void ExpectNotRegistered() {
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kProductSettingsKey));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallEntryKey));
        EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, kHelpKey, "kr2help.hlp", nullptr));
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ".krl"));
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "krlfile"));
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kSchemeKey));
    }

    // A link names its target twice: by its item ID list, whose names are
    // UTF-16, and by path text in an ANSI code page. Wine writes that text
    // in the code page of the program that saves the link (setup.exe: UTF-8)
    // and reads it in the reader's (this driver: 1252), where Windows also
    // stores it in UTF-16. So the text must hold the target's bytes in the
    // writer's code page: read back here through the driver's own.
    static void ExpectTarget(const Link& link, const std::string& expected) {
        EXPECT_EQ(link.idListTarget, expected);
        std::wstring read = Wide(link.target);
        std::string bytes(read.size() * 2, '\0');
        bytes.resize(static_cast<size_t>(
            WideCharToMultiByte(CP_ACP, 0, read.data(), static_cast<int>(read.size()), &bytes[0],
                                static_cast<int>(bytes.size()), nullptr, nullptr)));
        EXPECT_EQ(bytes, expected) << "path text read as " << link.target;
    }

    static std::string MenuFolder() { return ShellFolder("Programs") + "\\Kestrune 2"; }
    static std::string StartUpLink() { return ShellFolder("StartUp") + "\\Kestrune.lnk"; }

    static void ExpectStartMenuLinks(const std::string& dest) {
        const struct {
            const char* link;
            const char* target;
            const char* arguments;
        } kLinks[] = {
            {"Kestrune.lnk", "kr.exe", ""},
            {"Help.lnk", "kr2help.hlp", ""},
            {"Uninstall.lnk", "setup.exe", "uninstall"},
        };
        for (const auto& l : kLinks) {
            SCOPED_TRACE(l.link);
            Link link = ReadLink(MenuFolder() + "\\" + l.link);
            EXPECT_TRUE(link.ok) << l.link;
            ExpectTarget(link, dest + "\\" + l.target);
            EXPECT_EQ(link.arguments, l.arguments) << l.link;
            EXPECT_EQ(Trimmed(link.workingDir), Trimmed(dest + "\\")) << l.link;
        }
    }
    static void ExpectStartUpLink(const std::string& dest) {
        Link link = ReadLink(StartUpLink());
        EXPECT_TRUE(link.ok);
        ExpectTarget(link, dest + "\\kr.exe");
        EXPECT_EQ(link.arguments, "S");
        EXPECT_EQ(Trimmed(link.workingDir), Trimmed(dest + "\\"));
    }

    // The product was started from `dest` with "V": its log's last line.
    // setup.exe runs elevated and starts it through the desktop shell, so
    // it is not setup.exe's child: it runs with the rights of the user.
    void ExpectStarted(const std::string& dest, size_t lines = 1) {
        ASSERT_TRUE(WaitStandin()) << "the product was not started";
        std::vector<std::string> log = WaitStandinLog(lines);
        ASSERT_EQ(log.size(), lines);
        EXPECT_EQ(StartPlace(log.back()), "cmdline=V|cwd=" + Trimmed(dest + "\\"));
        ExpectNotSetupsChild(log.back());
    }
    void ExpectNotSetupsChild(const std::string& line) const {
        std::string parent = StartField(line, "parent");
        EXPECT_NE(parent, "") << line;
        EXPECT_NE(parent, "0") << line;
        EXPECT_NE(parent, std::to_string(setup_.Id())) << "started by setup.exe: " << line;
    }
    // Nothing started: the program has ended (or stopped), and a start it
    // had made would be seen within this bound.
    void ExpectNotStarted() const {
        Sleep(1000);
        EXPECT_EQ(FindWindowA("KR_Editor", nullptr), nullptr);
        std::vector<std::string> log = StandinLog(log_);
        EXPECT_TRUE(log.empty()) << log[0];
    }

    // Each phase of `options` left its traces in `dest`, every other none.
    // The copy phase is told by "license.txt": the source's bytes when the
    // phase ran, else the `oldLicense` left in place.
    void ExpectPhases(const std::string& dest, unsigned options, const std::string& oldLicense) {
        {
            SCOPED_TRACE("copy phase");
            EXPECT_EQ(ReadFile(dest + "\\license.txt"),
                      options & kCopy ? ReadFile(Source("license.txt")) : oldLicense);
        }
        {
            SCOPED_TRACE("registry phase");
            if (options & kRegistry)
                ExpectRegistered(dest);
            else
                ExpectNotRegistered();
        }
        {
            SCOPED_TRACE("Start Menu phase");
            if (options & kStartMenu)
                ExpectStartMenuLinks(dest);
            else
                EXPECT_FALSE(FolderExists(MenuFolder()));
        }
        {
            SCOPED_TRACE("StartUp phase");
            if (options & kStartUp)
                ExpectStartUpLink(dest);
            else
                EXPECT_FALSE(FileExists(StartUpLink()));
        }
        {
            SCOPED_TRACE("start phase");
            if (options & kStart)
                ExpectStarted(dest);
            else
                ExpectNotStarted();
        }
    }

    std::string scratch_; // C:\kr-e2e\<case>, removed at the end
};

} // namespace e2e
