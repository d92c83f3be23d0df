// Faults and hostile input end to end: a destination drive that fills up,
// destination files that are read-only or held open by another program,
// and destination folders that are too long, malformed, relative or on no
// drive. Every case checks two things: nothing of the user's is lost, and
// no failure passes for success (a run ends as a completed install only
// when every file arrived, or when the user, told that some did not, chose
// to go on).
#include "install_case.h"

#include <stdint.h>

namespace e2e {
namespace {

const char kUsersList[] = "; the user's own macros\r\nMacro \"Morning\"\r\n  Run \"mail\"\r\n";
const char kUsersNotes[] = "the user's notes: no file of the install has this name\r\n";

int AnswerNo(const Box& box) {
    return GetDlgItem(box.window, IDNO) ? IDNO : IDOK;
}

class FaultCase : public InstallCase {
  protected:
    // The user's own things in `dest`: the macro list and a file of theirs.
    static void PlantUsersFiles(const std::string& dest) {
        MakeFolders(dest);
        WriteOldFile(dest + "\\List.krl", kUsersList);
        WriteOldFile(dest + "\\my notes.txt", kUsersNotes);
    }
    static void ExpectUsersFilesKept(const std::string& dest) {
        SCOPED_TRACE("the user's files");
        EXPECT_EQ(ReadFile(dest + "\\List.krl"), kUsersList);
        EXPECT_EQ(ReadFile(dest + "\\my notes.txt"), kUsersNotes);
    }

    // A run that did not complete left nothing of a completed install.
    void ExpectNothingOfAnInstall() const {
        SCOPED_TRACE("nothing of an install");
        ExpectNotRegistered();
        EXPECT_FALSE(FolderExists(MenuFolder()));
        EXPECT_FALSE(FileExists(StartUpLink()));
        ExpectNotStarted();
    }
    // A completed install: every plan file holds the source's bytes (the
    // shipped list beside the user's own when there was one), and the
    // install is registered, linked and started.
    void ExpectCompleteInstall(const std::string& dest, bool usersList) {
        SCOPED_TRACE("a complete install");
        for (const char* f : kPlanFiles) {
            std::string name = f;
            if (usersList && name == "List.krl")
                name = "Copy of List.krl";
            EXPECT_EQ(ReadFile(dest + "\\" + name), ReadFile(Source(f))) << name;
        }
        ExpectRegistered(dest);
        ExpectStartMenuLinks(dest);
        ExpectStartUpLink(dest);
        ExpectStarted(dest);
    }

    static bool ShowedQuestion(const Run& run) { return HasBox(run, "Warning", kNotAllCopiedText); }

    // Types `typed` into the dialog still open from the last try, or into a
    // newly started one, and runs the install with every option.
    Run Try(const std::string& typed, int (*answer)(const Box&) = nullptr) {
        if (!dialog_ || !setup_.Running() || !IsWindow(dialog_))
            return InstallWith(typed, kAllOptions, answer);
        SetItemText(dialog_, IDC_DESTDIR, typed);
        return PressOk(dialog_, answer);
    }

    // Between the rows of one case: nothing running, registered, linked or
    // started by the row before.
    void ForgetRow() {
        setup_.Kill();
        CloseStandins();
        ForgetInstall();
        RemoveLinks();
        DeleteFileA(log_.c_str());
    }
};

// ---------------------------------------------------------------------------
// The destination drive fills up during the copy. Drive R: is a small tmpfs
// (tests/small-drive.sh); each case fills it with a file of the user's to
// the point where the file it is about no longer fits. Wine's shell answers
// 0 for such a copy and leaves a truncated file.

const char kDrive[] = "R:\\";
const char kFiller[] = "R:\\the user's big download.bin";

class DiskFull : public FaultCase {
  protected:
    void SetUp() override {
        FaultCase::SetUp();
        if (GetDriveTypeA(kDrive) == DRIVE_NO_ROOT_DIR)
            GTEST_SKIP() << "drive R: is not mapped (tests/small-drive.sh needs root)";
        EmptyDrive();
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
        ASSERT_TRUE(GetDiskFreeSpaceA(kDrive, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                      &clusters));
        cluster_ = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
        ASSERT_GT(cluster_, 0u);
        dest_ = std::string(kDrive) + "Kestrune 2";
    }
    void TearDown() override {
        FaultCase::TearDown(); // the product started from R: ends first
        EmptyDrive();
    }
    static void EmptyDrive() {
        for (const std::string& name : ListFolder("R:"))
            RemoveTree(kDrive + name);
    }

