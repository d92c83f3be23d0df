// File search, shell file operations and shell links, against Wine's real
// file system, shell and COM. Also home of the helpers that the install
// policy tests share (file_helpers.h).
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "files.h"
#include "process.h"

#include "file_helpers.h"

namespace kr_files_test {

std::string ReadAll(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "<missing>";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "<folder>";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got)
        text.append(buffer, got);
    CloseHandle(h);
    return text;
}

void WriteAll(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD put = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(h);
    ASSERT_EQ(put, text.size()) << path;
}

void SetWriteTime(const std::string& path, FILETIME time) {
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &time)) << path;
    CloseHandle(h);
}

// A failed search closes the program-wide one, so that test folders can go.
void CloseProgramSearch() {
    (void)FindFile("C:\\kr-tests\\no such entry", FindAny);
}

struct DialogWatchdog::State {
    struct Seen {
        HWND window;
        DWORD since;
    };
    HANDLE stop;
    HANDLE thread;
    volatile LONG closed = 0;
    std::vector<Seen> seen;

    static BOOL CALLBACK Visit(HWND window, LPARAM param) {
        auto* self = reinterpret_cast<State*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        char cls[16] = {};
        GetClassNameA(window, cls, sizeof cls);
        if (pid != GetCurrentProcessId() || lstrcmpA(cls, "#32770") != 0 ||
            !IsWindowVisible(window))
            return TRUE;
        DWORD now = GetTickCount();
        for (Seen& seen : self->seen) {
            if (seen.window != window)
                continue;
            if (now - seen.since > 10000) {
                PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
                PostMessageA(window, WM_COMMAND, IDOK, 0);
                PostMessageA(window, WM_CLOSE, 0, 0);
                InterlockedIncrement(&self->closed);
                seen.since = now;
            }
            return TRUE;
        }
        self->seen.push_back({window, now});
        return TRUE;
    }
    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<State*>(param);
        while (WaitForSingleObject(self->stop, 200) == WAIT_TIMEOUT)
            EnumWindows(&Visit, reinterpret_cast<LPARAM>(self));
        return 0;
    }
};

DialogWatchdog::DialogWatchdog() : state_(new State) {
    state_->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state_->thread = CreateThread(nullptr, 0, &State::Run, state_, 0, nullptr);
}

DialogWatchdog::~DialogWatchdog() {
    SetEvent(state_->stop);
    WaitForSingleObject(state_->thread, 30000);
    CloseHandle(state_->thread);
    CloseHandle(state_->stop);
    delete state_;
}

long DialogWatchdog::Closed() const {
    return state_->closed;
}

} // namespace kr_files_test

using namespace kr_files_test;

