// Unattended runs as a deployment tool makes them: setup.exe with "/S",
// no one at the screen. No window may show, the product is not started, the
// outcome is the exit code, and the log tells what happened.
#include "install_case.h"

namespace e2e {
namespace {

const char kCommonFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The progress steps of an install into a folder without a running product.
const char* const kInstallSteps[] = {
    "Copying dll files",          "Copying exe files",        "Copying icon files",
    "Copying text and ini files", "Copying macro list files", "Copying type library files",
    "Copying help files",         "Updating Registry",        "Creating Shortcuts",
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    if (at < text.size())
        lines.push_back(text.substr(at) + " (no line end)");
    return lines;
}

std::string CommonFolder(const char* name) {
    std::string v;
    RegRead(HKEY_LOCAL_MACHINE, kCommonFolders, name, &v);
    return v;
}

class Unattended : public InstallCase {
  protected:
    void TearDown() override {
        RemoveTree(CommonFolder("Common Programs") + "\\Kestrune 2");
        RemoveTree(CommonFolder("Common Startup") + "\\Kestrune.lnk");
        DeleteFileW(Wide(TempLog()).c_str());
        InstallCase::TearDown();
    }

    QuietRun Silent(const std::string& args) { return RunQuiet(SetupExe(), args, dist_); }
    std::string Log() const { return scratch_ + "\\setup log.txt"; }
    static std::string TempLog() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        return Utf8(temp) + "Kestrune 2 Setup.log";
    }

    static void ExpectQuiet(const QuietRun& run, DWORD code) {
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, code);
        for (const std::string& w : run.shown)
            ADD_FAILURE() << "a window showed: " << w;
    }
    // The log's last line names the exit code.
    static void ExpectLogEnd(const std::string& path, DWORD code) {
        std::vector<std::string> lines = Lines(ReadFile(path));
        ASSERT_FALSE(lines.empty()) << path;
        EXPECT_EQ(lines.back(), "Exit code " + std::to_string(code)) << path;
    }
    // The links of an install, where `allUsers` says, and none elsewhere.
    static void ExpectLinks(const std::string& dest, bool allUsers) {
        std::string menu = CommonFolder("Common Programs") + "\\Kestrune 2";
        std::string startUp = CommonFolder("Common Startup") + "\\Kestrune.lnk";
        if (allUsers) {
            for (const char* link : {"Kestrune.lnk", "Help.lnk", "Uninstall.lnk"}) {
                Link l = ReadLink(menu + "\\" + link);
                EXPECT_TRUE(l.ok) << link;
                EXPECT_EQ(Trimmed(l.workingDir), dest) << link;
            }
            EXPECT_EQ(ReadLink(startUp).arguments, "S");
            EXPECT_FALSE(FolderExists(MenuFolder()));
            EXPECT_FALSE(FileExists(StartUpLink()));
        } else {
            ExpectStartMenuLinks(dest);
            ExpectStartUpLink(dest);
            EXPECT_FALSE(FolderExists(menu));
            EXPECT_FALSE(FileExists(startUp));
        }
    }
    static void ExpectNoLinks() {
        EXPECT_FALSE(FolderExists(MenuFolder()));
        EXPECT_FALSE(FileExists(StartUpLink()));
        EXPECT_FALSE(FolderExists(CommonFolder("Common Programs") + "\\Kestrune 2"));
        EXPECT_FALSE(FileExists(CommonFolder("Common Startup") + "\\Kestrune.lnk"));
    }
};

TEST_F(Unattended, InstallsIntoANewFolderWithoutAWindowAndLogsEachStep) {
    std::string dest = Dest("new folder");
    std::string args = "/S /LOG=\"" + Log() + "\" /D=" + dest;
    QuietRun run = Silent(args);
    ExpectQuiet(run, 0);
    ExpectFilesCopied(dest);
    ExpectRegistered(dest);
    std::string quiet;
    EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "QuietUninstallString", &quiet));
    EXPECT_EQ(quiet, "\"" + dest + "\\setup.exe\" uninstall /S");
    ExpectLinks(dest, false);
    ExpectNotStarted();

    std::vector<std::string> expected = {"Command line: " + args};
    expected.insert(expected.end(), std::begin(kInstallSteps), std::end(kInstallSteps));
    expected.push_back("Exit code 0");
    EXPECT_EQ(Lines(ReadFile(Log())), expected);
}