    static uint64_t FreeBytes() {
        ULARGE_INTEGER free = {}, total = {}, totalFree = {};
        GetDiskFreeSpaceExA(kDrive, &free, &total, &totalFree);
        return free.QuadPart;
    }
    // The icon files of the distribution, copied by one plan entry.
    std::vector<std::string> Icons() const {
        std::vector<std::string> icons;
        for (const std::string& name : ListFolder(dist_))
            if (name.size() > 4 && name.substr(name.size() - 4) == ".ico")
                icons.push_back(name);
        return icons;
    }
    // The room a file of the distribution takes on the drive.
    uint64_t Room(const std::string& name) const {
        uint64_t size = ReadFile(Source(name.c_str())).size();
        return (size + cluster_ - 1) / cluster_ * cluster_;
    }
    // The room the plan's files before `file` take (icons as one entry).
    uint64_t RoomBefore(const char* file) const {
        const char* const kOrder[] = {"krhook20.dll", "setup.exe", "krcl.exe", "kr.exe", "*.ico"};
        uint64_t room = 0;
        for (const char* f : kOrder) {
            if (lstrcmpA(f, file) == 0)
                break;
            if (lstrcmpA(f, "*.ico") == 0) {
                for (const std::string& name : Icons())
                    room += Room(name);
            } else {
                room += Room(f);
            }
        }
        return room;
    }
    // Fills the drive with the user's big file until `leave` bytes are free.
    void FillLeaving(uint64_t leave) {
        uint64_t free = FreeBytes();
        ASSERT_GE(free, leave) << "the drive is too small for this case";
        WriteFile(kFiller, std::string(static_cast<size_t>(free - leave), 'F'));
        ASSERT_EQ(FreeBytes(), leave);
        filler_ = ReadFile(kFiller).size();
    }
    void ExpectFillerKept() const {
        EXPECT_EQ(ReadFile(kFiller).size(), filler_);
        EXPECT_EQ(ReadFile(kFiller).find_first_not_of('F'), std::string::npos);
    }

