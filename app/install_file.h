// The per-file policy of the install plan.
#pragma once

// Installs one file (or wildcard) from SourceDir into DestDir under its
// policy. 0 when in place, else the shell's non-zero code.
int InstallFile(const char* name, bool backup, bool copyAsNew, bool keepExisting);
// Both paths exist as files with equal last-write time and low size.
bool IsSameFile(const char* first, const char* second);
// At the start of a copy phase: deletes what earlier runs set aside in
// DestDir and no program holds any more, and sets RestartNeeded afresh
// (true when one is still held).
void DeleteAsideFiles();