// Over an installation whose macro lists the user changed: the same policy
// as the dialog's, and the summary, shown to no one, in the log.
TEST_F(Unattended, OverAChangedInstallKeepsTheUsersListAndLogsTheSummary) {
    std::string dest = Dest();
    ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
    WriteOldFile(dest + "\\System.krl", "the user's System.krl\r\n");
    WriteOldFile(dest + "\\List.krl", "the user's own List.krl\r\n");

    QuietRun run = Silent("/S /LOG=" + scratch_ + "\\setup.log /D=\"" + dest + "\"");
    ExpectQuiet(run, 0);
    EXPECT_EQ(ReadFile(dest + "\\List.krl"), "the user's own List.krl\r\n");
    EXPECT_TRUE(SameBytes(dest + "\\Copy of List.krl", Source("List.krl")));
    EXPECT_EQ(ReadFile(dest + "\\Backup\\System.krl"), "the user's System.krl\r\n");
    EXPECT_TRUE(SameBytes(dest + "\\System.krl", Source("System.krl")));
    ExpectRegistered(dest);
    ExpectNotStarted();
    std::vector<std::string> log = Lines(ReadFile(scratch_ + "\\setup.log"));
    EXPECT_TRUE(Contains(log, "Message box \"Info\" answered OK: Following files have been "
                              "replaced (old files moved to Backup folder): | System.krl | "
                              "Following new files have been copied as \"Copy of...\": | List.krl"))
        << ReadFile(scratch_ + "\\setup.log");
    ExpectLogEnd(scratch_ + "\\setup.log", 0);
}

// The Apps entry's quiet command, run as the system runs a stored command,
// after an install for the user and after one for all users: the links go
// from wherever they are, the registration goes, every file stays.
TEST_F(Unattended, TheQuietUninstallRemovesTheLinksOfEitherInstall) {
    for (bool allUsers : {false, true}) {
        SCOPED_TRACE(allUsers ? "all users" : "the user");
        std::string dest = Dest(allUsers ? "all" : "user");
        // A log that cannot be written stops nothing.
        QuietRun install = Silent(std::string("/S ") + (allUsers ? "/ALLUSERS " : "") +
                                  "/LOG=" + scratch_ + "\\missing\\setup.log /D=" + dest);
        ExpectQuiet(install, 0);
        ExpectLinks(dest, allUsers);
        ExpectRegistered(dest);
        std::vector<std::string> files = ListFolder(dest);
        ASSERT_GT(files.size(), 15u);

        std::string quiet;
        ASSERT_TRUE(
            RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "QuietUninstallString", &quiet));
        QuietRun uninstall = RunQuiet("", quiet, dist_);
        ExpectQuiet(uninstall, 0);
        ExpectNotRegistered();
        ExpectNoLinks();
        EXPECT_EQ(ListFolder(dest), files);
        ExpectLogEnd(TempLog(), 0);
        std::vector<std::string> log = Lines(ReadFile(TempLog()));
        EXPECT_TRUE(Contains(log, "Message box \"Delete KR files\" answered No: Can't delete KR "
                                  "folder. You should delete it manually. | Open KR folder in "
                                  "Explorer?"))
            << ReadFile(TempLog());
    }
}