namespace {

// One SHFileOperationA request as the program made it.
struct ShellCall {
    UINT func;
    std::string from; // entries joined with '|'
    std::string to;   // "(null)" for no list
    FILEOP_FLAGS flags;
    bool plainRequest; // no owner window, name mappings or progress title
};

std::vector<ShellCall>* gCalls;
int gFixedResult;
decltype(&SHFileOperationA) gRealShellOp;

std::string ReadList(const char* list) {
    if (!list)
        return "(null)";
    std::string text;
    // Entries end in one NUL, the list in two.
    for (int i = 0; i < 2048; i++) {
        if (list[i] == 0) {
            if (list[i + 1] == 0)
                return text;
            text += '|';
        } else {
            text += list[i];
        }
    }
    return text + "...";
}

int WINAPI RecordShellOp(SHFILEOPSTRUCTA* op) {
    gCalls->push_back({op->wFunc, ReadList(op->pFrom), ReadList(op->pTo), op->fFlags,
                       !op->hwnd && !op->hNameMappings && !op->lpszProgressTitle});
    return gFixedResult;
}

// The program reaches SHFileOperationA through this executable's import
// table: the slot is found by name and pointed at the recorder.
void** FindImportSlot(const char* dll, const char* function) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name; imp++) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + imp->Name), dll) != 0)
            continue;
        DWORD names = imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + names);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slot->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value) {
    DWORD old;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

// Records the program's SHFileOperationA requests while it lives, and
// answers each with `result`, leaving the disk alone.
class ShellCallLog {
  public:
    explicit ShellCallLog(int result);
    ~ShellCallLog();
    ShellCallLog(const ShellCallLog&) = delete;
    ShellCallLog& operator=(const ShellCallLog&) = delete;
    bool Installed() const;
    std::vector<ShellCall> calls;

  private:
    void** slot_;
};

ShellCallLog::ShellCallLog(int result) : slot_(FindImportSlot("shell32.dll", "SHFileOperationA")) {
    if (!slot_)
        return;
    gCalls = &calls;
    gFixedResult = result;
    gRealShellOp = reinterpret_cast<decltype(&SHFileOperationA)>(*slot_);
    WriteSlot(slot_, reinterpret_cast<void*>(&RecordShellOp));
}

ShellCallLog::~ShellCallLog() {
    if (slot_)
        WriteSlot(slot_, reinterpret_cast<void*>(gRealShellOp));
    gCalls = nullptr;
}

bool ShellCallLog::Installed() const {
    return slot_ != nullptr;
}

const char kRoot[] = "C:\\kr-tests\\files";

FILETIME Stamp(DWORD high, DWORD low) {
    FILETIME t;
    t.dwHighDateTime = high;
    t.dwLowDateTime = low;
    return t;
}

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CloseProgramSearch();
        RemoveTree(kRoot);
        MakeFolders(kRoot);
        savedSource_.Assign(SourceDir);
    }
    void TearDown() override {
        CloseProgramSearch();
        SourceDir.Assign(savedSource_);
        RemoveTree(kRoot);
        EXPECT_EQ(watchdog_.Closed(), 0) << "a shell window had to be closed";
    }
    static std::string Path(const char* rest) { return std::string(kRoot) + "\\" + rest; }

    DialogWatchdog watchdog_;

  private:
    Str savedSource_;
};

// --- FindFile ---------------------------------------------------------------

class FindFileTest : public FilesTest {};

TEST_F(FindFileTest, ModesOnFilesAndFolders) {
    WriteAll(Path("a.txt"), "a");
    MakeFolders(Path("sub"));
    struct Case {
        const char* path;
        int mode;
        const char* found; // null: nothing, and no search left open
    } cases[] = {
        {"a.txt", FindFiles, "a.txt"},
        {"a.txt", FindFolders, nullptr},
        {"a.txt", FindAny, "a.txt"},
        {"a.txt", 7, "a.txt"},
        {"A.TXT", FindFiles, "a.txt"},
        {"sub", FindFolders, "sub"},
        {"sub", FindFiles, nullptr},
        {"sub", FindAny, "sub"},
        {"sub", -1, "sub"},
        {"missing.txt", FindAny, nullptr},
        {"sub\\", FindAny, nullptr},
        {"nofolder\\a.txt", FindAny, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " mode " + std::to_string(c.mode));
        const char* name = FindFile(Path(c.path).c_str(), c.mode);
        if (c.found) {
            ASSERT_NE(name, nullptr);
            EXPECT_STREQ(name, c.found);
            EXPECT_EQ(name, FindFileData.cFileName);
            EXPECT_NE(FindFileHandle, INVALID_HANDLE_VALUE);
        } else {
            EXPECT_EQ(name, nullptr);
            EXPECT_EQ(FindFileHandle, INVALID_HANDLE_VALUE);
        }
    }
}

