// The version resource and the manifest that Windows reads from the
// shipped setup.exe (the distribution folder's).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "file_helpers.h"

using namespace kr_files_test;

namespace {

// The manifest of the shipped setup.exe; "<missing>" without one.
std::string ShippedManifest() {
    HMODULE setup = ShippedSetup();
    HRSRC res = setup
                    ? FindResourceA(setup, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) // RT_MANIFEST
                    : nullptr;
    if (!res)
        return "<missing>";
    const char* text = static_cast<const char*>(LockResource(LoadResource(setup, res)));
    return std::string(text, SizeofResource(setup, res));
}

std::string VersionString(const std::string& block, const char* name) {
    char* value = nullptr;
    UINT size = 0;
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size) ||
        !value)
        return "<missing>";
    return std::string(value);
}

TEST(VersionResource, NamesTheMakerTheProductAndTheVersion) {
    std::string exe = DistDir() + "\\setup.exe";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &handle);
    ASSERT_GT(size, 0u) << exe;
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, &block[0]));

    const struct {
        const char* name;
        const char* value;
    } kStrings[] = {
        {"CompanyName", "Tovak"},
        {"ProductName", "Kestrune 2"},
        {"FileDescription", "Kestrune 2 Setup"},
        {"FileVersion", "2.1.0"},
        {"ProductVersion", "2.1.0"},
        {"OriginalFilename", "setup.exe"},
    };
    for (const auto& s : kStrings)
        EXPECT_EQ(VersionString(block, s.name), s.value) << s.name;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &n));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u); // 2.1
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u); // .0.0
}

TEST(VersionResource, ManifestAsksForElevationAndTheCurrentControls) {
    std::string manifest = ShippedManifest();
    for (const char* needle :
         {"level=\"requireAdministrator\"", "Microsoft.Windows.Common-Controls",
          "version=\"6.0.0.0\"", ">true</dpiAware>", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8"
          "</activeCodePage>"})
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}

// The resource compiler does not see the files a script names: after an edit
// of the manifest alone, a build that missed it keeps the old one.
TEST(VersionResource, ManifestIsTheSourceFile) {
    std::string source = Env("KR_SOURCE");
    if (source.empty() || source[0] != '/')
        GTEST_SKIP() << "KR_SOURCE does not name the source folder";
    std::string path = WinPath(source + "/res/setup.manifest");
    std::string file = ReadAll(path);
    ASSERT_NE(file, "<missing>") << path;
    EXPECT_EQ(ShippedManifest(), file);
}

// This program runs under the same manifest (tests/unit/unit_tests.rc): the
// system (Wine 8, Windows 10 version 1903 and later) made UTF-8 its ANSI
// code page.
TEST(VersionResource, ManifestMakesUtf8TheCodePage) {
    EXPECT_EQ(GetACP(), 65001u);
}

} // namespace
