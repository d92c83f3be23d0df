// What the stand-in programs record for the tests that drive the installer:
// one line per event, appended to a shared log file.
#pragma once

// Appends `line` (UTF-8) and CR LF to the log: the file named by the environment
// variable KR_STANDIN_LOG, else "kr-started.txt" beside the executable.
// Failures are silent; a stand-in never stops because it could not record.
void StandInLog(const char* line);

// True when the environment variable `name` is set to exactly "1".
bool StandInSwitch(const char* name);
