// What the stand-in programs record for the tests that drive the installer:
// one line per event, appended to a shared log file.
#pragma once

inline constexpr wchar_t kStandInKey[] = L"Software\\Kestrune stand-ins";

// Appends `line` (UTF-8) and CR LF to the log: the file named by the value
// "Log" of the key kStandInKey under HKEY_CURRENT_USER, else by the
// environment variable KR_STANDIN_LOG, else "kr-started.txt" beside the
// executable.
// Failures are silent; a stand-in never stops because it could not record.
void StandInLog(const char* line);

// True when the environment variable `name` is set to exactly "1".
bool StandInSwitch(const char* name);