TEST_F(FindFileTest, WildcardWalkSkipsWhatTheModeRejects) {
    for (const char* name : {"a.txt", "b.txt", "c.dat"})
        WriteAll(Path(name), name);
    MakeFolders(Path("d.txt")); // a folder that the pattern matches
    MakeFolders(Path("sub"));
    struct Case {
        const char* pattern;
        int mode;
        std::set<std::string> names;
    } cases[] = {
        {"*.txt", FindFiles, {"a.txt", "b.txt"}},
        {"*", FindFiles, {"a.txt", "b.txt", "c.dat"}},
        {"*", FindFolders, {".", "..", "d.txt", "sub"}},
        {"*.txt", FindAny, {"a.txt", "b.txt", "d.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " mode " + std::to_string(c.mode));
        std::set<std::string> seen;
        const char* name = FindFile(Path(c.pattern).c_str(), c.mode);
        for (int guard = 0; name && guard < 20; guard++) {
            EXPECT_TRUE(seen.insert(name).second) << name;
            name = FindFile(nullptr, c.mode);
        }
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(seen, c.names);
        EXPECT_EQ(FindFileHandle, INVALID_HANDLE_VALUE);
        // An exhausted search stays closed.
        EXPECT_EQ(FindFile("", c.mode), nullptr);
    }
}

TEST_F(FindFileTest, NullPathWithoutOpenSearchFindsNothing) {
    ASSERT_EQ(FindFileHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFile(nullptr, FindAny), nullptr);
    EXPECT_EQ(FindFile("", FindAny), nullptr);
    EXPECT_EQ(FindFileHandle, INVALID_HANDLE_VALUE);
}

TEST_F(FindFileTest, NewSearchReplacesTheOpenOne) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        WriteAll(Path(name), name);
    ASSERT_NE(FindFile(Path("*.txt").c_str(), FindFiles), nullptr);
    ASSERT_NE(FindFileHandle, INVALID_HANDLE_VALUE);
    // The single-entry search is the one continued, not the older walk.
    EXPECT_STREQ(FindFile(Path("b.txt").c_str(), FindFiles), "b.txt");
    EXPECT_EQ(FindFile(nullptr, FindFiles), nullptr);
    EXPECT_EQ(FindFileHandle, INVALID_HANDLE_VALUE);
}

TEST_F(FindFileTest, TokensLookInTheirFolders) {
    MakeFolders(Path("kr"));
    WriteAll(Path("kr\\marker.txt"), "m");
    SourceDir.Assign(Path("kr\\").c_str());
    SetEnvironmentVariableA("KR_FILES_TEST", kRoot);
    struct Case {
        const char* path;
        const char* found;
    } cases[] = {
        {"$KR$\\marker.txt", "marker.txt"},
        {"$kr$\\*.txt", "marker.txt"},
        {"%KR_FILES_TEST%\\kr\\marker.txt", "marker.txt"},
        {"$KR$\\other.txt", nullptr},
        {"$NoSuchFolderToken$\\marker.txt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const char* name = FindFile(c.path, FindFiles);
        if (c.found)
            EXPECT_STREQ(name, c.found);
        else
            EXPECT_EQ(name, nullptr);
    }
    SetEnvironmentVariableA("KR_FILES_TEST", nullptr);
}

TEST_F(FindFileTest, FindDataDescribesTheLastEntry) {
    struct File {
        const char* name;
        size_t size;
        FILETIME written;
    } files[] = {
        {"one.bin", 1234, Stamp(0x01C0A000, 0x12345670)},
        {"two.bin", 70000, Stamp(0x01D5B000, 0x0ABCDEF0)},
    };
    for (const File& f : files) {
        WriteAll(Path(f.name), std::string(f.size, 'x'));
        SetWriteTime(Path(f.name), f.written);
    }
    int matched = 0;
    for (const char* name = FindFile(Path("*.bin").c_str(), FindFiles); name;
         name = FindFile(nullptr, FindFiles)) {
        for (const File& f : files) {
            if (lstrcmpA(name, f.name) != 0)
                continue;
            SCOPED_TRACE(name);
            matched++;
            EXPECT_EQ(FindFileData.nFileSizeLow, f.size);
            EXPECT_EQ(FindFileData.nFileSizeHigh, 0u);
            EXPECT_EQ(FindFileData.ftLastWriteTime.dwHighDateTime, f.written.dwHighDateTime);
            EXPECT_EQ(FindFileData.ftLastWriteTime.dwLowDateTime, f.written.dwLowDateTime);
            EXPECT_FALSE(FindFileData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    EXPECT_EQ(matched, 2);
}

// --- ShellFileOp and ShellDelete: the request -------------------------------

TEST(ShellRequest, FileOpFlagsFollowTheFourChoices) {
    ShellCallLog log(0x4242);
    ASSERT_TRUE(log.Installed());
    struct Case {
        bool rename, noConfirmation, showProgress, noErrorDisplay;
        UINT func;
        FILEOP_FLAGS flags;
    } cases[] = {
        {false, false, false, false, FO_COPY, 0x0C4}, {true, true, true, true, FO_MOVE, 0x4D8},
        {true, true, false, true, FO_MOVE, 0x4DC},    {false, true, true, false, FO_COPY, 0x0D0},
        {true, true, true, false, FO_COPY, 0x0D8},    {false, false, true, false, FO_COPY, 0x0C0},
        {true, false, true, false, FO_MOVE, 0x0C8},   {false, true, false, false, FO_MOVE, 0x0D4},
        {false, false, true, true, FO_COPY, 0x4C0},
    };
    // An unattended run never shows the shell's progress, errors or
    // questions.
    struct Restore {
        ~Restore() { SilentRun = false; }
    } restore;
    for (bool silent : {false, true}) {
        SilentRun = silent;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.flags);
            SCOPED_TRACE(silent ? "silent run" : "dialog run");
            log.calls.clear();
            // No such files: the call must not need them, nothing is done.
            Str from, to;
            from.Assign("C:\\kr-tests\\nowhere\\a.txt");
            to.Assign("C:\\kr-tests\\nowhere\\dest");
            EXPECT_EQ(ShellFileOp(from, to, c.func, c.rename, c.noConfirmation, c.showProgress,
                                  c.noErrorDisplay),
                      0x4242);
            ASSERT_EQ(log.calls.size(), 1u);
            EXPECT_EQ(log.calls[0].func, c.func);
            EXPECT_EQ(log.calls[0].flags, silent ? (c.flags | FOF_NO_UI) : c.flags);
            EXPECT_EQ(log.calls[0].from, "C:\\kr-tests\\nowhere\\a.txt");
            EXPECT_EQ(log.calls[0].to, "C:\\kr-tests\\nowhere\\dest");
            EXPECT_TRUE(log.calls[0].plainRequest);
        }
    }
}

TEST(ShellRequest, DeleteGoesToTheRecycleBinUnlessPermanent) {
    ShellCallLog log(0x75);
    ASSERT_TRUE(log.Installed());
    for (bool permanent : {false, true}) {
        SCOPED_TRACE(permanent);
        log.calls.clear();
        Str path;
        path.Assign("C:\\kr-tests\\nowhere\\old.lnk");
        EXPECT_EQ(ShellDelete(path, permanent), 0x75);
        ASSERT_EQ(log.calls.size(), 1u);
        EXPECT_EQ(log.calls[0].func, static_cast<UINT>(FO_DELETE));
        EXPECT_EQ(log.calls[0].flags, permanent ? 0x494 : 0x4D4);
        EXPECT_EQ(log.calls[0].from, "C:\\kr-tests\\nowhere\\old.lnk");
        EXPECT_EQ(log.calls[0].to, "(null)");
        EXPECT_TRUE(log.calls[0].plainRequest);
    }
}

// The byte after the terminator may hold anything before the call (a Str
// that grew and shrank); afterwards it ends the list, and nothing else moved.
TEST(ShellRequest, StrsGetTheirSecondNulAndNothingElse) {
    ShellCallLog log(0);
    ASSERT_TRUE(log.Installed());
    Str from, to, target;
    from.Assign("C:\\kr-tests\\nowhere\\a.txt");
    to.Assign("C:\\kr-tests\\nowhere");
    target.Assign("C:\\kr-tests\\nowhere\\b.txt");
    for (Str* s : {&from, &to, &target})
        s->data[s->len + 1] = 'X';
    const char* fromData = from.data;
    const char* toData = to.data;
    const char* targetData = target.data;
    ShellFileOp(from, to, FO_COPY, false, true, true, false);
    ShellDelete(target, true);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0].from, "C:\\kr-tests\\nowhere\\a.txt");
    EXPECT_EQ(log.calls[0].to, "C:\\kr-tests\\nowhere");
    EXPECT_EQ(log.calls[1].from, "C:\\kr-tests\\nowhere\\b.txt");
    struct Expect {
        Str* s;
        const char* data;
        const char* text;
    } expects[] = {{&from, fromData, "C:\\kr-tests\\nowhere\\a.txt"},
                   {&to, toData, "C:\\kr-tests\\nowhere"},
                   {&target, targetData, "C:\\kr-tests\\nowhere\\b.txt"}};
    for (const Expect& e : expects) {
        SCOPED_TRACE(e.text);
        EXPECT_EQ(e.s->data, e.data);
        EXPECT_EQ(Text(*e.s), e.text);
        EXPECT_EQ(e.s->data[e.s->len], 0);
        EXPECT_EQ(e.s->data[e.s->len + 1], 0);
    }
}

// --- ShellFileOp on disk ------------------------------------------------------

class ShellFileOpTest : public FilesTest {
  protected:
    void SetUp() override {
        FilesTest::SetUp();
        MakeFolders(Path("src"));
        MakeFolders(Path("dst"));
    }
    int Copy(const char* name, const std::string& to, bool rename) {
        Str from, dest;
        from.Assign(Path(("src\\" + std::string(name)).c_str()).c_str());
        dest.Assign(to.c_str());
        return ShellFileOp(from, dest, FO_COPY, rename, true, true, false);
    }
};

// Wine overwrites despite FOF_RENAMEONCOLLISION: the names are chosen here.
TEST_F(ShellFileOpTest, RenameOnCollisionNeverOverwrites) {
    WriteAll(Path("dst\\a.txt"), "old");
    MakeFolders(Path("dst\\Copy (3) of a.txt")); // taken names are skipped, folders too
    struct Step {
        const char* content;
        const char* destination; // with and without the trailing backslash
        const char* landsAs;
    } steps[] = {
        {"v1", "dst\\", "Copy of a.txt"},
        {"v2", "dst", "Copy (2) of a.txt"},
        {"v3", "dst\\", "Copy (4) of a.txt"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.landsAs);
        WriteAll(Path("src\\a.txt"), s.content);
        EXPECT_EQ(Copy("a.txt", Path(s.destination), true), 0);
        EXPECT_EQ(ReadAll(Path("dst\\a.txt")), "old");
        EXPECT_EQ(ReadAll(Path((std::string("dst\\") + s.landsAs).c_str())), s.content);
    }
    EXPECT_EQ(ReadAll(Path("dst\\Copy (3) of a.txt")), "<folder>");
}

// The request is made exactly as asked when there is nothing to rename, or
// when the source is a pattern; the caller's Strs only gain their second NUL.
TEST_F(ShellFileOpTest, RenameRequestIsUntouchedWithoutACollision) {
    WriteAll(Path("src\\a.txt"), "new");
    WriteAll(Path("src\\b.txt"), "b");
    WriteAll(Path("dst\\a.txt"), "old");
    struct Case {
        const char* source;
        const char* target;
        const char* sentTo;
    } cases[] = {
        {"src\\b.txt", "dst\\", "dst\\"},              // no entry of that name
        {"src\\*.txt", "dst\\", "dst\\"},              // a pattern
        {"src\\?.txt", "dst", "dst"},                  // a pattern
        {"src\\a.txt", "dst\\", "dst\\Copy of a.txt"}, // the one rewritten case
    };
    ShellCallLog log(0);
    ASSERT_TRUE(log.Installed());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        log.calls.clear();
        Str from, to;
        from.Assign(Path(c.source).c_str());
        to.Assign(Path(c.target).c_str());
        to.data[to.len + 1] = 'X';
        EXPECT_EQ(ShellFileOp(from, to, FO_COPY, true, true, true, false), 0);
        ASSERT_EQ(log.calls.size(), 1u);
        EXPECT_EQ(log.calls[0].from, Path(c.source));
        EXPECT_EQ(log.calls[0].to, Path(c.sentTo));
        EXPECT_EQ(log.calls[0].flags, 0xD8);
        EXPECT_EQ(Text(to), Path(c.target));
        EXPECT_EQ(to.data[to.len + 1], 0);
    }
}

