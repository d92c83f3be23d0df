// The end-to-end driver: starts setup.exe as a user would, finds its dialogs
// and message boxes, reads and sets their controls, and inspects what the
// program left behind. Every wait is bounded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "kr_test.h"

namespace e2e {

// Texts, keys, the registry clean-up and the file and link helpers that the
// unit tests use too.
using namespace kr_test;

// Wall-clock bound of every wait for a window or a process.
const DWORD kWaitMs = 30000;

// Every text of the driver is UTF-8, and it reaches Windows through the
// wide ("W") calls (Wide, Utf8): paths, registry data, window texts and
// links in any script survive whatever the ANSI code page of this program,
// so what the driver types and reads is what a user types and reads.

// The folder of test programs such as the old-version stand-in.
std::string ProductBuildDir();

// Files and folders.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Copies every file of `from` (not recursive) into `to`, creating it.
void CopyFolder(const std::string& from, const std::string& to);

// A fresh scratch folder C:\kr-e2e\<name> (removed first when present).
std::string Scratch(const std::string& name);
// A fresh copy of the distribution folder in C:\kr-e2e\<name>\dist.
std::string FreshDist(const std::string& name);

// Registry. RegRead gives a text value (REG_SZ, REG_EXPAND_SZ) as UTF-8,
// other types as their bytes; *size is the stored size in bytes.
bool RegRead(HKEY root, const std::string& key, const std::string& value, std::string* data,
             DWORD* type = nullptr, DWORD* size = nullptr);
bool RegKeyExists(HKEY root, const std::string& key);
void RegWrite(HKEY root, const std::string& key, const std::string& value, const std::string& data);

// Explorer's shell folders as the program reads them, and points one at
// another folder.
std::string ShellFolder(const char* name);
void SetShellFolder(const char* name, const std::string& path);

// A started program.
class Process {
  public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `exe` with `args`; with no `exe`, `args` is the whole command
    // line, as the system runs a stored command.
    bool Start(const std::string& exe, const std::string& args, const std::string& dir = "");
    bool Running() const;
    // Waits for the end; false on time-out. The exit code goes to *code.
    bool Wait(DWORD ms, DWORD* code);
    void Kill();
    DWORD Id() const { return pid_; }
    HANDLE Handle() const { return process_; }

    // The first visible top-level window of this process with the class and
    // caption given (null caption: any), waiting up to `ms`.
    HWND WaitWindow(const char* cls, const char* caption, DWORD ms = kWaitMs,
                    HWND except = nullptr) const;
    // Every visible top-level "#32770" window of the process.
    std::vector<HWND> Dialogs() const;
    // Every visible top-level window of the process, of any class.
    std::vector<HWND> Windows() const;

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Window text through WM_GETTEXT and WM_SETTEXT (work across processes).
std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
// Presses a dialog button the way a click does, without waiting for the
// handler (which may run a long time or open a modal box).
void Press(HWND dialog, int id);
// Waits until the window's text equals `text`; false on time-out.
bool WaitText(HWND window, const std::string& text, DWORD ms = kWaitMs);
// Waits until the window is gone.
bool WaitGone(HWND window, DWORD ms = kWaitMs);

// A message box: its caption, its message text, and its buttons.
struct Box {
    HWND window = nullptr;
    std::string caption, text;
    explicit operator bool() const { return window != nullptr; }
    void Answer(int id) const; // IDOK, IDYES, IDNO ...
};
// Waits for a message box of the process other than `dialog`.
Box WaitMessageBox(const Process& p, HWND dialog, DWORD ms = kWaitMs);

// Waits for the stand-in product's window (it is started without waiting).
bool WaitStandin();
// Ends every stand-in product window left running.
void CloseStandins();

// The key under HKEY_CURRENT_USER whose value "Log" names the stand-ins'
// log file (product/standin.h).
inline const char kStandInKey[] = "Software\\Kestrune stand-ins";
// What the stand-in product recorded: one line per start,
// "cmdline=<arguments>|cwd=<folder>|parent=<process id>|elevated=<0, 1, ?>".
std::vector<std::string> StandinLog(const std::string& logPath);
// A start line's arguments and folder: the line up to its "|parent=".
std::string StartPlace(const std::string& line);
// The text of one field of a start line ("parent", "elevated"); "" when the
// line has none.
std::string StartField(const std::string& line, const std::string& name);

// The rights a process's token carries, as Windows reports them.
struct TokenRights {
    int elevated = -1; // TokenIsElevated: 1 or 0; -1 when it cannot be read
    int type = 0;      // TokenElevationType: 1 default, 2 full, 3 limited; 0 unknown
};
TokenRights RightsOf(HANDLE process);

} // namespace e2e
