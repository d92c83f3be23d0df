// The base of the end-to-end cases: a fresh distribution folder, no trace
// of an earlier install, and nothing left running afterwards.
#pragma once

#include <gtest/gtest.h>

#include "driver.h"
#include "resource.h"

namespace e2e {

class SetupCase : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetInstall();
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dist_ = FreshDist(name);
        log_ = dist_ + "\\..\\standin.log";
        SetEnvironmentVariableA("KR_STANDIN_LOG", log_.c_str());
    }
    void TearDown() override {
        setup_.Kill();
        ForgetInstall();
    }

    std::string SetupExe() const { return dist_ + "\\setup.exe"; }

    // Starts setup.exe from the distribution folder and waits for `caption`.
    HWND StartSetup(const std::string &args, const char *caption) {
        EXPECT_TRUE(setup_.Start(SetupExe(), args, dist_));
        HWND dialog = setup_.WaitWindow("#32770", caption);
        EXPECT_NE(dialog, nullptr) << "no dialog \"" << caption << "\"";
        return dialog;
    }

    // Presses Cancel and expects the program to end with 0.
    void CancelAndExpectExit(HWND dialog) {
        Press(dialog, IDCANCEL);
        DWORD code = 1;
        ASSERT_TRUE(setup_.Wait(kWaitMs, &code));
        EXPECT_EQ(code, 0u);
    }

    std::string dist_;
    std::string log_;
    Process setup_;
};

} // namespace e2e
