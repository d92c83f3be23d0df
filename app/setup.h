// The setup application: process-wide state and the operations the dialogs,
// the install and the uninstall share.
#pragma once

#include <windows.h>

#include "events.h"
#include "process.h"
#include "str.h"

// The product's keys that more than one part reads: the Apps entry (under
// HKEY_LOCAL_MACHINE) and its parent, and the settings (HKEY_CURRENT_USER).
inline constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KR2";
inline constexpr char kUninstallParent[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kSettingsKey[] = "Software\\Tovak\\KR2\\settings";

// Destination folder: read from the dialog by RunInstall, ending in a
// backslash once validated.
extern Str DestDir;
// File names, each followed by "\r\n", filled by InstallFile and shown in
// the install summary.
extern Str ReplacedList;
extern Str CopiedAsNewList;

// Where an install run links the product: the Start Menu and StartUp
// folders of all users, not of the user running it.
extern bool AllUsers;
// An unattended install without the Start Menu links, without the StartUp
// link ("/NOSTARTMENU", "/NOSTARTUP").
extern bool NoStartMenu;
extern bool NoStartUp;
// A step that the run goes on after failed where a deployment tool's
// detection would see it: an Apps entry value not written, a link not
// saved, COM not initialised; on an uninstall, the Apps entry or a link
// left. Each is logged; an unattended run then ends with 1603. (The
// dialog looks at none of these.)
extern bool StepFailed;

// What a command line asks for. Without the word "/S" it is a dialog run as
// ever, whatever else it holds; with it, an unattended run of the words
// "uninstall" (first), "/S", "/ALLUSERS", "/NOSTARTMENU" and "/NOSTARTUP"
// (installs only), "/NORESTART" (taken and ignored), "/LOG=<file>" and,
// last, "/D=<folder>" (installs only), letters in any case, each at most
// once.
struct CommandLine {
    bool uninstall = false;
    // The switches given, by Switch.
    enum Switch { Silent, AllUsers, NoStartMenu, NoStartUp, NoRestart, kSwitches };
    bool on[kSwitches] = {};
    // The first word of the line not understood (a "/D=" is the rest of the
    // line): unknown, repeated, of the wrong kind of run, or with a value
    // that names no file or folder; no buffer when all is understood.
    Str bad;
    Str folder; // "/D=": the rest of the line, one pair of quotes removed
    Str log;    // "/LOG=", its quotes removed
};
void ReadCommandLine(const char* line, CommandLine& out);

// The folder an install proposes: the previous install's, else the Program
// Files folder's "Kestrune 2".
void DefaultDestDir(Str& folder);

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UninstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Asks a running product to quit and waits for it (bounded).
void CloseRunningApp();
// Keeps the dialog alive: waits `ms` on a message loop, or with 0 drains
// the queue.
void PumpAndWait(unsigned ms);

// The install behind the install dialog's OK: true when it ran to its end.
bool RunInstall();
// The uninstall behind the uninstall dialog's OK.
void RunUninstall();

// Installs one file (or wildcard) from SourceDir into DestDir under its
// policy. 0 when in place, else the shell's non-zero code.
int InstallFile(const char* name, bool backup, bool copyAsNew, bool keepExisting);
// Set when a file of the plan was in use: renamed aside, or left to be
// replaced at the next restart. Until then the programs that hold the old
// files run the old version.
extern bool RestartNeeded;
// At the start of a copy phase: deletes what earlier runs set aside in
// DestDir and no program holds any more, and sets RestartNeeded afresh
// (true when one is still held).
void DeleteAsideFiles();
// Kilobytes, rounded up, of the install plan's files as they lie in DestDir.
DWORD InstalledKilobytes();
// Both paths exist as files with equal last-write time and low size.
bool IsSameFile(const char* first, const char* second);

// The folders the links go into, as Explorer's shell folder values name
// them, without a trailing backslash: empty when the value is missing or not
// REG_SZ.
enum LinkFolder { Programs, StartUp, CommonPrograms, CommonStartUp };
void ReadLinkFolder(Str& folder, LinkFolder which);

// Registry registration and its removal; the sound events are kSoundEvents.
void RegisterProduct();
void RegisterSoundEvent(const char* name, const char* label);
void UnregisterProduct();
void UnregisterSoundEvent(const char* name);