    uint64_t cluster_ = 0;
    size_t filler_ = 0;
    std::string dest_;
};

// Step 1 does not fit: the program's own retry message, nothing more.
TEST_F(DiskFull, HookLibraryThatDoesNotFitAsksToRetry) {
    PlantUsersFiles(dest_);
    ASSERT_NO_FATAL_FAILURE(FillLeaving(Room("krhook20.dll") - cluster_));
    Run run = InstallWith(dest_, kAllOptions);
    ExpectRetry(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Error");
    EXPECT_EQ(run.boxes[0].text, kRetryText);
    // The truncated copy is not left to pass for the library.
    EXPECT_FALSE(FileExists(dest_ + "\\krhook20.dll"));
    ExpectUsersFilesKept(dest_);
    ExpectFillerKept();
    ExpectNothingOfAnInstall();
}

// The main program does not fit: the run stops in Retry. Once the user has
// made room, Retry completes the install, and the user's changed macro
// list goes to Backup, their own list stays.
TEST_F(DiskFull, MainProgramThatDoesNotFitStopsAndRetryAfterMakingRoomCompletes) {
    PlantUsersFiles(dest_);
    const std::string changedSystem = "the user's changed System.krl\r\n";
    WriteOldFile(dest_ + "\\System.krl", changedSystem);
    ASSERT_NO_FATAL_FAILURE(FillLeaving(RoomBefore("kr.exe") + Room("kr.exe") - cluster_));
    Run run = InstallWith(dest_, kAllOptions);
    ExpectRetry(run);
    EXPECT_FALSE(HasProgramBox(run)); // Windows' shell shows its own error here
    EXPECT_EQ(ReadFile(dest_ + "\\krcl.exe"), ReadFile(Source("krcl.exe")));
    EXPECT_FALSE(FileExists(dest_ + "\\kr.exe"));
    EXPECT_FALSE(FileExists(dest_ + "\\license.txt"));
    EXPECT_EQ(ReadFile(dest_ + "\\System.krl"), changedSystem);
    ExpectUsersFilesKept(dest_);
    ExpectFillerKept();
    ExpectNothingOfAnInstall();

    ASSERT_TRUE(DeleteFileA(kFiller));
    Run retry = PressOk(dialog_);
    ExpectCompleted(retry);
    ASSERT_EQ(retry.boxes.size(), 1u);
    EXPECT_EQ(retry.boxes[0].caption, "Info");
    EXPECT_EQ(retry.boxes[0].text,
              std::string(kReplacedHead) + "System.krl\r\n\r\n" + kCopiedHead + "List.krl\r\n");
    EXPECT_EQ(ReadFile(dest_ + "\\Backup\\System.krl"), changedSystem);
    ExpectUsersFilesKept(dest_);
    ExpectCompleteInstall(dest_, true);
}

// A reinstall onto a full drive where one text file has grown: every other
// file is rewritten in its own room, the grown one fails, and the user is
// asked. No leaves nothing registered; Yes goes on, as the user chose.
TEST_F(DiskFull, AGrownTextFileOnAFullDriveAsksAndNoRegistersNothing) {
    MakeFolders(dest_);
    for (const char* f : kPlanFiles)
        ASSERT_TRUE(CopyFileA(Source(f).c_str(), (dest_ + "\\" + f).c_str(), FALSE)) << f;
    for (const std::string& name : Icons()) {
        ASSERT_TRUE(CopyFileA(Source(name.c_str()).c_str(), (dest_ + "\\" + name).c_str(), FALSE));
    }
    WriteOldFile(dest_ + "\\my notes.txt", kUsersNotes);
    WriteOldFile(dest_ + "\\Dialog Help.txt", "");
    ASSERT_NO_FATAL_FAILURE(FillLeaving(0));

    Run run = InstallWith(dest_, kAllOptions, AnswerNo);
    ExpectRetry(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(ShowedQuestion(run));
    EXPECT_EQ(ReadFile(dest_ + "\\Dialog Help.txt"), "");
    EXPECT_EQ(ReadFile(dest_ + "\\pcrepattern.html"), ReadFile(Source("pcrepattern.html")));
    EXPECT_EQ(ReadFile(dest_ + "\\my notes.txt"), kUsersNotes);
    ExpectFillerKept();
    ExpectNothingOfAnInstall();

    Run yes = PressOk(dialog_); // the question answered Yes
    ExpectCompleted(yes);
    EXPECT_TRUE(ShowedQuestion(yes));
    EXPECT_EQ(ReadFile(dest_ + "\\my notes.txt"), kUsersNotes);
    ExpectFillerKept();
    ExpectRegistered(dest_);
    // Started through the desktop shell, so later: a start that came after
    // this case would land in the next one's log.
    ExpectStarted(dest_);
}

// ---------------------------------------------------------------------------
// Destination files that another program holds open without sharing, or
// that are read-only, for a file of each policy: overwritten ("kr.exe",
// which stops the run when not copied, and "license.txt", which leads to the
// question), replaced with a backup ("System.krl"), kept with the new one
// beside it (the user's "List.krl").

// Restart: completed, and the new file waits beside the held one for the
// restart, which the user is asked for instead of the product's start.
enum class Outcome { Completed, Asked, Stopped, Restart };

struct LockCase {
    const char* file;
    Outcome outcome; // under Wine
};

class LockedFiles : public FaultCase {
  protected:
    // One case in a destination of its own: the user's files, the old
    // version of `c.file`, held open or made read-only while setup runs.
    void Check(const LockCase& c, bool holdOpen, int n) {
        SCOPED_TRACE(std::string(c.file) + (holdOpen ? " held open" : " read-only"));
        ForgetRow();
        std::string dest = Dest(("dest-" + std::to_string(n)).c_str());
        PlantUsersFiles(dest);
        const std::string path = dest + "\\" + c.file;
        const bool usersList = lstrcmpA(c.file, "List.krl") == 0;
        const std::string old = usersList ? kUsersList : std::string("the old ") + c.file;
        if (!usersList)
            WriteOldFile(path, old);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (holdOpen) {
            held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        } else {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        Run run = InstallWith(dest, kAllOptions, AnswerNo);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);

        ExpectUsersFilesKept(dest);
        switch (c.outcome) {
        case Outcome::Completed:
            ExpectCompleted(run);
            EXPECT_FALSE(ShowedQuestion(run));
            ExpectCompleteInstall(dest, true);
            // A replaced macro list is kept in Backup (the program's own
            // files are overwritten by design).
            if (lstrcmpA(c.file, "System.krl") == 0) {
                EXPECT_EQ(ReadFile(dest + "\\Backup\\System.krl"), old);
            }
            break;
        case Outcome::Restart:
            ExpectCompleted(run);
            ASSERT_FALSE(run.boxes.empty()); // after the summary of the user's list
            EXPECT_EQ(run.boxes.back().text, kRestartText);
            EXPECT_EQ(ReadFile(path), old);
            EXPECT_TRUE(SameBytes(path + ".new1.kr2tmp", Source(c.file)));
            for (const char* icon : {"kestrune.ico", "record.ico"})
                EXPECT_TRUE(SameBytes(dest + "\\" + icon, Source(icon))) << icon;
            ExpectRegistered(dest);
            ExpectNotStarted();
            break;
        case Outcome::Asked:
            ExpectRetry(run);
            EXPECT_TRUE(ShowedQuestion(run));
            EXPECT_EQ(ReadFile(path), old);
            ExpectNothingOfAnInstall();
            break;
        case Outcome::Stopped:
            ExpectRetry(run);
            EXPECT_FALSE(HasProgramBox(run));
            EXPECT_EQ(ReadFile(path), old);
            ExpectNothingOfAnInstall();
            break;
        }
    }
};

// A program's file that cannot even be renamed is replaced at the restart;
// a macro list that cannot go to Backup counts as not copied.
TEST_F(LockedFiles, HeldOpenFilesWaitForTheRestartOrCountAsNotCopied) {
    const LockCase kCases[] = {
        {"kr.exe", Outcome::Restart},
        {"license.txt", Outcome::Restart},
        // "*.ico" goes file by file once one of them is held.
        {"macrolist.ico", Outcome::Restart},
        {"System.krl", Outcome::Asked}, // the old file cannot go to Backup
        {"List.krl", Outcome::Completed},
    };
    int n = 0;
    for (const LockCase& c : kCases)
        Check(c, true, n++);
}

// Wine's shell overwrites read-only files; Windows' refuses with its own
// error, which makes these the held-open outcomes there.
TEST_F(LockedFiles, ReadOnlyFilesAreReplacedAndTheUsersListKept) {
    const LockCase kCases[] = {
        {"kr.exe", Outcome::Completed},
        {"license.txt", Outcome::Completed},
        {"System.krl", Outcome::Completed},
        {"List.krl", Outcome::Completed},
    };
    int n = 0;
    for (const LockCase& c : kCases)
        Check(c, false, n++);
}

// Told that a file was not copied, the user may go on: the install is then
// registered, with the held file as it was.
TEST_F(LockedFiles, TheUserToldOfAHeldFileMayGoOn) {
    std::string dest = Dest();
    PlantUsersFiles(dest);
    WriteOldFile(dest + "\\System.krl", "the old System.krl");
    HANDLE held = CreateFileA((dest + "\\System.krl").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Run run = InstallWith(dest, kCopy | kRegistry); // the question answered Yes
    CloseHandle(held);
    ExpectCompleted(run);
    EXPECT_TRUE(ShowedQuestion(run));
    EXPECT_EQ(ReadFile(dest + "\\System.krl"), "the old System.krl");
    ExpectUsersFilesKept(dest);
    ExpectRegistered(dest);
}

// ---------------------------------------------------------------------------
// Destination folders the user should not have typed.

class HostileFolder : public FaultCase {
  protected:
    void TearDown() override {
        FaultCase::TearDown();
        RemoveTree("Q:\\kr2");
    }

    // The folder is refused with `text` in one error box; the dialog stays
    // for another try, showing `shown`, and nothing was made anywhere.
    void Refused(const std::string& typed, const std::string& text, const std::string& shown) {
        std::vector<std::string> distBefore = ListFolder(dist_);
        Run run = Try(typed);
        ExpectRetry(run);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].caption, "Error");
        EXPECT_EQ(run.boxes[0].text, text);
        EXPECT_EQ(ItemText(dialog_, IDC_DESTDIR), shown);
        EXPECT_EQ(ListFolder(dist_), distBefore);
        EXPECT_EQ(ListFolder(scratch_), std::vector<std::string>{"dist"});
        ExpectNothingOfAnInstall();
    }
    void Refused(const std::string& typed) {
        Refused(typed, "Can't create folder " + typed, typed);
    }

    // A relative folder installs into the full path it names from the
    // setup folder, and that full path is what is registered and linked.
    void InstallsAsFullPath(const std::string& typed, const std::string& full) {
        ASSERT_FALSE(FolderExists(full));
        Run run = InstallWith(typed, kAllOptions);
        ExpectCompleted(run);
        EXPECT_TRUE(run.boxes.empty());
        ExpectCompleteInstall(full, false);
    }
};

TEST_F(HostileFolder, UnusableFoldersAreRefusedByName) {
    const std::string kLong = scratch_ + "\\" + std::string(300 - scratch_.size() - 1, 'x');
    ASSERT_EQ(kLong.size(), 300u);
    ASSERT_EQ(GetDriveTypeA("K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "K: is mapped";
    const std::string kCases[] = {
        kLong,         // past MAX_PATH
        "C:\\kr<2>",   // characters Windows forbids
        "C:\\a|b",     //
        "C:\\kr\"2\"", //
        "C:\\kr*",     // would match C:\kr-e2e as a search
        "C:\\kr?e2e",  // the same with one character wild
        "K:\\kr2",     // no such drive
    };
    for (const std::string& typed : kCases) {
        SCOPED_TRACE(typed);
        ForgetRow();
        Refused(typed);
    }
}

TEST_F(HostileFolder, AFileOfTheUsersIsNoFolder) {
    std::string path = scratch_ + "\\my notes.txt";
    WriteOldFile(path, kUsersNotes);
    Run run = InstallWith(path, kAllOptions);
    ExpectRetry(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, "Can't create folder " + path);
    EXPECT_EQ(ReadFile(path), kUsersNotes);
    ExpectNothingOfAnInstall();
}

// Relative folders are resolved from the setup folder, the program's
// current directory, and the full path is put into the folder box.
TEST_F(HostileFolder, RelativeFolderThatCannotBeMadeIsShownInFull) {
    std::string full = dist_ + "\\no-parent\\kr2";
    Refused("no-parent\\kr2", "Can't create folder " + full, full);
}

TEST_F(HostileFolder, DriveRelativeFolderOnNoDriveIsShownInFull) {
    ASSERT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "D: is mapped";
    Refused("D:kr2", "Can't create folder D:\\kr2", "D:\\kr2");
}

TEST_F(HostileFolder, TheSetupFolderTypedAsDotIsRefused) {
    Refused(".", kSameFolderText, dist_);
    Refused("..\\dist", kSameFolderText, dist_);
    Refused(dist_ + "\\.", kSameFolderText, dist_);
}

TEST_F(HostileFolder, RelativeFoldersInstallIntoTheirFullPath) {
    const struct {
        std::string typed, full;
    } kCases[] = {
        {"kr2", dist_ + "\\kr2"},
        {"..\\kr2", scratch_ + "\\kr2"},
        {"Q:kr2", "Q:\\kr2"}, // drive-relative: the root of a drive with no current folder
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.typed);
        ForgetRow();
        InstallsAsFullPath(c.typed, c.full);
    }
}

// A folder that can be made, but whose longest file names take the path
// past MAX_PATH: those files are not copied, and the user is asked.
TEST_F(HostileFolder, FolderTooLongForSomeFileNamesAsks) {
    // 240 characters: "Convert old macros.krl" makes a path of 263, "pcrepattern.html",
    // the longest name that stops the run, 257.
    std::string folder = scratch_ + "\\" + std::string(240 - scratch_.size() - 1, 'f');
    ASSERT_EQ(folder.size(), 240u);
    Run run = InstallWith(folder, kAllOptions, AnswerNo);
    ExpectRetry(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(ShowedQuestion(run));
    EXPECT_FALSE(FileExists(folder + "\\Convert old macros.krl"));
    EXPECT_EQ(ReadFile(folder + "\\pcrepattern.html"), ReadFile(Source("pcrepattern.html")));
    ExpectNothingOfAnInstall();
}

} // namespace
} // namespace e2e