// --- ShellDelete on disk ------------------------------------------------------

class ShellDeleteTest : public FilesTest {};

// Wine's Recycle Bin is the XDG trash of the Unix user, when it exists.
TEST_F(ShellDeleteTest, RecycleBinKeepsWhatPermanentDeletes) {
    char unixData[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("XDG_DATA_HOME", unixData, MAX_PATH) || unixData[0] != '/')
        GTEST_SKIP() << "no XDG data folder to hold Wine's trash";
    std::string trash = WinPath(std::string(unixData) + "/Trash");
    MakeFolders(trash + "\\files");
    MakeFolders(trash + "\\info");
    for (bool permanent : {false, true}) {
        SCOPED_TRACE(permanent);
        std::string name = "kr-trash-" + std::to_string(GetCurrentProcessId()) +
                           (permanent ? "-gone.txt" : "-kept.txt");
        WriteAll(Path(name.c_str()), "to delete");
        Str path;
        path.Assign(Path(name.c_str()).c_str());
        EXPECT_EQ(ShellDelete(path, permanent), 0);
        EXPECT_EQ(ReadAll(Path(name.c_str())), "<missing>");
        std::string trashed = trash + "\\files\\" + name;
        EXPECT_EQ(ReadAll(trashed), permanent ? "<missing>" : "to delete");
        RemoveTree(trashed);
        RemoveTree(trash + "\\info\\" + name + ".trashinfo");
    }
}