// Each exit code a deployment tool acts on, with nothing changed where
// nothing may change: a line not understood touches neither the
// installation there is nor the folder it names.
TEST_F(Unattended, EachFailureHasItsExitCodeAndChangesNothingItMustNot) {
    std::string dest = Dest();
    ASSERT_NO_FATAL_FAILURE(ExpectQuiet(Silent("/S /D=" + dest), 0));
    const std::string other = Dest("other");
    // "@" stands for the log switch.
    const struct {
        const char* what;
        std::string args;
        DWORD code;
    } kCases[] = {
        {"an unknown switch", "/S @ /X /D=" + other, 1639},
        {"a folder that is no full path", "/S @ /D=other", 1639},
        {"a quoted switch", "/S @ \"/D=" + other + "\"", 1639},
        {"a folder on an uninstall", "uninstall /S @ /D=" + other, 1639},
        {"uninstall after a switch", "/S @ uninstall", 1639},
        {"a switch twice", "/S @ /S /D=" + other, 1639},
        {"a drive root", "/S @ /D=C:\\", 1639},
        {"a log path without its closing quote", "uninstall /S @ /LOG=\"C:\\kr.log", 1639},
        {"a destination under a missing folder", "/S @ /D=" + scratch_ + "\\missing\\dest", 1603},
        {"the setup folder as destination", "/S @ /D=" + dist_, 1603},
    };
    std::vector<std::string> distFiles = ListFolder(dist_);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        std::string args = c.args;
        args.replace(args.find('@'), 1, "/LOG=\"" + Log() + "\"");
        QuietRun run = Silent(args);
        ExpectQuiet(run, c.code);
        ExpectLogEnd(Log(), c.code);
        EXPECT_FALSE(FolderExists(other));
        EXPECT_FALSE(FolderExists(scratch_ + "\\missing"));
        EXPECT_EQ(ListFolder(dist_), distFiles);
        ExpectRegistered(dest);
        ExpectLinks(dest, false);
    }

    // A file that cannot be copied: the question is answered No, and the
    // registration of the earlier install stays as it was.
    ASSERT_TRUE(DeleteFileA(Source("license.txt").c_str()));
    QuietRun missing = Silent("/S /LOG=\"" + Log() + "\" /D=" + other);
    ExpectQuiet(missing, 1603);
    std::vector<std::string> log = Lines(ReadFile(Log()));
    EXPECT_TRUE(Contains(log, "Message box \"Warning\" answered No: Not all files have been "
                              "copied. Continue setup?"))
        << ReadFile(Log());
    const std::string notCopied = "Not copied: license.txt (error 0x";
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& l) { return l.rfind(notCopied, 0) == 0; }),
              1)
        << ReadFile(Log());
    EXPECT_TRUE(FileExists(other + "\\pcrepattern.html"));
    ExpectRegistered(dest);
    RemoveTree(other);

    // Another setup.exe runs: a tool tries again later. Its log is the
    // user's temporary folder's.
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    QuietRun second = Silent("/S /D=" + other);
    ExpectQuiet(second, 1618);
    ExpectLogEnd(TempLog(), 1618);
    EXPECT_FALSE(FolderExists(other));
    CancelAndExpectExit(dialog);
    // So does one in another session: it holds the global guard.
    HANDLE global = CreateMutexA(nullptr, TRUE, "Global\\KRSetup_InstMutex.");
    ASSERT_NE(global, nullptr);
    ExpectQuiet(Silent("/S /D=" + other), 1618);
    CloseHandle(global);
    EXPECT_FALSE(FolderExists(other));
}

// An upgrade under another account finds the install through the Apps
// entry: here the user's own "instdir" is gone. Without its links, as
// asked.
TEST_F(Unattended, AnUpgradeWithoutTheUsersSettingsLandsInTheInstalledFolder) {
    std::string dest = Dest("first");
    ASSERT_NO_FATAL_FAILURE(ExpectQuiet(Silent("/S /D=" + dest), 0));
    DeleteRegTree(HKEY_CURRENT_USER, kProductSettingsKey);
    RemoveLinks();
    ExpectQuiet(Silent("/S /NOSTARTMENU /NOSTARTUP"), 0);
    ExpectRegistered(dest);
    std::string location;
    EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "InstallLocation", &location));
    EXPECT_EQ(location, dest + "\\");
    EXPECT_FALSE(FolderExists("C:\\Program Files\\Kestrune 2"));
    ExpectNoLinks();
}

