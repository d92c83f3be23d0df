// The per-file install policy against Wine's real file system and shell.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"
#include "cmdline.h"
#include "dialogs.h"
#include "install_file.h"
#include "plan.h"
#include "register.h"
#include "state.h"
#include "uninstall.h"

#include "file_helpers.h"

using namespace kr_files_test;

namespace {

const char kRoot[] = "C:\\kr-tests\\install";
const FILETIME kOld = {0x11111110, 0x01C9A000}; // low, high
const FILETIME kNew = {0x22222220, 0x01D9B000};

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// "content@old", "content@new" (by last-write time), "+ro" when read-only;
// "<missing>" or "<folder>".
std::string Describe(const std::string& path) {
    std::string text = ReadAll(path);
    if (text == "<missing>" || text == "<folder>")
        return text;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return text + "@?";
    text += SameTime(data.ftLastWriteTime, kOld)   ? "@old"
            : SameTime(data.ftLastWriteTime, kNew) ? "@new"
                                                   : "@other";
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        text += "+ro";
    return text;
}

LRESULT CALLBACK CountApp(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int gAppMessages;

class InstallFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CloseProgramSearch();
        RemoveTree(kRoot);
        savedSource_.Assign(SourceDir);
        savedDest_.Assign(DestDir);
        savedDialog_ = MainDialog;
        SourceDir.Assign((std::string(kRoot) + "\\src\\").c_str());
        DestDir.Assign((std::string(kRoot) + "\\dst\\").c_str());
        Fresh();
        WNDCLASSA cls = {};
        cls.lpfnWndProc = &CountApp;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = "KrInstallFileTest";
        RegisterClassA(&cls);
        // Hidden: stands in for the install dialog, owner of the pump.
        MainDialog = CreateWindowExA(0, "KrInstallFileTest", "", WS_OVERLAPPED, 0, 0, 10, 10,
                                     nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(MainDialog, nullptr);
    }
    void TearDown() override {
        CloseProgramSearch();
        DestroyWindow(MainDialog);
        MainDialog = savedDialog_;
        SourceDir.Assign(savedSource_);
        DestDir.Assign(savedDest_);
        RemoveTree(kRoot);
        EXPECT_EQ(watchdog_.Closed(), 0) << "a shell window had to be closed";
    }
    // Empty folders, empty lists.
    void Fresh() {
        CloseProgramSearch();
        RemoveTree(kRoot);
        MakeFolders(std::string(kRoot) + "\\src");
        MakeFolders(std::string(kRoot) + "\\dst");
        ReplacedList.Assign("");
        CopiedAsNewList.Assign("");
    }
    static std::string Src(const std::string& name) { return Text(SourceDir) + name; }
    static std::string Dst(const std::string& name) { return Text(DestDir) + name; }
    static void Put(const std::string& path, const std::string& text, FILETIME time) {
        WriteAll(path, text);
        SetWriteTime(path, time);
    }

    DialogWatchdog watchdog_;

  private:
    Str savedSource_;
    Str savedDest_;
    HWND savedDialog_ = nullptr;
};

LRESULT CALLBACK CountApp(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        gAppMessages++;
    return DefWindowProcA(window, message, wParam, lParam);
}

enum Before {
    NoFile,           // nothing of that name in the destination
    SameStamp,        // other content, equal last-write time and size
    SameContentOlder, // the same bytes, an older last-write time
    FolderOfThatName, // a folder where the file would be
    ReadOnlyOlder,    // other content, older, read-only
};

struct PolicyCase {
    const char* policy;
    Before before;
    const char* dst; // the file (or folder) of that name afterwards
    const char* backup;
    const char* copyOf;
    bool replaced, copiedAsNew;
};

const char kName[] = "System.krl";
const char kNewText[] = "NEW list";

// Wine answers 0 for a copy onto a folder, and overwrites read-only files;
// Windows refuses both: "dst" marked '|' holds the outcome of each road.
const PolicyCase kPolicyCases[] = {
    {"overwrite", NoFile, "NEW list@new", "<missing>", "<missing>", false, false},
    {"overwrite", SameStamp, "NEW list@new", "<missing>", "<missing>", false, false},
    {"overwrite", SameContentOlder, "NEW list@new", "<missing>", "<missing>", false, false},
    {"overwrite", FolderOfThatName, "<folder>", "<missing>", "<missing>", false, false},
    {"overwrite", ReadOnlyOlder, "NEW list@new|user's list@old+ro", "<missing>", "<missing>", false,
     false},

    {"keep", NoFile, "NEW list@new", "<missing>", "<missing>", false, false},
    {"keep", SameStamp, "OLD list@new", "<missing>", "<missing>", false, false},
    {"keep", SameContentOlder, "NEW list@old", "<missing>", "<missing>", false, false},
    {"keep", FolderOfThatName, "<folder>", "<missing>", "<missing>", false, false},
    {"keep", ReadOnlyOlder, "user's list@old+ro", "<missing>", "<missing>", false, false},

    {"backup", NoFile, "NEW list@new", "<missing>", "<missing>", false, false},
    {"backup", SameStamp, "OLD list@new", "<missing>", "<missing>", false, false},
    {"backup", SameContentOlder, "NEW list@new", "NEW list@old", "<missing>", true, false},
    {"backup", FolderOfThatName, "<folder>", "<missing>", "<missing>", false, false},
    {"backup", ReadOnlyOlder, "NEW list@new", "user's list@old+ro", "<missing>", true, false},

    {"copyAsNew", NoFile, "NEW list@new", "<missing>", "<missing>", false, false},
    {"copyAsNew", SameStamp, "OLD list@new", "<missing>", "<missing>", false, false},
    {"copyAsNew", SameContentOlder, "NEW list@old", "<missing>", "NEW list@new", false, true},
    // The folder is not an old file to keep, but its name is taken all the same.
    {"copyAsNew", FolderOfThatName, "<folder>", "<missing>", "NEW list@new", false, false},
    {"copyAsNew", ReadOnlyOlder, "user's list@old+ro", "<missing>", "NEW list@new", false, true},
};

TEST_F(InstallFileTest, EveryPolicyAgainstEveryDestination) {
    for (const PolicyCase& c : kPolicyCases) {
        SCOPED_TRACE(std::string(c.policy) + " before " + std::to_string(c.before));
        Fresh();
        Put(Src(kName), kNewText, kNew);
        switch (c.before) {
        case NoFile:
            break;
        case SameStamp:
            Put(Dst(kName), "OLD list", kNew);
            break;
        case SameContentOlder:
            Put(Dst(kName), kNewText, kOld);
            break;
        case FolderOfThatName:
            MakeFolders(Dst(kName));
            break;
        case ReadOnlyOlder:
            Put(Dst(kName), "user's list", kOld);
            SetFileAttributesA(Dst(kName).c_str(), FILE_ATTRIBUTE_READONLY);
            break;
        }
        std::string policy = c.policy;
        int result =
            InstallFile(kName, policy == "backup", policy == "copyAsNew", policy == "keep");

        std::string dst = c.dst;
        size_t bar = dst.find('|');
        if (bar != std::string::npos) {
            // Either copied (result 0) or refused with the old file intact.
            EXPECT_EQ(Describe(Dst(kName)), result == 0 ? dst.substr(0, bar) : dst.substr(bar + 1));
        } else {
            EXPECT_EQ(Describe(Dst(kName)), dst);
            // A folder where the file should go is not a copied file (Wine's
            // shell answers 0 for it, Windows' an error).
            if (c.before != FolderOfThatName || policy == "copyAsNew") {
                EXPECT_EQ(result, 0);
            } else {
                EXPECT_NE(result, 0);
            }
        }
        EXPECT_EQ(Describe(Dst("Backup\\") + kName), c.backup);
        EXPECT_EQ(Describe(Dst("Copy of ") + kName), c.copyOf);
        EXPECT_EQ(Text(ReplacedList), c.replaced ? "System.krl\r\n" : "");
        EXPECT_EQ(Text(CopiedAsNewList), c.copiedAsNew ? "System.krl\r\n" : "");
        // The Backup folder is made only for a file that goes into it.
        EXPECT_EQ(ReadAll(Dst("Backup")), c.replaced ? "<folder>" : "<missing>");
    }
}

// The folders as given, with their trailing backslash: the old file lands
// in Backup, the new one in the destination, nothing beside them.
TEST_F(InstallFileTest, RequestsNameTheFoldersAsGiven) {
    Put(Src(kName), kNewText, kNew);
    Put(Dst(kName), "OLD list", kOld);
    EXPECT_EQ(InstallFile(kName, true, false, false), 0);
    EXPECT_EQ(Describe(Dst("Backup\\") + kName), "OLD list@old");
    EXPECT_EQ(Describe(Dst(kName)), "NEW list@new");
    EXPECT_EQ(ListFolder(std::string(kRoot) + "\\dst").size(), 2u);
    EXPECT_EQ(ListFolder(Dst("Backup")).size(), 1u);
    EXPECT_EQ(Describe(Src(kName)), "NEW list@new");
}

TEST_F(InstallFileTest, OnlyACopyBringsTheDialogBackAndPumps) {
    Put(Src(kName), kNewText, kNew);
    Put(Dst(kName), "OLD list", kOld);
    struct Case {
        bool keep;
        int delivered; // WM_APP messages dispatched by the call
    } cases[] = {{true, 0}, {false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keep);
        gAppMessages = 0;
        PostMessageA(MainDialog, WM_APP, 0, 0);
        EXPECT_EQ(InstallFile(kName, false, false, c.keep), 0);
        EXPECT_EQ(gAppMessages, c.delivered);
        MSG msg;
        while (PeekMessageA(&msg, MainDialog, WM_APP, WM_APP, PM_REMOVE)) {
        }
    }
}

// A copy keeps the last-write time, so the next run ("Retry") finds the
// same file and leaves it alone.
TEST_F(InstallFileTest, SecondRunFindsTheSameFile) {
    Put(Src(kName), kNewText, kNew);
    Put(Dst(kName), "OLD list", kOld);
    ASSERT_EQ(InstallFile(kName, true, false, false), 0);
    EXPECT_EQ(InstallFile(kName, true, false, false), 0);
    EXPECT_EQ(InstallFile(kName, false, true, false), 0);
    EXPECT_EQ(Describe(Dst(kName)), "NEW list@new");
    EXPECT_EQ(Describe(Dst("Backup\\System.krl")), "OLD list@old");
    EXPECT_EQ(Describe(Dst("Copy of System.krl")), "<missing>");
    EXPECT_EQ(Text(ReplacedList), "System.krl\r\n");
    EXPECT_EQ(Text(CopiedAsNewList), "");
    EXPECT_EQ(Describe(Dst("Backup\\Copy of System.krl")), "<missing>");
}

TEST_F(InstallFileTest, BackupFolderHoldingTheNameKeepsBoth) {
    MakeFolders(Dst("Backup"));
    Put(Dst("Backup\\System.krl"), "ancient list", kOld);
    Put(Dst(kName), "OLD list", kOld);
    Put(Src(kName), kNewText, kNew);
    EXPECT_EQ(InstallFile(kName, true, false, false), 0);
    Put(Src(kName), "NEWER list", kOld); // differs in time and size from the copy
    EXPECT_EQ(InstallFile(kName, true, false, false), 0);
    EXPECT_EQ(Describe(Dst("Backup\\System.krl")), "ancient list@old");
    EXPECT_EQ(Describe(Dst("Backup\\Copy of System.krl")), "OLD list@old");
    EXPECT_EQ(Describe(Dst("Backup\\Copy (2) of System.krl")), "NEW list@new");
    EXPECT_EQ(Describe(Dst(kName)), "NEWER list@old");
    EXPECT_EQ(Text(ReplacedList), "System.krl\r\nSystem.krl\r\n");
}

TEST_F(InstallFileTest, CopyAsNewKeepsTheUsersFileByteForByte) {
    const char kList[] = "List.krl";
    const char kUsers[] = "user\0list\r\n\xFF\x01 with zeros";
    const std::string users(kUsers, sizeof kUsers - 1);
    Put(Dst(kList), users, kOld);
    Put(Src(kList), "shipped list", kNew);
    EXPECT_EQ(InstallFile(kList, false, true, false), 0);
    EXPECT_EQ(InstallFile(kList, false, true, false), 0);
    EXPECT_EQ(ReadAll(Dst(kList)), users);
    EXPECT_EQ(Describe(Dst("Copy of List.krl")), "shipped list@new");
    EXPECT_EQ(Describe(Dst("Copy (2) of List.krl")), "shipped list@new");
    EXPECT_EQ(Text(CopiedAsNewList), "List.krl\r\nList.krl\r\n");
}

// The comparison looks at the low 32 bits of the size only.
TEST_F(InstallFileTest, SizesThatDifferAboveFourGigabytesCountAsSame) {
    Put(Src(kName), "abc", kNew);
    HANDLE h =
        CreateFileA(Dst(kName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = (1LL << 32) + 3; // sparse on the Unix side: costs nothing
    bool sized = SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    SetFileTime(h, nullptr, nullptr, &kNew);
    CloseHandle(h);
    ASSERT_TRUE(sized);
    EXPECT_TRUE(IsSameFile(Src(kName).c_str(), Dst(kName).c_str()));
    EXPECT_EQ(InstallFile(kName, true, false, false), 0);
    EXPECT_EQ(Describe(Dst("Backup")), "<missing>");
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(Dst(kName).c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeHigh, 1u);
    CloseProgramSearch();
    EXPECT_TRUE(DeleteFileA(Dst(kName).c_str()));
}

TEST_F(InstallFileTest, WildcardWithoutFlagsCopiesEveryMatch) {
    Put(Src("a.ico"), "new a", kNew);
    Put(Src("b.ico"), "new b", kNew);
    Put(Src("c.txt"), "c", kNew);
    Put(Dst("a.ico"), "old a", kOld);
    EXPECT_EQ(InstallFile("*.ico", false, false, false), 0);
    EXPECT_EQ(Describe(Dst("a.ico")), "new a@new");
    EXPECT_EQ(Describe(Dst("b.ico")), "new b@new");
    EXPECT_EQ(Describe(Dst("c.txt")), "<missing>");
}

// A missing source differs from any old file: the old one is moved away
// and the copy fails, but nothing is lost.
TEST_F(InstallFileTest, MissingSourceWithBackupLosesNothing) {
    Put(Dst(kName), "OLD list", kOld);
    EXPECT_NE(InstallFile(kName, true, false, false), 0);
    EXPECT_EQ(Describe(Dst("Backup\\System.krl")), "OLD list@old");
    EXPECT_EQ(Describe(Dst(kName)), "<missing>");
    EXPECT_EQ(Text(ReplacedList), "System.krl\r\n");
}

// When the old file cannot go to the Backup folder it must not be
// overwritten either: the file counts as not copied.
TEST_F(InstallFileTest, FailedBackupMoveLeavesTheOldFile) {
    enum Obstacle { FileNamedBackup, OldFileHeldOpen };
    for (Obstacle obstacle : {FileNamedBackup, OldFileHeldOpen}) {
        SCOPED_TRACE(obstacle);
        Fresh();
        Put(Src(kName), kNewText, kNew);
        Put(Dst(kName), "OLD list", kOld);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (obstacle == FileNamedBackup)
            Put(Dst("Backup"), "not a folder", kOld);
        else
            held = CreateFileA(Dst(kName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        int result = InstallFile(kName, true, false, false);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_NE(result, 0);
        EXPECT_EQ(Describe(Dst(kName)), "OLD list@old");
        EXPECT_EQ(Text(ReplacedList), "");
        if (obstacle == FileNamedBackup)
            EXPECT_EQ(Describe(Dst("Backup")), "not a folder@old");
        else
            EXPECT_EQ(Describe(Dst("Backup\\System.krl")), "<missing>");
    }
}

TEST_F(InstallFileTest, SeveralFlagsActInTheirOrder) {
    struct Case {
        bool backup, copyAsNew, keep;
        const char* dst;
        const char* backedUp; // what the Backup folder holds
        const char* replaced;
        const char* copiedAsNew;
    } cases[] = {
        {true, true, true, "OLD list@old", "<missing>", "", ""},
        // The old file is gone to Backup: nothing left to copy beside.
        {true, true, false, "NEW list@new", "OLD list@old", "System.krl\r\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dst);
        Fresh();
        Put(Src(kName), kNewText, kNew);
        Put(Dst(kName), "OLD list", kOld);
        EXPECT_EQ(InstallFile(kName, c.backup, c.copyAsNew, c.keep), 0);
        EXPECT_EQ(Describe(Dst(kName)), c.dst);
        EXPECT_EQ(Describe(Dst("Backup\\System.krl")), c.backedUp);
        EXPECT_EQ(Describe(Dst("Copy of System.krl")), "<missing>");
        EXPECT_EQ(Text(ReplacedList), c.replaced);
        EXPECT_EQ(Text(CopiedAsNewList), c.copiedAsNew);
    }
}

// A destination file held open without sharing by another program: Wine's
// shell answers 0 for a copy onto it and copies nothing. A macro list must
// count as not copied, and what was there stays; a program file waits for
// the restart, which replaces it.
TEST_F(InstallFileTest, DestinationHeldOpenIsNotReportedAsCopied) {
    struct Case {
        const char* policy;
        bool copied;        // result 0
        const char* dst;    // the held file afterwards
        const char* copyOf; // "Copy of System.krl"
    } cases[] = {
        {"overwrite", true, "OLD list@old", "<missing>"},
        {"keep", true, "OLD list@old", "<missing>"},
        // The move into Backup fails the same way; the old file stays.
        {"backup", false, "OLD list@old", "<missing>"},
        // The new list goes beside it under a name of its own.
        {"copyAsNew", true, "OLD list@old", "NEW list@new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        Fresh();
        Put(Src(kName), kNewText, kNew);
        Put(Dst(kName), "OLD list", kOld);
        HANDLE held =
            CreateFileA(Dst(kName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::string policy = c.policy;
        int result =
            InstallFile(kName, policy == "backup", policy == "copyAsNew", policy == "keep");
        CloseHandle(held);
        EXPECT_EQ(result == 0, c.copied) << result;
        EXPECT_EQ(Describe(Dst(kName)), c.dst);
        EXPECT_EQ(Describe(Dst("Copy of ") + kName), c.copyOf);
        EXPECT_EQ(Describe(Dst("Backup\\") + kName), "<missing>");
    }
}

// Folder and file name together past MAX_PATH: the shell copies nothing
// (Wine says 0 all the same), while a shorter name in the same folder fits.
TEST_F(InstallFileTest, TargetPastMaxPathIsNotReportedAsCopied) {
    // 240 characters: with "Convert old macros.krl" the path has 263, with "a.krl" 246.
    std::string folder = std::string(kRoot) + "\\" + std::string(240 - sizeof kRoot, 'd');
    ASSERT_EQ(folder.size(), 240u);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    DestDir.Assign((folder + "\\").c_str());
    const struct {
        const char* name;
        bool fits;
    } cases[] = {{"Convert old macros.krl", false}, {"a.krl", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Put(Src(c.name), kNewText, kNew);
        for (bool backup : {false, true}) {
            int result = InstallFile(c.name, backup, false, false);
            EXPECT_EQ(result == 0, c.fits) << result;
        }
        EXPECT_EQ(Describe(Dst(c.name)), c.fits ? "NEW list@new" : "<missing>");
    }
    EXPECT_EQ(Text(ReplacedList), "");
}

// --- IsSameFile -----------------------------------------------------------

TEST_F(InstallFileTest, IsSameFileComparesTimeAndLowSize) {
    struct Case {
        const char* what;
        FILETIME second;
        const char* secondText; // null: no such file; "" : a folder
        bool same;
    } cases[] = {
        {"equal time and size, other bytes", kNew, "xyz", true},
        {"other low time", {kNew.dwLowDateTime + 10, kNew.dwHighDateTime}, "abc", false},
        {"other high time", {kNew.dwLowDateTime, kNew.dwHighDateTime + 1}, "abc", false},
        {"other size", kNew, "abcd", false},
        {"second missing", kNew, nullptr, false},
        {"second a folder", kNew, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        Put(Src("f"), "abc", kNew);
        if (c.secondText && *c.secondText)
            Put(Dst("f"), c.secondText, c.second);
        else if (c.secondText)
            MakeFolders(Dst("f"));
        EXPECT_EQ(IsSameFile(Src("f").c_str(), Dst("f").c_str()), c.same);
        EXPECT_EQ(IsSameFile(Dst("f").c_str(), Src("f").c_str()), c.same);
    }
}

} // namespace
