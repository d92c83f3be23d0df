// The two dialogs as a user meets them, and how the command line picks one.
#include "setup_case.h"

namespace e2e {
namespace {

const char kProgramFilesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

class InstallDialog : public SetupCase {};

TEST_F(InstallDialog, ShowsItsControlsWithEveryOptionChecked) {
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    const struct {
        int id;
        const char* text;
    } kControls[] = {
        {IDOK, "OK"},
        {IDCANCEL, "Cancel"},
        {IDC_README, "ReadMe ..."},
        {IDC_LICENSE, "License ..."},
        {IDC_COPYFILES, "Copies files to destination folder"},
        {IDC_REGISTRY, "Writes settings to Registry"},
        {IDC_STARTMENU, "Creates shortcuts in Start Menu"},
        {IDC_STARTUP, "Creates shortcut in StartUp folder"},
        {IDC_STARTAPP, "Starts Kestrune"},
    };
    for (const auto& c : kControls)
        EXPECT_EQ(ItemText(dialog, c.id), c.text) << "control " << c.id;
    for (int id : {IDC_COPYFILES, IDC_REGISTRY, IDC_STARTMENU, IDC_STARTUP, IDC_STARTAPP})
        EXPECT_TRUE(IsChecked(dialog, id)) << "option " << id;
    EXPECT_EQ(ItemText(dialog, IDC_NOTICE), kNotice);
    CancelAndExpectExit(dialog);
}

TEST_F(InstallDialog, ProposesTheProgramFilesFolderWithoutAnEarlierInstall) {
    std::string programFiles;
    ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kProgramFilesKey, "ProgramFilesDir", &programFiles));
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_DESTDIR), programFiles + "\\Kestrune 2");
    CancelAndExpectExit(dialog);
}

TEST_F(InstallDialog, ProposesTheFolderOfTheEarlierInstall) {
    RegWrite(HKEY_CURRENT_USER, kProductSettingsKey, "instdir", "D:\\Tools\\KR 2");
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_DESTDIR), "D:\\Tools\\KR 2");
    CancelAndExpectExit(dialog);
}

// The Program Files folder is read from the registry; when it cannot be
// found, the literal default stands in. Both are checked by changing the
// value for the length of one case.
TEST_F(InstallDialog, FallsBackToTheLiteralFolderWhenProgramFilesIsUnknown) {
    std::string saved;
    ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kProgramFilesKey, "ProgramFilesDir", &saved));

    RegWrite(HKEY_LOCAL_MACHINE, kProgramFilesKey, "ProgramFilesDir", "E:\\Apps\\");
    HWND dialog = StartSetup("", "Install Kestrune");
    std::string shown = dialog ? ItemText(dialog, IDC_DESTDIR) : "";
    if (dialog)
        CancelAndExpectExit(dialog);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProgramFilesKey, 0, KEY_SET_VALUE, &key), 0);
    RegDeleteValueA(key, "ProgramFilesDir");
    RegCloseKey(key);
    Process second;
    ASSERT_TRUE(second.Start(SetupExe(), "", dist_));
    HWND dialog2 = second.WaitWindow("#32770", "Install Kestrune");
    std::string fallback = dialog2 ? ItemText(dialog2, IDC_DESTDIR) : "";
    if (dialog2)
        Press(dialog2, IDCANCEL);
    second.Wait(kWaitMs, nullptr);
    RegWrite(HKEY_LOCAL_MACHINE, kProgramFilesKey, "ProgramFilesDir", saved);

    EXPECT_EQ(shown, "E:\\Apps\\Kestrune 2"); // trailing backslashes of the folder dropped
    EXPECT_EQ(fallback, "C:\\Program Files\\Kestrune 2");
}

class CommandLine : public SetupCase {};

TEST_F(CommandLine, UninstallInCapitalsOpensTheUninstallDialog) {
    HWND dialog = StartSetup("UNINSTALL", "Uninstall Kestrune");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDOK), "OK");
    EXPECT_EQ(ItemText(dialog, IDCANCEL), "Cancel");
    CancelAndExpectExit(dialog);
}

TEST_F(CommandLine, UninstallFollowedByMoreWordsOpensTheInstallDialog) {
    HWND dialog = StartSetup("uninstall now", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    CancelAndExpectExit(dialog);
}

// Without the word "/S" a line is a dialog's, whatever else it holds: here
// the "/S" belongs to the folder, which comes last.
TEST_F(CommandLine, SwitchesWithoutSilentOpenTheInstallDialog) {
    HWND dialog = StartSetup("/ALLUSERS /D=C:\\kr /S", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDOK), "OK");
    CancelAndExpectExit(dialog);
}

TEST_F(CommandLine, EscapeEndsTheDialogWithExitCodeZero) {
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_CLOSE, 0, 0); // the close box: the same as Cancel
    DWORD code = 1;
    ASSERT_TRUE(setup_.Wait(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

class SingleInstance : public SetupCase {};

TEST_F(SingleInstance, ASecondCopyEndsAtOnceWhileTheFirstShowsItsDialog) {
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    Process second;
    ASSERT_TRUE(second.Start(SetupExe(), "", dist_));
    DWORD code = 1;
    ASSERT_TRUE(second.Wait(kWaitMs, &code)) << "the second copy is still running";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(setup_.Running());
    EXPECT_EQ(setup_.Dialogs().size(), 1u);
    // The uninstall road is guarded by the same mutex.
    Process third;
    ASSERT_TRUE(third.Start(SetupExe(), "uninstall", dist_));
    ASSERT_TRUE(third.Wait(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
    CancelAndExpectExit(dialog);
}

} // namespace
} // namespace e2e