// A link that cannot be saved (its folder's name is a file's): the run
// makes every later step and then fails, naming the link. A log path that
// is a second name of another file leaves that file alone.
TEST_F(Unattended, AFailedLinkFailsTheRunAndAHardLinkedLogIsNotWritten) {
    UseProfile(scratch_ + "\\profile");
    WriteFile(MenuFolder(), "a file of the user's");
    const std::string kept = scratch_ + "\\kept.txt";
    WriteFile(kept, "not a log");
    ASSERT_TRUE(CreateHardLinkW(Wide(Log()).c_str(), Wide(kept).c_str(), nullptr));
    std::string dest = Dest();
    ExpectQuiet(Silent("/S /LOG=\"" + TempLog() + "\" /D=" + dest), 1603);
    std::vector<std::string> log = Lines(ReadFile(TempLog()));
    EXPECT_TRUE(Contains(log, "Not saved: " + MenuFolder() + "\\Kestrune.lnk (6)"))
        << ReadFile(TempLog());
    ExpectLogEnd(TempLog(), 1603);
    ExpectStartUpLink(dest);
    ExpectRegistered(dest);
    EXPECT_EQ(ReadFile(MenuFolder()), "a file of the user's");

    ExpectQuiet(Silent("/S /LOG=\"" + Log() + "\" /D=" + dest), 1603);
    EXPECT_EQ(ReadFile(kept), "not a log");
    RemoveTree(MenuFolder());
}

// The log is UTF-8 whatever the system's code page: here a copy of
// setup.exe whose manifest does not make UTF-8 its code page, so that it
// runs in the test prefix's Western code page.
TEST_F(Unattended, TheLogIsUtf8InAWesternCodePage) {
    std::string exe = ReadFile(SetupExe());
    size_t at = exe.find("<activeCodePage");
    ASSERT_NE(at, std::string::npos);
    exe.replace(at, 15, "<activeCodeXage");
    at = exe.find("</activeCodePage");
    ASSERT_NE(at, std::string::npos);
    exe.replace(at, 16, "</activeCodeXage");
    WriteFile(SetupExe(), exe);

    std::string dest = Dest(u8"Café");
    std::string args = "/S /LOG=\"" + Log() + "\" /D=" + dest;
    QuietRun run = Silent(args);
    ExpectQuiet(run, 0);
    EXPECT_TRUE(FileExists(dest + "\\kr.exe"));
    EXPECT_EQ(Lines(ReadFile(Log())).front(), "Command line: " + args);
}

// An upgrade over a running product: the product runs from the folder,
// ignores the request to close and holds its hook library loaded, and a
// reader holds "license.txt" open without delete sharing. The restart
// between the two suites is the prefix's own (tests/e2e/restart.sh): its
// server and every program in it end, and the next start carries out what
// the install left for it. The folders live outside the cases' scratch.
const char kUpgrades[] = "C:\\kr-e2e-restart";
const char kUsersList[] = "the user's own List.krl\r\n";
const char kEarlierBackup[] = "an earlier backup of System.krl\r\n";

std::string OldBytes(const char* file) {
    return std::string("the old ") + file;
}

class FilesInUse : public Unattended {};

int AnswerNo(const Box& box) {
    return GetDlgItem(box.window, IDNO) ? IDNO : IDOK;
}

