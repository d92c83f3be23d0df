// The command line as setup.exe reads it: a dialog run unless the word
// "/S" is there, and then every word understood or the line refused.
#include <gtest/gtest.h>

#include <string>

#include "setup.h"

namespace {

TEST(CommandLineReading, TakesTheSwitchesAndRefusesTheRest) {
    const struct {
        const char* line;
        bool silent, uninstall, allUsers;
        const char* folder; // "" when not given
        const char* log;
        const char* bad; // the rest of the line from the word refused; "" for none
    } kCases[] = {
        // Dialog runs: no "/S" word before a "/D=".
        {"", false, false, false, "", "", ""},
        {"uninstall", false, true, false, "", "", ""},
        {"/D=C:\\kr /S", false, false, false, "C:\\kr /S", "", ""},
        {"/Silent", false, false, false, "", "", "/Silent"},
        // Unattended runs, letters in any case, blanks anywhere.
        {"/S", true, false, false, "", "", ""},
        {"  /s   /AllUsers  ", true, false, true, "", "", ""},
        {"UNINSTALL /S /ALLUSERS", true, true, true, "", "", ""},
        {"/S /NORESTART", true, false, false, "", "", ""},
        {"/S /D=C:\\Program Files\\Kestrune 2", true, false, false, "C:\\Program Files\\Kestrune 2",
         "", ""},
        {"/S /D=\"C:\\Program Files\\KR\"  ", true, false, false, "C:\\Program Files\\KR", "", ""},
        {"/S /D=\\\\server\\share\\KR", true, false, false, "\\\\server\\share\\KR", "", ""},
        {u8"/S /D=D:\\Кестрюн 🎉", true, false, false, u8"D:\\Кестрюн 🎉", "", ""},
        {"/LOG=C:\\kr.log /S", true, false, false, "", "C:\\kr.log", ""},
        {"/S /LOG=\"C:\\my logs\\kr.log\" /D=C:\\kr", true, false, false, "C:\\kr",
         "C:\\my logs\\kr.log", ""},
        // Refused.
        {"/S /X", true, false, false, "", "", "/X"},
        {"/S uninstall", true, false, false, "", "", "uninstall"},
        {"/S \"/D=C:\\kr\"", true, false, false, "", "", "\"/D=C:\\kr\""},
        {"/S /D=", true, false, false, "", "", "/D="},
        {"/S /D=kr", true, false, false, "kr", "", "/D=kr"},
        {"/S /D=C:kr", true, false, false, "C:kr", "", "/D=C:kr"},
        {"/S /D=\"C:\\kr", true, false, false, "\"C:\\kr", "", "/D=\"C:\\kr"},
        {"uninstall /S /D=C:\\kr", true, true, false, "C:\\kr", "", "/D=C:\\kr"},
        {"/S /LOG=", true, false, false, "", "", "/LOG="},
        {"/S /LOG=\"C:\\kr.log", true, false, false, "", "", "/LOG=\"C:\\kr.log"},
        {"/S /LOG=\"C:\\a\"b", true, false, false, "", "", "/LOG=\"C:\\a\"b"},
        {"/S /X /D=kr", true, false, false, "kr", "", "/X /D=kr"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.line);
        CommandLine line;
        ReadCommandLine(c.line, line);
        EXPECT_EQ(line.silent, c.silent);
        if (c.silent) {
            EXPECT_EQ(line.uninstall, c.uninstall);
        }
        EXPECT_EQ(line.allUsers, c.allUsers);
        EXPECT_EQ(std::string(line.folder.data ? line.folder.data : ""), c.folder);
        EXPECT_EQ(std::string(line.log.data ? line.log.data : ""), c.log);
        EXPECT_EQ(std::string(line.bad ? line.bad : ""), c.bad);
    }
}

} // namespace
