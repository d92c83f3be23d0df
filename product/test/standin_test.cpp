// The stand-in product holds up its side of the installer's closing protocol
// and records what the end-to-end tests read back: the arguments, working
// folder, parent process and rights of each start, and the previous
// version's quit message.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "../standin.h"

namespace {

const DWORD kWaitMs = 10000;

// CTest hands over Unix paths; Wine maps the Unix root to drive Z:.
std::string WinPathFromEnv(const char* name) {
    const char* value = getenv(name);
    std::string path = std::string("Z:") + (value ? value : "");
    for (char& c : path)
        if (c == '/')
            c = '\\';
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

std::string KrExe() {
    return WinPathFromEnv("KR_DIST") + "\\kr.exe";
}
std::string OldKrExe() {
    return WinPathFromEnv("KR_BUILD") + "\\product\\oldkr.exe";
}

// A fresh folder with a blank in its name, removed with its files.
class Scratch {
  public:
    Scratch() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        static int serial;
        dir_ = std::string(temp) + "kr standin " + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++serial);
        CreateDirectoryA(dir_.c_str(), nullptr);
    }
    ~Scratch() {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir_ + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((dir_ + "\\" + fd.cFileName).c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir_.c_str());
    }
    const std::string& dir() const { return dir_; }
    std::string File(const char* name) const { return dir_ + "\\" + name; }

  private:
    std::string dir_;
};

// Sets an environment variable for one scope; children inherit it.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : name_(name) {
        char old[MAX_PATH];
        DWORD n = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = n != 0 && n < sizeof old;
        if (had_)
            old_ = old;
        SetEnvironmentVariableA(name, value);
    }
    ~EnvVar() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

  private:
    const char* name_;
    bool had_;
    std::string old_;
};

// A started program; one that is still running when the test ends is killed.
class Child {
  public:
    bool Start(const std::string& cmdLine, const std::string& cwd) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string line = cmdLine;
        return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              cwd.empty() ? nullptr : cwd.c_str(), &si, &pi_) != 0;
    }
    // The exit code, or STILL_ACTIVE when it has not ended within `ms`.
    DWORD WaitExit(DWORD ms) {
        DWORD code = STILL_ACTIVE;
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    // The top-level window of `windowClass` that this process owns.
    HWND Window(const char* windowClass, DWORD ms = kWaitMs) const {
        for (DWORD waited = 0;; waited += 20) {
            Search s = {pi_.dwProcessId, windowClass, nullptr};
            EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
            if (s.found || waited >= ms)
                return s.found;
            Sleep(20);
        }
    }
    ~Child() {
        if (!pi_.hProcess)
            return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, kWaitMs);
        }
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }

  private:
    struct Search {
        DWORD pid;
        const char* windowClass;
        HWND found;
    };
    static BOOL CALLBACK Match(HWND w, LPARAM lp) {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        char cls[64];
        if (pid == s->pid && GetClassNameA(w, cls, sizeof cls) && !strcmp(cls, s->windowClass)) {
            s->found = w;
            return FALSE;
        }
        return TRUE;
    }
    PROCESS_INFORMATION pi_ = {};
};

// The complete lines of the log, without their CR LF.
std::vector<std::string> LogLines(const std::string& path) {
    std::string data;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        char buf[4096];
        DWORD got;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got)
            data.append(buf, got);
        CloseHandle(f);
    }
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = data.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        lines.push_back(data.substr(start, end - start));
    return lines;
}

// Waits, within a bound, until the log holds `count` lines; returns them.
std::vector<std::string> WaitForLines(const std::string& path, size_t count) {
    std::vector<std::string> lines;
    for (DWORD waited = 0; (lines = LogLines(path)).size() < count && waited < kWaitMs;
         waited += 20)
        Sleep(20);
    return lines;
}

// What the stand-in records of a start by this test: it is this process's
// child, and carries this process's token.
std::string StartedByUs() {
    char elevated = '?';
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION e = {};
        DWORD size;
        if (GetTokenInformation(token, TokenElevation, &e, sizeof e, &size))
            elevated = e.TokenIsElevated ? '1' : '0';
        CloseHandle(token);
    }
    return "|parent=" + std::to_string(GetCurrentProcessId()) + "|elevated=" + elevated;
}

// The installer's own request: WM_CLOSE with wParam 1, sent with a time-out.
void AskToClose(HWND wnd) {
    DWORD_PTR result;
    ASSERT_NE(SendMessageTimeoutA(wnd, WM_CLOSE, 1, 0, SMTO_NORMAL, 5000, &result), 0);
}

// The stand-ins read the log's name from the registry before the variable
// these tests set: the installer's tests write it there for a product that
// the desktop shell starts. A test killed before its tear-down leaves the
// value behind, and these tests' lines would go to its log.
class StandInKr : public ::testing::Test {
  protected:
    void SetUp() override {
        LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, kStandInKey);
        ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    }
};
class StandInKrFaults : public StandInKr {};
class StandInOldKr : public StandInKr {};

struct StartCase {
    const char* arguments; // as typed after the program path
    const char* recorded;  // what the program sees of them
};

