// What the install puts where: the files it copies from the setup folder
// into the destination folder, in order and each under its policy, and the
// links it makes, which the uninstall removes again. Each table mirrors
// its description row for row.
//
// A file added to the plan needs its row here and the file itself in
// product/files/ (the distribution and its check take it from there); the
// end-to-end tests keep their own list of what an install must leave.
#pragma once

#include <windows.h>

#include "str.h"

// What a file that was not copied does to the run.
enum class OnFailure {
    StopWithMessage, // the step-1 message, then stop
    Stop,            // stop; the shell has already shown its own error
    Mark,            // ask "Not all files have been copied" at the end
    Ignore,          // go on as if copied
};

enum class Action {
    Copy,
    CopyOnNt4,        // copied only on Windows NT 4
    DeleteAndSummary, // delete the type info file, then show the summary
};

struct PlanStep {
    int step;            // cppcheck-suppress unusedStructMember ; the row's number, for the reader
    const char* caption; // set before the step; null leaves it unchanged
    Action action;
    const char* file; // in the setup folder; a pattern copies every match
    bool backup, copyAsNew, keepExisting;
    OnFailure onFailure;
};

// clang-format off
inline constexpr PlanStep kPlan[] = {
    // step caption                         action                    file                      backup copyAsNew keep  failure
    {1,  "Copying dll files",               Action::Copy,             "krhook20.dll",           false, false,    false, OnFailure::StopWithMessage},
    {2,  nullptr,                           Action::CopyOnNt4,        "pdh.dll",                false, false,    true,  OnFailure::Mark},
    {3,  nullptr,                           Action::CopyOnNt4,        "psapi.dll",              false, false,    true,  OnFailure::Mark},
    {4,  "Copying exe files",               Action::Copy,             "setup.exe",              false, false,    false, OnFailure::Mark},
    {5,  nullptr,                           Action::Copy,             "krcl.exe",               false, false,    false, OnFailure::Stop},
    {6,  nullptr,                           Action::Copy,             "kr.exe",                 false, false,    false, OnFailure::Stop},
    {7,  "Copying icon files",              Action::Copy,             "*.ico",                  false, false,    false, OnFailure::Mark},
    {8,  "Copying text and ini files",      Action::Copy,             "license.txt",            false, false,    false, OnFailure::Mark},
    {9,  nullptr,                           Action::Copy,             "typeinfo.ini",           false, false,    false, OnFailure::Mark},
    {10, nullptr,                           Action::Copy,             "winapiKR.txt",           false, false,    false, OnFailure::Mark},
    {11, nullptr,                           Action::Copy,             "krrecwin.txt",           false, false,    true,  OnFailure::Ignore},
    {12, nullptr,                           Action::Copy,             "Dialog Help.txt",        false, false,    false, OnFailure::Mark},
    {13, "Copying macro list files",        Action::Copy,             "System.krl",             true,  false,    false, OnFailure::Mark},
    {14, nullptr,                           Action::Copy,             "Samples2.krl",           true,  false,    false, OnFailure::Mark},
    {15, nullptr,                           Action::Copy,             "Convert old macros.krl", true,  false,    false, OnFailure::Mark},
    {16, nullptr,                           Action::Copy,             "List.krl",               false, true,     false, OnFailure::Mark},
    {17, nullptr,                           Action::DeleteAndSummary, "type info file.txt",     false, false,    false, OnFailure::Ignore},
    {18, "Copying type library files",      Action::Copy,             "wininet.tlb",            false, false,    false, OnFailure::Mark},
    {19, "Copying help files",              Action::Copy,             "kr2help.hlp",            false, false,    false, OnFailure::Stop},
    {20, nullptr,                           Action::Copy,             "pcrepattern.html",       false, false,    false, OnFailure::Stop},
};
// clang-format on

// Where a link goes: the product's folder "Kestrune 2" among the Start
// Menu's programs, or the StartUp folder.
enum class LinkPlace { StartMenu, StartUp };

struct LinkRow {
    LinkPlace place;
    const char* link;      // in its folder
    const char* target;    // in DestDir
    const char* arguments; // null: none
    int iconIndex;         // of the target itself; -1: the target's own icon
};

// clang-format off
inline constexpr LinkRow kLinks[] = {
    // place               link             target         arguments    icon
    {LinkPlace::StartMenu, "Kestrune.lnk",  "kr.exe",      nullptr,     -1},
    {LinkPlace::StartMenu, "Help.lnk",      "kr2help.hlp", nullptr,     -1},
    {LinkPlace::StartMenu, "Uninstall.lnk", "setup.exe",   "uninstall", 1}, // icon group 104
    {LinkPlace::StartUp,   "Kestrune.lnk",  "kr.exe",      "S",         -1},
};
// clang-format on

// The product's Start Menu folder, below the programs folder.
inline constexpr char kMenuFolder[] = "\\Kestrune 2";

// The folder of a link place, as Explorer's shell folder values name it, of
// the user or of all users, without a trailing backslash: empty when the
// value is missing or not REG_SZ.
void ReadLinkFolder(Str& folder, LinkPlace place, bool allUsers);

// The NT major version, or 0 on the Windows 9x line.
DWORD NtMajorVersion();
// Kilobytes, rounded up, of the install plan's files as they lie in DestDir.
DWORD InstalledKilobytes();
