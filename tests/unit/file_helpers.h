// Helpers the unit tests share: files, shell dialogs, the shipped setup.exe,
// the registration's clean-up and a plain edit control (those not inline
// are defined in files_test.cpp). The ones the end-to-end tests use too
// come from kr_test.h.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "kr_test.h"
#include "state.h"
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

// A case of the product's registration. The prefix is the tests' own: what
// an install writes (and another program's help file) is removed before and
// after the case, parents that Wine's prefix already has are left alone;
// DestDir is put back.
class RegistrationCase : public ::testing::Test {
  protected:
    void SetUp() override {
        savedDest_.Assign(DestDir);
        Clean();
    }
    void TearDown() override {
        Clean();
        DestDir.Assign(savedDest_);
    }
    static void Clean() {
        ForgetInstall();
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kHelpKey, "other.hlp");
    }
    Str savedDest_;
};

// A plain edit control with the largest text limit, no dialog: nothing
// modal, nothing to answer.
class EditControlCase : public ::testing::Test {
  protected:
    void SetUp() override {
        edit_ = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_AUTOHSCROLL, 0, 0, 200, 20, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(edit_, nullptr);
        SendMessageA(edit_, EM_SETLIMITTEXT, 0, 0);
    }
    void TearDown() override { DestroyWindow(edit_); }
    HWND edit_ = nullptr;
};
} // namespace kr_files_test
