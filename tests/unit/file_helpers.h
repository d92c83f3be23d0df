// Helpers of the unit tests that work on files, shell dialogs and the
// shipped setup.exe (those not inline are defined in files_test.cpp). The
// ones the end-to-end tests use too come from kr_test.h.
#pragma once

#include <windows.h>

#include <string>

#include "kr_test.h"
#include "str_text.h"

namespace kr_files_test {
using namespace kr_test;

std::string ReadAll(const std::string& path); // "<missing>", "<folder>" or the bytes
void WriteAll(const std::string& path, const std::string& text);
void SetWriteTime(const std::string& path, FILETIME time);
void CloseProgramSearch();
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

// The distribution's setup.exe, loaded once as data: its resources as they
// ship. Null when it cannot be loaded.
inline HMODULE ShippedSetup() {
    static HMODULE module =
        LoadLibraryExW(Wide(DistDir() + "\\setup.exe").c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return module;
}
} // namespace kr_files_test
