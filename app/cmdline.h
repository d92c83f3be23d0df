// The command line of the program.
#pragma once

#include "str.h"

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