TEST_F(ShellDeleteTest, FolderGoesWithItsContent) {
    for (bool permanent : {true, false}) {
        SCOPED_TRACE(permanent);
        MakeFolders(Path("Kestrune 2\\deeper"));
        WriteAll(Path("Kestrune 2\\Help.lnk"), "h");
        WriteAll(Path("Kestrune 2\\deeper\\x.txt"), "x");
        SetFileAttributesA(Path("Kestrune 2\\Help.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
        Str path;
        path.Assign(Path("Kestrune 2").c_str());
        EXPECT_EQ(ShellDelete(path, permanent), 0);
        EXPECT_EQ(ReadAll(Path("Kestrune 2")), "<missing>");
    }
}

TEST_F(ShellDeleteTest, PatternDeletesFilesOnly) {
    MakeFolders(Path("w\\sub"));
    WriteAll(Path("w\\a.txt"), "a");
    WriteAll(Path("w\\sub\\b.txt"), "b");
    Str path;
    path.Assign(Path("w\\*").c_str());
    EXPECT_EQ(ShellDelete(path, true), 0);
    EXPECT_EQ(ReadAll(Path("w\\a.txt")), "<missing>");
    EXPECT_EQ(ReadAll(Path("w\\sub\\b.txt")), "b");
}

TEST_F(ShellDeleteTest, MissingPathFails) {
    Str path;
    path.Assign(Path("gone.lnk").c_str());
    EXPECT_NE(ShellDelete(path, true), 0);
}

// --- CreateShortcut -----------------------------------------------------------

// The links stay in the prefix after the run: lnk-check.sh reads them
// with lnkinfo, and expects what these tests write.
const char kLinks[] = "C:\\kr-tests\\links";
const char kTargets[] = "C:\\kr-tests\\targets";

class CreateShortcutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        com_ = CoInitialize(nullptr);
        MakeFolders(kLinks);
        MakeFolders(kTargets);
        WriteAll(Target("tool.exe"), "MZ");
        WriteAll(Target("help.hlp"), "help");
    }
    void TearDown() override {
        if (SUCCEEDED(com_))
            CoUninitialize();
    }
    static std::string Link(const char* name) { return std::string(kLinks) + "\\" + name; }
    static std::string Target(const char* name) { return std::string(kTargets) + "\\" + name; }

    HRESULT com_ = E_FAIL;
};

