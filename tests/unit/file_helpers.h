// Helpers of the file operation and install policy tests (defined in
// files_test.cpp).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "str_text.h"

namespace kr_files_test {
std::string ReadAll(const std::string& path); // "<missing>", "<folder>" or the bytes
void WriteAll(const std::string& path, const std::string& text);
void SetWriteTime(const std::string& path, FILETIME time);
void MakeFolders(const std::string& path);
void RemoveTree(const std::string& path);
void CloseProgramSearch();
// One SHFileOperationA request as the program made it.
struct ShellCall {
    UINT func;
    std::string from; // entries joined with '|'
    std::string to;   // "(null)" for no list
    FILEOP_FLAGS flags;
    bool plainRequest; // no owner window, name mappings or progress title
};
// Records the program's SHFileOperationA requests while it lives, then
// passes them on, or answers each with `result` and leaves the disk alone.
class ShellCallLog {
  public:
    explicit ShellCallLog(bool passThrough = true, int result = 0);
    ~ShellCallLog();
    ShellCallLog(const ShellCallLog&) = delete;
    ShellCallLog& operator=(const ShellCallLog&) = delete;
    bool Installed() const;
    std::vector<ShellCall> calls;

  private:
    void** slot_;
};
// Answers any dialog box of this process that stays up for ten seconds.
class DialogWatchdog {
  public:
    DialogWatchdog();
    ~DialogWatchdog();
    DialogWatchdog(const DialogWatchdog&) = delete;
    DialogWatchdog& operator=(const DialogWatchdog&) = delete;
    long Closed() const; // dialogs it had to answer

  private:
    struct State;
    State* state_;
};
} // namespace kr_files_test