TEST_F(StandInKr, RecordsArgumentsAndFolderOfEveryStart) {
    const StartCase cases[] = {
        {" V", "V"},
        {" S", "S"},
        {"", ""},
        {"   LI \"C:\\My Macros\\List.krl\"", "LI \"C:\\My Macros\\List.krl\""},
    };
    Scratch work;
    EnvVar log("KR_STANDIN_LOG", work.File("log.txt").c_str());
    size_t n = 0;
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        Child kr;
        ASSERT_TRUE(kr.Start("\"" + KrExe() + "\"" + c.arguments, work.dir()));
        // Lines are appended: every earlier start's line is still there.
        std::vector<std::string> lines = WaitForLines(work.File("log.txt"), ++n);
        ASSERT_EQ(lines.size(), n);
        EXPECT_EQ(lines.back(),
                  std::string("cmdline=") + c.recorded + "|cwd=" + work.dir() + StartedByUs());
        HWND wnd = kr.Window("KR_Editor");
        ASSERT_TRUE(wnd);
        AskToClose(wnd);
        EXPECT_EQ(kr.WaitExit(kWaitMs), 0u);
    }
}

TEST_F(StandInKr, ReleasesItsMutexWhileHandlingClose) {
    Scratch work;
    EnvVar log("KR_STANDIN_LOG", work.File("log.txt").c_str());
    Child kr;
    ASSERT_TRUE(kr.Start("\"" + KrExe() + "\" V", work.dir()));
    ASSERT_EQ(WaitForLines(work.File("log.txt"), 1).size(), 1u);
    HWND wnd = kr.Window("KR_Editor");
    ASSERT_TRUE(wnd);
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "KR2_InstMutex.");
    ASSERT_TRUE(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "owned by kr";

    AskToClose(wnd);
    // Released, not abandoned: the window procedure gives it up before the
    // process ends, so the installer's wait ends as soon as the send returns.
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(kr.WaitExit(kWaitMs), 0u);
}

TEST_F(StandInKr, LogsBesideItselfWithoutTheVariable) {
    Scratch work;
    ASSERT_TRUE(CopyFileA(KrExe().c_str(), work.File("kr.exe").c_str(), FALSE));
    EnvVar log("KR_STANDIN_LOG", nullptr);
    Child kr;
    // Started from another folder: the log goes beside the program, not into
    // the working folder.
    Scratch cwd;
    ASSERT_TRUE(kr.Start("\"" + work.File("kr.exe") + "\" S", cwd.dir()));
    std::vector<std::string> lines = WaitForLines(work.File("kr-started.txt"), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "cmdline=S|cwd=" + cwd.dir() + StartedByUs());
    EXPECT_EQ(LogLines(cwd.File("kr-started.txt")).size(), 0u);
    HWND wnd = kr.Window("KR_Editor");
    ASSERT_TRUE(wnd);
    AskToClose(wnd);
    EXPECT_EQ(kr.WaitExit(kWaitMs), 0u);
}

TEST_F(StandInKrFaults, IgnoresCloseWhenAsked) {
    Scratch work;
    EnvVar log("KR_STANDIN_LOG", work.File("log.txt").c_str());
    EnvVar ignore("KR_STANDIN_IGNORE_CLOSE", "1");
    Child kr;
    ASSERT_TRUE(kr.Start("\"" + KrExe() + "\"", work.dir()));
    ASSERT_EQ(WaitForLines(work.File("log.txt"), 1).size(), 1u);
    HWND wnd = kr.Window("KR_Editor");
    ASSERT_TRUE(wnd);
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "KR2_InstMutex.");
    ASSERT_TRUE(mutex);
    AskToClose(wnd);
    // The send has returned, so the request has been handled and refused.
    EXPECT_TRUE(IsWindow(wnd));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(mutex);
    // The Child ends it.
}

TEST_F(StandInKrFaults, RunsWithoutItsMutexWhenAsked) {
    Scratch work;
    EnvVar log("KR_STANDIN_LOG", work.File("log.txt").c_str());
    EnvVar noMutex("KR_STANDIN_NO_MUTEX", "1");
    Child kr;
    ASSERT_TRUE(kr.Start("\"" + KrExe() + "\"", work.dir()));
    ASSERT_EQ(WaitForLines(work.File("log.txt"), 1).size(), 1u);
    HWND wnd = kr.Window("KR_Editor");
    ASSERT_TRUE(wnd);
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "KR2_InstMutex.");
    EXPECT_FALSE(mutex);
    if (mutex)
        CloseHandle(mutex);
    AskToClose(wnd);
    EXPECT_EQ(kr.WaitExit(kWaitMs), 0u);
}

TEST_F(StandInOldKr, QuitsOnMessage1039AndRecordsIt) {
    Scratch work;
    EnvVar log("KR_STANDIN_LOG", work.File("log.txt").c_str());
    Child old;
    ASSERT_TRUE(old.Start("\"" + OldKrExe() + "\"", work.dir()));
    HWND wnd = old.Window("ThunderRT5Form");
    ASSERT_TRUE(wnd);
    char title[32] = "";
    GetWindowTextA(wnd, title, sizeof title);
    EXPECT_STREQ(title, "Kestrune");
    // Another message of the user range is not the quit request.
    ASSERT_TRUE(PostMessageA(wnd, WM_USER + 14, 0, 0));
    ASSERT_TRUE(PostMessageA(wnd, WM_USER + 15, 0, 0));
    EXPECT_EQ(old.WaitExit(kWaitMs), 0u);
    EXPECT_EQ(LogLines(work.File("log.txt")), std::vector<std::string>{"msg=1039"});
}

} // namespace