TEST_F(CreateShortcutTest, SavedLinksReadBack) {
    const WORD hotkey = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
    struct Case {
        const char* link;
        std::string target;
        const char* icon; // the icon file is the target when set
        int iconIndex;
        const char* arguments;
        const char* workingDir;
        WORD hotkey;
    } cases[] = {
        {"full.lnk", Target("tool.exe"), "tool.exe", 1, "uninstall", kTargets, hotkey},
        {"bare.lnk", Target("help.hlp"), nullptr, 0, nullptr, nullptr, 0},
        {"startup.lnk", Target("tool.exe"), nullptr, 5, "S", kTargets, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        std::string icon = c.icon ? Target(c.icon) : "";
        DeleteFileA(Link(c.link).c_str()); // no link of an earlier run
        ASSERT_EQ(ReadAll(Link(c.link)), "<missing>");
        EXPECT_EQ(CreateShortcut(Link(c.link).c_str(), c.target.c_str(),
                                 c.icon ? icon.c_str() : nullptr, c.iconIndex, c.arguments,
                                 c.workingDir, c.hotkey),
                  0);
        kr_test::Link r = ReadLink(Link(c.link));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.target, c.target);
        EXPECT_EQ(r.arguments, c.arguments ? c.arguments : "");
        EXPECT_EQ(r.workingDir, c.workingDir ? c.workingDir : "");
        EXPECT_EQ(r.iconFile, icon);
        // Without an icon file the index is not passed on.
        EXPECT_EQ(r.iconIndex, c.icon ? c.iconIndex : 0);
        EXPECT_EQ(r.hotkey, c.hotkey);
    }
}

