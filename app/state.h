// What the program remembers between its steps, all in one place. Each
// lives from start to exit and is defined once: the four that the support
// layer reads too in support/process.cpp, the rest in state.cpp. (The
// support layer keeps two of its own: the one open search of FindFile and
// the log file of an unattended run.)
#pragma once

#include "process.h" // ModuleInstance, MainDialog, SilentRun, SourceDir
#include "str.h"

// Destination folder: read from the dialog by RunInstall (or given by an
// unattended run), ending in a backslash once validated.
extern Str DestDir;
// File names, each followed by "\r\n", filled by InstallFile and shown in
// the install summary.
extern Str ReplacedList;
extern Str CopiedAsNewList;

// The settings of an unattended run ("/ALLUSERS", "/NOSTARTMENU",
// "/NOSTARTUP"): the links in the Start Menu and StartUp folders of all
// users, not of the user running it; no Start Menu links; no StartUp link.
extern bool AllUsers;
extern bool NoStartMenu;
extern bool NoStartUp;

// A step that the run goes on after failed where a deployment tool's
// detection would see it: an Apps entry value not written, a link not
// saved, COM not initialised; on an uninstall, the Apps entry or a link
// left. Each is logged; an unattended run then ends with 1603. (The
// dialog looks at none of these.)
extern bool StepFailed;
// Set when a file of the plan was in use: renamed aside, or left to be
// replaced at the next restart. Until then the programs that hold the old
// files run the old version.
extern bool RestartNeeded;
