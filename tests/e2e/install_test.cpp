// The install sequence end to end: setup.exe from a fresh distribution
// folder, driven through its dialog, then the files, the registry, the
// links and what the stand-in product recorded.
#include "install_case.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

namespace e2e {
namespace {

const char kDefaultDest[] = "C:\\Program Files\\Kestrune 2";

class Install : public InstallCase {
  protected:
    void SetUp() override {
        InstallCase::SetUp();
        RemoveTree(kDefaultDest);
    }
    void TearDown() override {
        InstallCase::TearDown();
        RemoveTree(kDefaultDest);
    }
};

TEST_F(Install, DefaultInstallPutsEverythingInPlaceAndStartsTheProduct) {
    std::string dest = kDefaultDest;
    HWND dialog = StartSetup("", "Install Kestrune");
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(ItemText(dialog, IDC_DESTDIR), dest);
    // Read while it runs: setup.exe's rights, and the driver's own, which
    // are what a program the user starts gets.
    TokenRights setupRights = RightsOf(setup_.Handle());
    TokenRights userRights = RightsOf(GetCurrentProcess());
    DWORD pressed = GetTickCount();
    Run run = PressOk(dialog);
    ASSERT_TRUE(run.ended);
    // Measured, not asserted: from the press of OK to the end of the process
    // (sampled every 50 ms by PressOk).
    DWORD elapsed = GetTickCount() - pressed;
    printf("default install: %lu ms from OK to the end of setup.exe\n",
           static_cast<unsigned long>(elapsed));
    RecordProperty("install_ms", static_cast<int>(elapsed));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;

    // Files: the source's content, every one of them.
    for (const char* f : kPlanFiles)
        EXPECT_TRUE(SameBytes(dest + "\\" + f, DistDir() + "\\" + f));
    for (const std::string& name : ListFolder(DistDir())) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".ico") {
            EXPECT_TRUE(SameBytes(dest + "\\" + name, DistDir() + "\\" + name));
        }
    }
    EXPECT_FALSE(FileExists(dest + "\\pdh.dll"));
    EXPECT_FALSE(FileExists(dest + "\\psapi.dll"));
    EXPECT_FALSE(FolderExists(dest + "\\Backup"));
    // The type info file is removed from the setup folder.
    EXPECT_FALSE(FileExists(dist_ + "\\type info file.txt"));

    // Registry: the folder and the uninstall entry.
    std::string v;
    ASSERT_TRUE(RegRead(HKEY_CURRENT_USER, kProductSettingsKey, "instdir", &v));
    EXPECT_EQ(v, dest);
    ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayName", &v));
    EXPECT_EQ(v, "Kestrune 2");
    ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", &v));
    EXPECT_EQ(v, "\"" + dest + "\\setup.exe\" uninstall");
    ASSERT_TRUE(RegRead(HKEY_CLASSES_ROOT, ".krl", "", &v));
    EXPECT_EQ(v, "krlfile");

