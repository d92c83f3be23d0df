// The command lines that the registration stores are started by Windows
// without an application name, so the executable's path must be quoted: an
// unquoted "C:\Program Files\Kestrune 2\kr.exe" would first run a program
// planted as "C:\Program.exe".
#include "setup_case.h"

namespace e2e {
namespace {

const char kDest[] = "C:\\Program Files\\Kestrune 2";
const char kPlanted[] = "C:\\Program.exe";

class RegisteredCommand : public SetupCase {
  protected:
    void SetUp() override {
        SetupCase::SetUp();
        RemoveTree(kDest);
        HWND dialog = StartSetup("", "Install Kestrune");
        ASSERT_NE(dialog, nullptr);
        SetItemText(dialog, IDC_DESTDIR, kDest);
        SetChecked(dialog, IDC_STARTAPP, false);
        SetChecked(dialog, IDC_STARTUP, false);
        Run run = PressOk(dialog);
        ASSERT_TRUE(run.ended);
        // The planted program is the stand-in product: it logs its command line.
        ASSERT_TRUE(CopyFileA((DistDir() + "\\kr.exe").c_str(), kPlanted, FALSE));
        RemoveTree(log_);
    }
    void TearDown() override {
        CloseStandins();
        RemoveTree(kPlanted);
        RemoveTree(kDest);
        SetupCase::TearDown();
    }

    // Starts a stored command the way the shell does: no application name.
    void StartCommand(std::string command, const std::string& document) {
        size_t at = command.find("%1");
        if (at != std::string::npos)
            command.replace(at, 2, document);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi))
            << command;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

TEST_F(RegisteredCommand, OpenAndImportRunTheInstalledProduct) {
    std::string open, import;
    ASSERT_TRUE(RegRead(HKEY_CLASSES_ROOT, "krlfile\\Shell\\Open\\command", "", &open));
    ASSERT_TRUE(RegRead(HKEY_CLASSES_ROOT, "krlfile\\Shell\\Import\\command", "", &import));
    EXPECT_EQ(open, std::string("\"") + kDest + "\\kr.exe\" \"%1\"");
    EXPECT_EQ(import, std::string("\"") + kDest + "\\kr.exe\" LI \"%1\"");

    StartCommand(open, "C:\\My Macros\\a.krl");
    std::vector<std::string> log = WaitStandinLog(1);
    CloseStandins();
    StartCommand(import, "C:\\My Macros\\b.krl");
    log = WaitStandinLog(2);
    CloseStandins();
    ASSERT_EQ(log.size(), 2u);
    // The installed kr.exe got the document as its one argument; the planted
    // program would have been given "Files\Kestrune 2\kr.exe" ... instead.
    EXPECT_EQ(log[0].substr(0, log[0].find('|')), "cmdline=\"C:\\My Macros\\a.krl\"");
    EXPECT_EQ(log[1].substr(0, log[1].find('|')), "cmdline=LI \"C:\\My Macros\\b.krl\"");
}

TEST_F(RegisteredCommand, TheUninstallEntryRunsTheInstalledSetup) {
    std::string uninstall;
    ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", &uninstall));
    EXPECT_EQ(uninstall, std::string("\"") + kDest + "\\setup.exe\" uninstall");
    StartCommand(uninstall, "");
    // The installed setup.exe shows its uninstall dialog; cancel it.
    HWND dialog = nullptr;
    DWORD start = GetTickCount();
    while (!dialog && GetTickCount() - start < kWaitMs) {
        dialog = FindWindowA("#32770", "Uninstall Kestrune");
        Sleep(20);
    }
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitGone(dialog));
    // The planted program never ran.
    Sleep(500);
    EXPECT_TRUE(StandinLog(log_).empty());
}

} // namespace
} // namespace e2e
