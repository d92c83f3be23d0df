// The install sequence end to end beyond the plain first install: a second
// install over a changed installation and its summary, the checks of the
// typed folder, each option on its own, the NT 4 system libraries, the plan
// entries whose files are missing, and the StartUp folder's old link.
#include "install_case.h"

#include <ctype.h>
#include <shellapi.h>

namespace e2e {
namespace {

int AnswerNo(const Box&) {
    return IDNO;
}

// ---------------------------------------------------------------------------
// A second install over an installation the user has changed.

class Reinstall : public InstallCase {
  protected:
    // An earlier install, the user's changes to some of its files, then a
    // second install of the files alone: the summary it showed, or "" when
    // it showed none.
    std::string SummaryAfterChanging(const std::vector<const char*>& changed) {
        std::string dest = Dest();
        EarlierInstall(dest);
        if (HasFatalFailure())
            return "no earlier install";
        for (const char* f : changed)
            WriteOldFile(dest + "\\" + f, std::string("the user's ") + f + "\r\n");
        Run run = InstallWith(dest, kCopy);
        ExpectCompleted(run);
        EXPECT_LE(run.boxes.size(), 1u);
        if (run.boxes.empty())
            return "";
        EXPECT_EQ(run.boxes[0].caption, "Info");
        return run.boxes[0].text;
    }
};

TEST_F(Reinstall, BacksUpAChangedMacroListAndKeepsTheUsersOwnList) {
    std::string dest = Dest();
    ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
    const std::string system = "the user's System.krl\r\n";
    const std::string list = "the user's own List.krl\r\n";
    WriteOldFile(dest + "\\System.krl", system);
    WriteOldFile(dest + "\\List.krl", list);

    Run run = InstallWith(dest, kAllOptions);
    ExpectCompleted(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Info");
    EXPECT_EQ(run.boxes[0].text, std::string(kReplacedHead) + "System.krl\r\n" + "\r\n" +
                                     kCopiedHead + "List.krl\r\n");

    // The shipped list: the old one moved to Backup, the source's in place.
    EXPECT_EQ(ReadFile(dest + "\\Backup\\System.krl"), system);
    EXPECT_TRUE(SameBytes(dest + "\\System.krl", Source("System.krl")));
    EXPECT_EQ(ListFolder(dest + "\\Backup"), std::vector<std::string>{"System.krl"});
    // The user's list: kept byte for byte, the new one beside it.
    EXPECT_EQ(ReadFile(dest + "\\List.krl"), list);
    EXPECT_TRUE(SameBytes(dest + "\\Copy of List.krl", Source("List.krl")));
    ExpectDisabledAfterBoxes(run);
    // Unchanged lists are neither moved nor copied anew.
    EXPECT_FALSE(FileExists(dest + "\\Copy of System.krl"));
    EXPECT_FALSE(FileExists(dest + "\\Copy of Samples2.krl"));
    // The run went on through every phase.
    ExpectRegistered(dest);
    ExpectStartMenuLinks(dest);
    ExpectStartUpLink(dest);
    ExpectStarted(dest);
}

TEST_F(Reinstall, SummaryOfReplacedFilesOnly) {
    EXPECT_EQ(SummaryAfterChanging({"System.krl", "Convert old macros.krl"}),
              std::string(kReplacedHead) + "System.krl\r\nConvert old macros.krl\r\n");
    EXPECT_EQ(ReadFile(Dest() + "\\Backup\\Convert old macros.krl"),
              "the user's Convert old macros.krl\r\n");
}

TEST_F(Reinstall, SummaryOfCopiedAsNewFilesOnlyHasNoLeadingBlankLine) {
    EXPECT_EQ(SummaryAfterChanging({"List.krl"}), std::string(kCopiedHead) + "List.krl\r\n");
    EXPECT_FALSE(FolderExists(Dest() + "\\Backup"));
}

TEST_F(Reinstall, UnchangedInstallationShowsNoSummary) {
    EXPECT_EQ(SummaryAfterChanging({}), "");
    EXPECT_FALSE(FolderExists(Dest() + "\\Backup"));
    EXPECT_FALSE(FileExists(Dest() + "\\Copy of List.krl"));
}

// Each install adds to Backup and beside the user's list without touching
// what the earlier ones left.
TEST_F(Reinstall, EveryInstallKeepsEarlierBackupsAndCopies) {
    std::string dest = Dest();
    ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
    WriteOldFile(dest + "\\System.krl", "first change\r\n");
    WriteOldFile(dest + "\\List.krl", "the user's list\r\n");
    ExpectCompleted(InstallWith(dest, kCopy));
    WriteOldFile(dest + "\\System.krl", "second change\r\n");

    Run run = InstallWith(dest, kCopy);
    ExpectCompleted(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, std::string(kReplacedHead) + "System.krl\r\n" + "\r\n" +
                                     kCopiedHead + "List.krl\r\n");
    EXPECT_EQ(ReadFile(dest + "\\Backup\\System.krl"), "first change\r\n");
    EXPECT_EQ(ReadFile(dest + "\\Backup\\Copy of System.krl"), "second change\r\n");
    EXPECT_EQ(ReadFile(dest + "\\List.krl"), "the user's list\r\n");
    EXPECT_TRUE(SameBytes(dest + "\\Copy of List.krl", Source("List.krl")));
    EXPECT_TRUE(SameBytes(dest + "\\Copy (2) of List.krl", Source("List.krl")));
}

// A file named "Backup" leaves no room for the backup folder: the old list
// must survive, and the install counts it as not copied.
TEST_F(Reinstall, AFailedBackupKeepsTheOldFileAndAsks) {
    std::string dest = Dest();
    ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
    WriteOldFile(dest + "\\System.krl", "the user's System.krl\r\n");
    WriteFile(dest + "\\Backup", "not a folder");

    Run run = InstallWith(dest, kCopy | kRegistry); // the question answered Yes
    ExpectCompleted(run);
    EXPECT_TRUE(HasBox(run, "Warning", kNotAllCopiedText));
    for (const Box& b : run.boxes)
        EXPECT_NE(b.caption, "Info") << b.text; // nothing was replaced
    EXPECT_EQ(ReadFile(dest + "\\System.krl"), "the user's System.krl\r\n");
    EXPECT_EQ(ReadFile(dest + "\\Backup"), "not a folder");
    ExpectRegistered(dest);
}

TEST_F(Reinstall, ClosesTheProductRunningFromTheFolderBeforeReplacingIt) {
    std::string dest = Dest();
    ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
    // An older build of the product: the same program with bytes appended
    // (a PE file runs with trailing data).
    WriteFile(dest + "\\kr.exe", ReadFile(dest + "\\kr.exe") + "an older build");
    Process product;
    ASSERT_TRUE(product.Start(dest + "\\kr.exe", "", dest));
    ASSERT_TRUE(WaitStandin());
    std::vector<std::string> log = WaitStandinLog(1);
    ASSERT_EQ(log.size(), 1u);
    ASSERT_EQ(StartPlace(log[0]), "cmdline=|cwd=" + dest);

    Run run = InstallWith(dest, kCopy | kStart);
    ExpectCompleted(run);
    EXPECT_TRUE(run.boxes.empty());
    DWORD code = 99;
    EXPECT_TRUE(product.Wait(kWaitMs, &code)) << "the running product was not closed";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(SameBytes(dest + "\\kr.exe", Source("kr.exe")));
    ExpectStarted(dest, 2);
}

// ---------------------------------------------------------------------------
// The typed destination folder.

class InstallFolder : public InstallCase {
  protected:
    void TearDown() override {
        InstallCase::TearDown();
        EmptyDriveQ();
    }
    // Drive Q: of the test prefix is a scratch folder (tests/wine-fixture.sh).
    static void EmptyDriveQ() {
        for (const std::string& name : ListFolder("Q:"))
            RemoveTree("Q:\\" + name);
    }

    // Installs into Dest() typed as `typed` (existing beforehand or not).
    void InstallsInto(const std::string& typed, bool existing) {
        std::string dest = Dest();
        if (existing)
            MakeFolders(dest);
        Run run = InstallWith(typed, kCopy | kRegistry);
        ExpectCompleted(run);
        EXPECT_TRUE(run.boxes.empty());
        ExpectFilesCopied(dest);
        ExpectRegistered(dest); // without the trailing backslash
    }

    // A typed folder that cannot be used: the run stops in Retry after one
    // error box with the system's caption, and nothing is installed.
    void Refused(const std::string& typed, const std::string& text) {
        Run run = InstallWith(typed, kAllOptions);
        ExpectRetry(run);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].caption, "Error"); // none given: the system's default
        EXPECT_EQ(run.boxes[0].text, text);
        ExpectNotRegistered();
        EXPECT_FALSE(FolderExists(MenuFolder()));
        EXPECT_FALSE(FileExists(StartUpLink()));
    }
};

TEST_F(InstallFolder, CreatesANewFolderTypedWithoutBackslash) {
    InstallsInto(Dest(), false);
}

TEST_F(InstallFolder, CreatesANewFolderTypedWithBackslash) {
    InstallsInto(Dest() + "\\", false);
}

TEST_F(InstallFolder, AcceptsAnExistingFolderTypedWithBackslash) {
    InstallsInto(Dest() + "\\", true);
}

TEST_F(InstallFolder, InstallsIntoADriveRoot) {
    ASSERT_TRUE(FolderExists("Q:\\")) << "drive Q: is not mapped";
    EmptyDriveQ();
    Run run = InstallWith("Q:\\", kAllOptions);
    ExpectCompleted(run);
    EXPECT_TRUE(run.boxes.empty());
    ExpectFilesCopied("Q:");
    ExpectRegistered("Q:");
    ExpectStartMenuLinks("Q:");
    ExpectStartUpLink("Q:");
    ExpectStarted("Q:");
}

TEST_F(InstallFolder, AnEmptyBoxOnlyBeeps) {
    std::vector<std::string> distBefore = ListFolder(dist_);
    Run run = InstallWith("", kAllOptions);
    ExpectRetry(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(setup_.Running());
    // Nothing copied anywhere, not even into the current folder.
    EXPECT_EQ(ListFolder(dist_), distBefore);
    EXPECT_EQ(ListFolder(scratch_), std::vector<std::string>{"dist"});
    ExpectNotRegistered();
    EXPECT_FALSE(FolderExists(MenuFolder()));
    ExpectNotStarted();
    CancelAndExpectExit(dialog_);
}

TEST_F(InstallFolder, AMissingParentIsReportedAndAGoodFolderThenInstalls) {
    std::string typed = Dest("no-parent") + "\\child";
    ASSERT_NO_FATAL_FAILURE(Refused(typed, "Can't create folder " + typed));
    EXPECT_FALSE(FolderExists(Dest("no-parent")));

    SetItemText(dialog_, IDC_DESTDIR, Dest());
    Run second = PressOk(dialog_);
    ExpectCompleted(second);
    EXPECT_TRUE(second.boxes.empty());
    ExpectFilesCopied(Dest());
    ExpectRegistered(Dest());
    ExpectStarted(Dest()); // before the next case begins its own log
}

// An existing file is no folder, whether typed with a backslash or not.
TEST_F(InstallFolder, AFileIsRefusedAsFolder) {
    WriteFile(Dest(), "a file");
    ASSERT_NO_FATAL_FAILURE(Refused(Dest() + "\\", "Can't create folder " + Dest() + "\\"));
    SetItemText(dialog_, IDC_DESTDIR, Dest());
    Run second = PressOk(dialog_);
    ExpectRetry(second);
    ASSERT_EQ(second.boxes.size(), 1u);
    EXPECT_EQ(second.boxes[0].text, "Can't create folder " + Dest());
    EXPECT_EQ(ReadFile(Dest()), "a file");
}

TEST_F(InstallFolder, TheSetupFolderInOtherLetterCaseIsRefused) {
    std::string typed = dist_;
    for (char& c : typed)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(typed, dist_);
    std::vector<std::string> before = ListFolder(dist_);
    Refused(typed, kSameFolderText);
    EXPECT_EQ(ListFolder(dist_), before);
}

// ---------------------------------------------------------------------------
// Each option on its own. The link phases run over an existing installation:
// Wine's IShellLinkA::SetPath answers S_FALSE for a target that does not
// exist (Windows XP and later answer S_OK), which the program takes as a
// failure, so over an empty folder Wine would make no link at all.

class InstallPhases : public InstallCase {
  protected:
    void InstallWithout(unsigned off) {
        std::string dest = Dest();
        ASSERT_NO_FATAL_FAILURE(EarlierInstall(dest));
        const std::string oldLicense = "the earlier install's license\r\n";
        WriteOldFile(dest + "\\license.txt", oldLicense);
        unsigned options = kAllOptions & ~off;
        Run run = InstallWith(dest, options);
        ExpectCompleted(run);
        EXPECT_TRUE(run.boxes.empty());
        ExpectPhases(dest, options, oldLicense);
    }
};

TEST_F(InstallPhases, WithoutCopyingNoFileIsCopiedAndTheRestRuns) {
    InstallWithout(kCopy);
}

TEST_F(InstallPhases, WithoutRegistryNoValueIsWritten) {
    InstallWithout(kRegistry);
}

TEST_F(InstallPhases, WithoutStartMenuNoMenuFolderIsMade) {
    InstallWithout(kStartMenu);
}

TEST_F(InstallPhases, WithoutStartUpNoStartUpLinkIsMade) {
    InstallWithout(kStartUp);
}

TEST_F(InstallPhases, WithoutStartTheProductIsNotStarted) {
    InstallWithout(kStart);
}

TEST_F(InstallPhases, WithoutCopyingAMissingFolderIsStillCreated) {
    // Every other phase runs too; under Wine the links to the missing files
    // are not made (see above) and the product's start fails unseen.
    std::string dest = Dest();
    Run run = InstallWith(dest, kAllOptions & ~kCopy);
    ExpectCompleted(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(FolderExists(dest));
    EXPECT_TRUE(ListFolder(dest).empty());
    ExpectRegistered(dest);
}

// ---------------------------------------------------------------------------
// "pdh.dll" and "psapi.dll": on Windows NT 4 only, and only where missing.
// Wine reports another Windows version to one program named in its
// AppDefaults key.

const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\setup.exe";

class SystemDlls : public InstallCase {
  protected:
    void TearDown() override {
        InstallCase::TearDown();
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, KEY_SET_VALUE, &key) == 0) {
            RegDeleteValueA(key, "Version");
            RegCloseKey(key);
        }
        DeleteRegTree(HKEY_CURRENT_USER, kAppDefaults);
    }

    void PretendWindows(const char* version) {
        RegWrite(HKEY_CURRENT_USER, kAppDefaults, "Version", version);
    }

    // Installs on a Windows that gets no system libraries.
    void NoneOn(const char* version) {
        PretendWindows(version);
        Run run = InstallWith(Dest(), kCopy);
        ExpectCompleted(run);
        EXPECT_TRUE(run.boxes.empty());
        ExpectFilesCopied(Dest());
        EXPECT_FALSE(FileExists(Dest() + "\\pdh.dll"));
        EXPECT_FALSE(FileExists(Dest() + "\\psapi.dll"));
    }
};

TEST_F(SystemDlls, Nt4GetsBothWhenMissing) {
    PretendWindows("nt40");
    Run run = InstallWith(Dest(), kCopy);
    ExpectCompleted(run);
    EXPECT_TRUE(run.boxes.empty());
    ExpectFilesCopied(Dest());
    EXPECT_TRUE(SameBytes(Dest() + "\\pdh.dll", Source("pdh.dll")));
    EXPECT_TRUE(SameBytes(Dest() + "\\psapi.dll", Source("psapi.dll")));
}

TEST_F(SystemDlls, Nt4KeepsTheLibraryThatIsThere) {
    MakeFolders(Dest());
    WriteOldFile(Dest() + "\\pdh.dll", "the system's own pdh.dll");
    PretendWindows("nt40");
    Run run = InstallWith(Dest(), kCopy);
    ExpectCompleted(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFile(Dest() + "\\pdh.dll"), "the system's own pdh.dll");
    EXPECT_TRUE(SameBytes(Dest() + "\\psapi.dll", Source("psapi.dll")));
}

TEST_F(SystemDlls, Windows98GetsNone) {
    NoneOn("win98");
}

TEST_F(SystemDlls, Windows2000GetsNone) {
    NoneOn("win2k");
}

// ---------------------------------------------------------------------------
// Plan entries whose file is missing from the distribution folder.

class PlanFailures : public InstallCase {
  protected:
    Run InstallLacking(const char* file, int (*answer)(const Box&) = nullptr) {
        EXPECT_TRUE(DeleteFileA(Source(file).c_str())) << file;
        return InstallWith(Dest(), kAllOptions, answer);
    }
    // A stop: nothing after the copy phase ran.
    void ExpectNothingAfterCopying() {
        ExpectNotRegistered();
        EXPECT_FALSE(FolderExists(MenuFolder()));
        EXPECT_FALSE(FileExists(StartUpLink()));
        ExpectNotStarted();
    }
};

TEST_F(PlanFailures, AMissingHookLibraryAsksToRetry) {
    Run run = InstallLacking("krhook20.dll");
    ExpectRetry(run);
    ASSERT_FALSE(run.boxes.empty());
    EXPECT_EQ(run.boxes.back().caption, "Error");
    EXPECT_EQ(run.boxes.back().text, kRetryText);
    EXPECT_TRUE(ListFolder(Dest()).empty());
    ExpectNothingAfterCopying();
}

TEST_F(PlanFailures, AMissingMainProgramStopsWithoutAMessageOfItsOwn) {
    Run run = InstallLacking("kr.exe");
    ExpectRetry(run);
    EXPECT_FALSE(HasProgramBox(run));
    // The files before it are in place, none after it.
    EXPECT_TRUE(FileExists(Dest() + "\\krcl.exe"));
    EXPECT_FALSE(FileExists(Dest() + "\\kr.exe"));
    EXPECT_FALSE(FileExists(Dest() + "\\license.txt"));
    ExpectNothingAfterCopying();
}

TEST_F(PlanFailures, AMissingLicenseAnsweredNoStops) {
    Run run = InstallLacking("license.txt", AnswerNo);
    ExpectRetry(run);
    EXPECT_TRUE(HasBox(run, "Warning", kNotAllCopiedText));
    // The question comes after the whole copy phase.
    EXPECT_TRUE(FileExists(Dest() + "\\pcrepattern.html"));
    EXPECT_FALSE(FileExists(Dest() + "\\license.txt"));
    ExpectNothingAfterCopying();
}

TEST_F(PlanFailures, AMissingLicenseAnsweredYesGoesOn) {
    Run run = InstallLacking("license.txt");
    ExpectCompleted(run);
    EXPECT_TRUE(HasBox(run, "Warning", kNotAllCopiedText));
    ExpectDisabledAfterBoxes(run);
    EXPECT_FALSE(FileExists(Dest() + "\\license.txt"));
    ExpectRegistered(Dest());
    ExpectStartMenuLinks(Dest());
    ExpectStartUpLink(Dest());
    ExpectStarted(Dest());
}

TEST_F(PlanFailures, AMissingRecorderListAsksNothing) {
    Run run = InstallLacking("krrecwin.txt");
    ExpectCompleted(run);
    EXPECT_FALSE(HasProgramBox(run));
    EXPECT_FALSE(FileExists(Dest() + "\\krrecwin.txt"));
    EXPECT_TRUE(FileExists(Dest() + "\\pcrepattern.html"));
    ExpectRegistered(Dest());
    ExpectStarted(Dest());
}

// ---------------------------------------------------------------------------
// The StartUp folder: the previous version's "KR.lnk" goes to the Recycle
// Bin, everything else there stays.

// Wine keeps its Recycle Bin in the Unix user's XDG trash; without the data
// folder it deletes for good and SHQueryRecycleBinA fails.
void EnsureRecycleBin() {
    char xdg[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("XDG_DATA_HOME", xdg, sizeof xdg);
    if (n && n < sizeof xdg && xdg[0] == '/')
        MakeFolders(WinPath(xdg));
}

// Items in the Recycle Bins of all drives; -1 when it cannot be told.
long long RecycleBinItems() {
    SHQUERYRBINFO info = {};
    info.cbSize = sizeof info;
    if (SHQueryRecycleBinA(nullptr, &info) != S_OK)
        return -1;
    return info.i64NumItems;
}

class StartUpFolder : public InstallCase {
  protected:
    void SetUp() override {
        InstallCase::SetUp();
        startup_ = ShellFolder("StartUp");
        EnsureRecycleBin();
    }
    void TearDown() override {
        InstallCase::TearDown();
        RemoveTree(startup_ + "\\Other.lnk");
        // The old link this case sent there.
        SHEmptyRecycleBinA(nullptr, nullptr,
                           SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
    }
    std::string startup_;
};

TEST_F(StartUpFolder, TheOldVersionsLinkGoesToTheRecycleBin) {
    ASSERT_TRUE(FolderExists(startup_)) << startup_;
    WriteFile(startup_ + "\\KR.lnk", "the previous version's link");
    WriteFile(startup_ + "\\Other.lnk", "another program's link");
    WriteFile(startup_ + "\\Kestrune.lnk", "an older link of this version");
    long long binBefore = RecycleBinItems();
    ASSERT_GE(binBefore, 0);

    Run run = InstallWith(Dest(), kCopy | kStartUp);
    ExpectCompleted(run);
    EXPECT_FALSE(FileExists(startup_ + "\\KR.lnk"));
    EXPECT_EQ(RecycleBinItems(), binBefore + 1);
    EXPECT_EQ(ReadFile(startup_ + "\\Other.lnk"), "another program's link");
    ExpectStartUpLink(Dest()); // the older link overwritten
}

TEST_F(StartUpFolder, AFolderWithoutTheOldLinkIsLeftAlone) {
    ASSERT_TRUE(FolderExists(startup_)) << startup_;
    WriteFile(startup_ + "\\Other.lnk", "another program's link");
    std::vector<std::string> before = ListFolder(startup_);
    long long binBefore = RecycleBinItems();

    Run run = InstallWith(Dest(), kCopy | kStartUp);
    ExpectCompleted(run);
    std::vector<std::string> after = ListFolder(startup_);
    EXPECT_EQ(after.size(), before.size() + 1);
    for (const std::string& name : before)
        EXPECT_TRUE(Contains(after, name)) << name;
    EXPECT_TRUE(Contains(after, "Kestrune.lnk"));
    EXPECT_EQ(ReadFile(startup_ + "\\Other.lnk"), "another program's link");
    EXPECT_EQ(RecycleBinItems(), binBefore);
    ExpectStartUpLink(Dest());
}

// ---------------------------------------------------------------------------
// Folders named in scripts beyond the test prefix's Western code page (1252):
// setup.exe declares UTF-8 as its own, and the driver types and reads UTF-16.

class Unicode : public InstallCase {
  protected:
    void SetUp() override {
        InstallCase::SetUp();
        UseProfile(scratch_ + "\\users\\" + kUser);
    }
};

TEST_F(Unicode, InstallsIntoAFolderNamedInAnyScriptAndProposesItAgain) {
    std::string dest = Dest(kScripts);
    ASSERT_EQ(MenuFolder(), scratch_ + "\\users\\" + kUser + "\\Start Menu\\Programs\\Kestrune 2");
    Run run = InstallWith(dest, kAllOptions);
    ExpectCompleted(run);
    for (const Box& b : run.boxes)
        ADD_FAILURE() << b.caption << ": " << b.text;
    ExpectFilesCopied(dest);
    ExpectRegistered(dest);
    ExpectStartMenuLinks(dest);
    ExpectStartUpLink(dest);
    ExpectStarted(dest);

    CloseStandins();
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_DESTDIR), dest);
    CancelAndExpectExit(dialog);
}

// The same install by a copy of setup.exe whose manifest element is renamed
// (same length, so nothing else moves), which the system then ignores: the
// typed name comes back from the box in the Western code page as question
// marks, and no folder can have such a name.
TEST_F(Unicode, WithoutTheCodePageElementTheSameInstallFails) {
    std::string exe = ReadFile(SetupExe());
    int renamed = 0;
    for (size_t at; (at = exe.find("<activeCodePage")) != std::string::npos; renamed++)
        exe.replace(at, 15, "<activeCodeXage");
    for (size_t at; (at = exe.find("</activeCodePage")) != std::string::npos; renamed++)
        exe.replace(at, 16, "</activeCodeXage");
    ASSERT_EQ(renamed, 2);
    WriteFile(SetupExe(), exe);

    std::string dest = Dest(kScripts);
    Run run = InstallWith(dest, kAllOptions);
    ExpectRetry(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    const std::string head = "Can't create folder " + scratch_ + "\\";
    EXPECT_EQ(run.boxes[0].text.substr(0, head.size()), head);
    EXPECT_NE(run.boxes[0].text.find('?'), std::string::npos) << run.boxes[0].text;
    EXPECT_FALSE(FolderExists(dest));
    ExpectNotRegistered();
    EXPECT_FALSE(FolderExists(MenuFolder()));
}

} // namespace
} // namespace e2e