    // What Windows' list of installed apps reads from the uninstall entry.
    {
        SCOPED_TRACE("Apps list entry");
        DWORD type = 0;
        // The icon: a file of the installed folder, holding an icon at the
        // index named after the comma.
        ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayIcon", &v, &type));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        size_t comma = v.rfind(',');
        ASSERT_NE(comma, std::string::npos) << v;
        std::string iconFile = v.substr(0, comma);
        int index = atoi(v.c_str() + comma + 1);
        EXPECT_EQ(iconFile.substr(0, dest.size() + 1), dest + "\\") << v;
        EXPECT_TRUE(FileExists(iconFile)) << v;
        HICON icon = nullptr;
        EXPECT_EQ(ExtractIconExW(Wide(iconFile).c_str(), index, &icon, nullptr, 1), 1u) << v;
        if (icon)
            DestroyIcon(icon);

        const struct {
            const char* name;
            std::string text;
        } kTexts[] = {
            {"DisplayVersion", "2.1.0"},
            {"Publisher", "Tovak"},
        };
        for (const auto& t : kTexts) {
            ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, t.name, &v, &type))
                << t.name;
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << t.name;
            EXPECT_EQ(v, t.text);
        }
        ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "InstallLocation", &v, &type));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(Trimmed(v), dest);

        // The numbers are REG_DWORD, four bytes, as Windows reads them. The
        // size: the distribution's files that the plan installs, in
        // kilobytes rounded up.
        unsigned long long bytes = 0;
        for (const std::string& name : ListFolder(DistDir())) {
            bool planned = name.size() > 4 && name.substr(name.size() - 4) == ".ico";
            for (const char* f : kPlanFiles)
                planned = planned || name == f;
            if (planned)
                bytes += ReadFile(DistDir() + "\\" + name).size();
        }
        const struct {
            const char* name;
            DWORD number;
        } kNumbers[] = {
            {"EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024)},
            {"NoModify", 1},
            {"NoRepair", 1},
        };
        for (const auto& n : kNumbers) {
            DWORD size = 0;
            ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kUninstallEntryKey, n.name, &v, &type, &size))
                << n.name;
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << n.name;
            ASSERT_EQ(size, 4u) << n.name;
            DWORD number;
            memcpy(&number, v.data(), 4);
            EXPECT_EQ(number, n.number) << n.name << " (" << bytes << " bytes installed)";
        }
    }

    // Links: three in the Start Menu folder, one in StartUp.
    std::string menu = ShellFolder("Programs") + "\\Kestrune 2";
    const struct {
        const char* link;
        const char* target;
        const char* arguments;
        const char* icon;
        int index;
    } kLinks[] = {
        {"Kestrune.lnk", "kr.exe", "", "", 0},
        {"Help.lnk", "kr2help.hlp", "", "", 0},
        {"Uninstall.lnk", "setup.exe", "uninstall", "setup.exe", 1},
    };
    for (const auto& l : kLinks) {
        SCOPED_TRACE(l.link);
        Link link = ReadLink(menu + "\\" + l.link);
        ASSERT_TRUE(link.ok);
        EXPECT_EQ(link.target, dest + "\\" + l.target);
        EXPECT_EQ(link.arguments, l.arguments);
        EXPECT_EQ(Trimmed(link.workingDir), dest);
        std::string icon = l.icon;
        if (!icon.empty())
            icon = dest + "\\" + icon;
        EXPECT_EQ(link.iconFile, icon);
        EXPECT_EQ(link.iconIndex, l.index);
        EXPECT_EQ(link.hotkey, 0);
    }
    Link startup = ReadLink(ShellFolder("StartUp") + "\\Kestrune.lnk");
    ASSERT_TRUE(startup.ok);
    EXPECT_EQ(startup.target, dest + "\\kr.exe");
    EXPECT_EQ(startup.arguments, "S");
    EXPECT_EQ(Trimmed(startup.workingDir), dest);

    // The product was started with "V" in the destination folder, not as
    // setup.exe's child.
    EXPECT_TRUE(WaitStandin());
    std::vector<std::string> log = WaitStandinLog(1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(StartPlace(log[0]), "cmdline=V|cwd=" + dest) << log[0];
    ExpectNotSetupsChild(log[0]);
    // Where a program the user starts gets a limited token (Windows with
    // UAC, Wine 10), setup.exe's manifest must have got it a full one, and
    // the product must run without it. (Wine 8 gives every program a full
    // token: there only the parent tells.)
    printf("tokens: driver elevated %d type %d; setup.exe elevated %d type %d; product "
           "elevated %s\n",
           userRights.elevated, userRights.type, setupRights.elevated, setupRights.type,
           StartField(log[0], "elevated").c_str());
    // Decided by a reading, never by a failed query.
    EXPECT_NE(userRights.type, 0);
    if (userRights.type == TokenElevationTypeLimited) {
        EXPECT_EQ(setupRights.elevated, 1);
        EXPECT_EQ(StartField(log[0], "elevated"), "0") << log[0];
    }
}

} // namespace
} // namespace e2e
