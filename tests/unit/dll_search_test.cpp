// The setup program loads DLLs by name only from the system folder: one
// planted in the current folder (the setup folder) or beside the program is
// ignored once the search is restricted.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "dllsearch.h"

namespace {

std::string ExeFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.rfind('\\'));
}

// Copies the planted DLL under `name` into `folder`.
void Plant(const std::string& folder, const char* name) {
    std::string from = ExeFolder() + "\\kr_planted.dll";
    ASSERT_TRUE(CopyFileA(from.c_str(), (folder + "\\" + name).c_str(), FALSE)) << from;
}

bool Loads(const char* name) {
    HMODULE m = LoadLibraryA(name);
    if (m)
        FreeLibrary(m);
    return m != nullptr;
}

TEST(DllSearch, PlantedDllsAreFoundOnlyBeforeTheSearchIsRestricted) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string cwd = std::string(temp) + "kr-dll-search";
    CreateDirectoryA(cwd.c_str(), nullptr);
    Plant(cwd, "kr_plant_cwd.dll");
    Plant(ExeFolder(), "kr_plant_beside.dll");
    ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));

    // The default search finds both: the test would prove nothing otherwise.
    EXPECT_TRUE(Loads("kr_plant_cwd.dll"));
    EXPECT_TRUE(Loads("kr_plant_beside.dll"));

    RestrictDllSearch();
    EXPECT_FALSE(Loads("kr_plant_cwd.dll"));
    EXPECT_FALSE(Loads("kr_plant_beside.dll"));
    // System DLLs still load by name, and so does a planted one by full path.
    EXPECT_TRUE(Loads("version.dll"));
    EXPECT_TRUE(Loads((cwd + "\\kr_plant_cwd.dll").c_str()));

    DeleteFileA((cwd + "\\kr_plant_cwd.dll").c_str());
    DeleteFileA((ExeFolder() + "\\kr_plant_beside.dll").c_str());
}

} // namespace