TEST_F(CreateShortcutTest, ExistingLinkIsReplaced) {
    for (const char* arguments : {"first", "second"})
        EXPECT_EQ(CreateShortcut(Link("again.lnk").c_str(), Target("tool.exe").c_str(), nullptr, 0,
                                 arguments, nullptr, 0),
                  0);
    EXPECT_EQ(ReadLink(Link("again.lnk")).arguments, "second");
}

TEST_F(CreateShortcutTest, LinkInAMissingFolderFailsOnSave) {
    std::string link = std::string(kLinks) + "\\no folder\\x.lnk";
    EXPECT_EQ(CreateShortcut(link.c_str(), Target("tool.exe").c_str(), Target("tool.exe").c_str(),
                             1, "S", kTargets, 0),
              6);
    EXPECT_EQ(ReadAll(link), "<missing>");
}

// Windows accepts a missing target, Wine answers S_FALSE: what the shell
// of this system answers, asked here directly, decides between a saved
// link (0) and none (3).
TEST_F(CreateShortcutTest, MissingTargetSavesOnlyWhenAccepted) {
    IShellLinkW* probe = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&probe)),
              S_OK);
    HRESULT accepted = probe->SetPath(Wide(Target("none.exe")).c_str());
    probe->Release();
    ASSERT_TRUE(accepted == S_OK || accepted == S_FALSE) << std::hex << accepted;
    DeleteFileA(Link("dangling.lnk").c_str()); // no link of an earlier run
    EXPECT_EQ(CreateShortcut(Link("dangling.lnk").c_str(), Target("none.exe").c_str(), nullptr, 0,
                             nullptr, nullptr, 0),
              accepted == S_OK ? 0 : 3);
    EXPECT_EQ(ReadAll(Link("dangling.lnk")) != "<missing>", accepted == S_OK);
}

// The link name goes to the shell as UTF-16 through the ANSI code page,
// which the manifest makes UTF-8: characters of two, three and four bytes
// (the last one two UTF-16 units), more units than a byte count would give
// in no case.
TEST_F(CreateShortcutTest, LinkNameIsConvertedThroughTheCodePage) {
    ASSERT_EQ(GetACP(), 65001u);
    // "Ярлык 快捷 " and U+1F517 (link symbol)
    std::string link = Link("\xD0\xAF\xD1\x80\xD0\xBB\xD1\x8B\xD0\xBA \xE5\xBF\xAB\xE6\x8D\xB7 "
                            "\xF0\x9F\x94\x97.lnk");
    EXPECT_EQ(
        CreateShortcut(link.c_str(), Target("tool.exe").c_str(), nullptr, 0, nullptr, nullptr, 0),
        0);
    EXPECT_NE(GetFileAttributesW(L"C:\\kr-tests\\links\\\x042F\x0440\x043B\x044B\x043A "
                                 L"\x5FEB\x6377 \xD83D\xDD17.lnk"),
              INVALID_FILE_ATTRIBUTES);
    DeleteFileA(link.c_str());
}

} // namespace
