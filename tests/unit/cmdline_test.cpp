// The command line as setup.exe reads it: a dialog run unless the word
// "/S" is there, and then every word understood or the line refused.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <sddl.h>

#include "process.h"
#include "cmdline.h"
#include "dialogs.h"
#include "install_file.h"
#include "plan.h"
#include "register.h"
#include "state.h"
#include "uninstall.h"

namespace {

// The switches besides "/S", as bits of the table's `on` column.
enum : unsigned { kAll = 1, kNoMenu = 2, kNoStartUp = 4, kNoRestart = 8 };

TEST(CommandLineReading, TakesTheSwitchesAndRefusesTheRest) {
    const struct {
        const char* line;
        bool silent, uninstall;
        unsigned on;
        const char* folder; // "" when not given
        const char* log;
        const char* bad; // the word refused; "" for none
    } kCases[] = {
        // Dialog runs: no "/S" word before a "/D=".
        {"", false, false, 0, "", "", ""},
        {"uninstall", false, true, 0, "", "", ""},
        {"/D=C:\\kr /S", false, false, 0, "C:\\kr /S", "", ""},
        {"/Silent", false, false, 0, "", "", "/Silent"},
        // Unattended runs, letters in any case, blanks anywhere.
        {"/S", true, false, 0, "", "", ""},
        {"  /s   /AllUsers  ", true, false, kAll, "", "", ""},
        {"UNINSTALL /S /ALLUSERS /NORESTART", true, true, kAll | kNoRestart, "", "", ""},
        {"/S /NoStartMenu /NOSTARTUP /norestart", true, false, kNoMenu | kNoStartUp | kNoRestart,
         "", "", ""},
        {"/S /D=C:\\Program Files\\Kestrune 2", true, false, 0, "C:\\Program Files\\Kestrune 2", "",
         ""},
        {"/S /D=\"C:\\Program Files\\KR\"  ", true, false, 0, "C:\\Program Files\\KR", "", ""},
        {"/S /D=\\\\server\\share\\KR", true, false, 0, "\\\\server\\share\\KR", "", ""},
        {u8"/S /D=D:\\Кестрюн 🎉", true, false, 0, u8"D:\\Кестрюн 🎉", "", ""},
        {"/LOG=C:\\kr.log /S", true, false, 0, "", "C:\\kr.log", ""},
        {"/S /LOG=\"C:\\my logs\\kr.log\" /D=C:\\kr", true, false, 0, "C:\\kr",
         "C:\\my logs\\kr.log", ""},
        // Refused, by the word.
        {"/S /X", true, false, 0, "", "", "/X"},
        {"/S uninstall", true, false, 0, "", "", "uninstall"},
        {"/S \"/D=C:\\kr\"", true, false, 0, "", "", "\"/D=C:\\kr\""},
        {"/S /S", true, false, 0, "", "", "/S"},
        {"/S /ALLUSERS /AllUsers", true, false, kAll, "", "", "/AllUsers"},
        {"uninstall /S /NOSTARTUP", true, true, kNoStartUp, "", "", "/NOSTARTUP"},
        {"/S /X /D=kr", true, false, 0, "kr", "", "/X"},
        // A folder that is not one below a drive or a share.
        {"/S /D=", true, false, 0, "", "", "/D="},
        {"/S /D=kr", true, false, 0, "kr", "", "/D=kr"},
        {"/S /D=C:kr", true, false, 0, "C:kr", "", "/D=C:kr"},
        {"/S /D=C:\\", true, false, 0, "C:\\", "", "/D=C:\\"},
        {"/S /D=1:\\x", true, false, 0, "1:\\x", "", "/D=1:\\x"},
        {"/S /D=\\\\server", true, false, 0, "\\\\server", "", "/D=\\\\server"},
        {"/S /D=\\\\server\\share", true, false, 0, "\\\\server\\share", "",
         "/D=\\\\server\\share"},
        {"/S /D=\\\\?\\C:\\kr", true, false, 0, "\\\\?\\C:\\kr", "", "/D=\\\\?\\C:\\kr"},
        {"/S /D=\\\\.\\C:\\kr", true, false, 0, "\\\\.\\C:\\kr", "", "/D=\\\\.\\C:\\kr"},
        {"/S /D=\"C:\\kr", true, false, 0, "\"C:\\kr", "", "/D=\"C:\\kr"},
        {"uninstall /S /D=C:\\kr", true, true, 0, "C:\\kr", "", "/D=C:\\kr"},
        // A log that names no file, or a second one.
        {"/S /LOG=", true, false, 0, "", "", "/LOG="},
        {"/S /LOG=\"\"", true, false, 0, "", "", "/LOG=\"\""},
        {"/S /LOG=\" \"", true, false, 0, "", "", "/LOG=\" \""},
        {"/S /LOG=a.log /LOG=b.log", true, false, 0, "", "a.log", "/LOG=b.log"},
        {"/S /LOG=\"C:\\kr.log", true, false, 0, "", "", "/LOG=\"C:\\kr.log"},
        {"/S /LOG=\"C:\\a\"b", true, false, 0, "", "", "/LOG=\"C:\\a\"b"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.line);
        CommandLine line;
        ReadCommandLine(c.line, line);
        EXPECT_EQ(line.on[CommandLine::Silent], c.silent);
        EXPECT_EQ(line.uninstall, c.uninstall);
        EXPECT_EQ(line.on[CommandLine::AllUsers], (c.on & kAll) != 0);
        EXPECT_EQ(line.on[CommandLine::NoStartMenu], (c.on & kNoMenu) != 0);
        EXPECT_EQ(line.on[CommandLine::NoStartUp], (c.on & kNoStartUp) != 0);
        EXPECT_EQ(line.on[CommandLine::NoRestart], (c.on & kNoRestart) != 0);
        EXPECT_EQ(std::string(line.folder.data ? line.folder.data : ""), c.folder);
        EXPECT_EQ(std::string(line.log.data ? line.log.data : ""), c.log);
        EXPECT_EQ(std::string(line.bad.data ? line.bad.data : ""), c.bad);
    }
}

// The system account is told by its SID alone: not a service account, not
// the administrators, not a user.
TEST(CommandLineReading, OnlyTheSystemAccountsSidIsTheSystemAccount) {
    const struct {
        const char* sid;
        bool system;
    } kCases[] = {
        {"S-1-5-18", true},      {"S-1-5-19", false},           {"S-1-5-20", false},
        {"S-1-5-32-544", false}, {"S-1-5-21-1-2-3-500", false}, {"S-1-1-0", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.sid);
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(c.sid, &sid));
        EXPECT_EQ(IsSystemSid(sid), c.system);
        LocalFree(sid);
    }
    // The account the tests run as is a user.
    EXPECT_FALSE(RunsAsSystem());
}

} // namespace
