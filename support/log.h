// The log of an unattended run: one UTF-8 line per entry, in a file that is
// replaced at each run. Without an open log every call does nothing, so the
// code that runs in both kinds of run logs unconditionally.
#pragma once

// Creates (or empties) the log file. False when it cannot be written; the
// run goes on without a log. The file stays open to the end of the process,
// which closes it; every line is written through at once.
bool LogOpen(const char* path);
// Appends `text` as one line: its line breaks become " | ".
void LogLine(const char* text);
// Formats `tmpl` like Str::Format and appends it as one line.
void LogFormat(const char* tmpl, ...);
