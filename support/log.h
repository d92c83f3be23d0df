// The log of an unattended run: one UTF-8 line per entry, in a file that is
// replaced at each run. Without an open log every call does nothing, so the
// code that runs in both kinds of run logs unconditionally.
#pragma once

// Creates (or empties) the log file. False when it cannot be written, or
// when it is a reparse point or has other names (hard links): the log of a
// run as the system account must not write through a link that someone
// planted. The run goes on without a log. The file stays open to the end of the process,
// which closes it; every line is written through at once.
bool LogOpen(const char* path);
// Appends `text` as one line: its line breaks become " | ".
void LogLine(const char* text);
// Formats `tmpl` like Str::Format and appends it as one line.
void LogFormat(const char* tmpl, ...);
// Appends `text` as it is (line ends included), without taking memory.
void LogText(const char* text);