TEST_F(FilesInUse, UpgradesOverTheRunningProductWaitForTheRestart) {
    RemoveTree(kUpgrades);
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "dialog");
        std::string dest = std::string(kUpgrades) + (silent ? "\\silent" : "\\dialog");
        MakeFolders(kUpgrades);
        ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
        for (const char* f : {"kr.exe", "krhook20.dll"}) // a PE file runs with trailing data
            WriteFile(dest + "\\" + f, ReadFile(dest + "\\" + f) + OldBytes(f));
        WriteOldFile(dest + "\\license.txt", OldBytes("license.txt"));
        WriteOldFile(dest + "\\List.krl", kUsersList);
        MakeFolders(dest + "\\Backup");
        WriteFile(dest + "\\Backup\\System.krl", kEarlierBackup);
        Process product;
        SetEnvironmentVariableA("KR_STANDIN_IGNORE_CLOSE", "1");
        SetEnvironmentVariableA("KR_STANDIN_NO_MUTEX", "1");
        ASSERT_TRUE(product.Start(dest + "\\kr.exe", "", dest));
        SetEnvironmentVariableA("KR_STANDIN_IGNORE_CLOSE", nullptr);
        SetEnvironmentVariableA("KR_STANDIN_NO_MUTEX", nullptr);
        ASSERT_EQ(WaitStandinLog(1).size(), 1u);
        HANDLE reader = CreateFileA((dest + "\\license.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);

        if (silent) {
            ExpectQuiet(Silent("/S /NORESTART /LOG=\"" + Log() + "\" /D=" + dest), 3010);
            std::vector<std::string> log = Lines(ReadFile(Log()));
            for (const char* line : {"In use: krhook20.dll, renamed to krhook20.dll.old1.kr2tmp",
                                     "In use: kr.exe, renamed to kr.exe.old1.kr2tmp",
                                     "In use: license.txt, replaced at restart"})
                EXPECT_TRUE(Contains(log, line)) << line << " in " << ReadFile(Log());
            ExpectLogEnd(Log(), 3010);
        } else {
            // No retry message: the restart question comes instead of the start.
            Run run = InstallWith(dest, kAllOptions, AnswerNo);
            ExpectCompleted(run);
            ASSERT_FALSE(run.boxes.empty());
            EXPECT_EQ(run.boxes.back().text, kRestartText);
            EXPECT_FALSE(HasBox(run, "Error", kRetryText));
        }
        CloseHandle(reader);
        EXPECT_EQ(StandinLog(log_).size(), 1u) << "the product was started";
        for (const char* f : kPlanFiles) {
            if (lstrcmpA(f, "license.txt") == 0 || lstrcmpA(f, "List.krl") == 0)
                continue;
            EXPECT_TRUE(SameBytes(dest + "\\" + f, Source(f)));
        }
        for (const char* f : {"kr.exe", "krhook20.dll"})
            EXPECT_EQ(ReadFile(dest + "\\" + f + ".old1.kr2tmp"),
                      ReadFile(Source(f)) + OldBytes(f));
        EXPECT_EQ(ReadFile(dest + "\\license.txt"), OldBytes("license.txt"));
        EXPECT_TRUE(SameBytes(dest + "\\license.txt.new1.kr2tmp", Source("license.txt")));
        product.Kill();
        DeleteFileW(Wide(log_).c_str());
    }
}

// After the restart: the new files alone, nothing set aside, and the user's
// macro list and Backup folder as they were.
TEST_F(FilesInUse, AfterTheRestartOnlyTheNewFilesRemain) {
    for (const char* folder : {"\\dialog", "\\silent"}) {
        std::string dest = kUpgrades + std::string(folder);
        SCOPED_TRACE(dest);
        ASSERT_TRUE(FolderExists(dest));
        for (const char* f : kPlanFiles) {
            if (lstrcmpA(f, "List.krl") != 0) {
                EXPECT_TRUE(SameBytes(dest + "\\" + f, Source(f)));
            }
        }
        EXPECT_EQ(ReadFile(dest + "\\List.krl"), kUsersList);
        EXPECT_EQ(ListFolder(dest + "\\Backup"), std::vector<std::string>{"System.krl"});
        EXPECT_EQ(ReadFile(dest + "\\Backup\\System.krl"), kEarlierBackup);
        for (const std::string& name : ListFolder(dest))
            EXPECT_EQ(name.find(".kr2tmp"), std::string::npos) << name;
    }
    EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                         "PendingFileRenameOperations", nullptr));
    RemoveTree(kUpgrades);
}

} // namespace
} // namespace e2e
