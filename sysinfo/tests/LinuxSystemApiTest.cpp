#include "NVL_SystemInfo.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct TEnvCase {
    const char* Name;
    std::vector<const char*> Environment;
    std::optional<std::string> Expected;
};

class EnvironmentLookup : public ::testing::TestWithParam<TEnvCase> {};

TEST_P(EnvironmentLookup, FindsTempWithoutRegardToCase)
{
    std::vector<const char*> environment = GetParam().Environment;
    environment.push_back(nullptr);
    EXPECT_EQ(FindEnvironmentVariable(environment.data(), "temp"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvironmentLookup,
    ::testing::Values(TEnvCase{"Upper", {"HOME=/h", "TEMP=/a"}, "/a"}, TEnvCase{"Mixed", {"Temp=/b"}, "/b"},
                      TEnvCase{"Lower", {"temp=/c"}, "/c"},
                      TEnvCase{"ExactNameWins", {"TEMP=/a", "temp=/c", "Temp=/b"}, "/c"},
                      TEnvCase{"FirstByteOrderWins", {"tEMP=/d", "Temp=/b", "TEMP=/a"}, "/a"},
                      TEnvCase{"EmptyValue", {"TEMP="}, ""},
                      TEnvCase{"ValueWithEquals", {"TEMP=/a=b"}, "/a=b"},
                      TEnvCase{"OtherNamesOnly", {"TMP=/x", "TEMPDIR=/y", "TEM=/z"}, std::nullopt},
                      TEnvCase{"EntryWithoutEquals", {"TEMP", "PATH=/bin"}, std::nullopt},
                      TEnvCase{"Empty", {}, std::nullopt}),
    [](const auto& p) { return std::string(p.param.Name); });

class LinuxStandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        FEnv.Set("HOME", FDir.Path() + "/home");
        FEnv.Set("XDG_DATA_HOME", std::nullopt);
        FEnv.Set("XDG_CONFIG_HOME", FDir.Path() + "/config");
        for (const char* name : {"TEMP", "Temp", "temp", "TMP"})
            FEnv.Set(name, std::nullopt);
    }

    testsupport::TTempDir FDir;
    testsupport::TEnvGuard FEnv;
};

TEST_F(LinuxStandIn, AppDataFromXdgDataHome)
{
    FEnv.Set("XDG_DATA_HOME", FDir.Path() + "/data/");
    EXPECT_EQ(TWindowsInfo().AppData, FDir.Path() + "/data");
}

TEST_F(LinuxStandIn, AppDataFromHome)
{
    EXPECT_EQ(TWindowsInfo().AppData, FDir.Path() + "/home/.local/share");
}

TEST_F(LinuxStandIn, ShellFoldersFromUserDirs)
{
    FDir.Write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                        "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                                        "XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n");
    FEnv.Set("Temp", "/var/tmp/anna");
    const TWindowsInfo info;
    const std::string home = FDir.Path() + "/home";
    EXPECT_EQ(info.Desktop, home + "/Schreibtisch");
    EXPECT_EQ(info.Personal, home + "/Dokumente");
    EXPECT_EQ(info.Templates, home + "/Vorlagen");
    EXPECT_EQ(info.Fonts, home + "/.local/share/fonts");
    EXPECT_EQ(info.TempDir, "/var/tmp/anna");
    for (const std::string* absent :
         {&info.Favorites, &info.NetHood, &info.Programs, &info.Recent, &info.SendTo, &info.StartMenu,
          &info.Startup, &info.Cache, &info.LogonUserName, &info.WabFileName, &info.ProgramFilesDir,
          &info.CommonFilesDir, &info.MediaPath})
        EXPECT_EQ(*absent, "");
}

TEST_F(LinuxStandIn, ReportsNeitherPlatformFamily)
{
    const TWindowsInfo info;
    EXPECT_EQ(info.WindowsVersion, "");
    EXPECT_EQ(info.SystemRoot, "");
}

TEST_F(LinuxStandIn, RegistryAnswersLikeWindows)
{
    const TSystemApi api = LinuxSystemApi();
    win::HKEY key = 0;
    EXPECT_NE(api.RegOpenKeyEx(win::HKEY_LOCAL_MACHINE, kShellFolders, win::KEY_READ, &key),
              win::ERROR_SUCCESS);
    EXPECT_NE(api.RegOpenKeyEx(win::HKEY_CURRENT_USER, "Software\\Microsoft", win::KEY_READ, &key),
              win::ERROR_SUCCESS);
    ASSERT_EQ(api.RegOpenKeyEx(win::HKEY_CURRENT_USER,
                               "software\\microsoft\\windows\\currentversion"
                               "\\explorer\\shell folders\\",
                               win::KEY_READ, &key),
              win::ERROR_SUCCESS);

    const std::string appData = FDir.Path() + "/home/.local/share";
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(api.RegQueryValueEx(key, "appdata", &type, nullptr, &size), win::ERROR_SUCCESS);
    EXPECT_EQ(type, win::REG_SZ);
    EXPECT_EQ(size, appData.size() + 1);

    std::vector<unsigned char> data(size);
    std::uint32_t small = size - 1;
    EXPECT_EQ(api.RegQueryValueEx(key, "AppData", &type, data.data(), &small), win::ERROR_MORE_DATA);
    ASSERT_EQ(api.RegQueryValueEx(key, "AppData", &type, data.data(), &size), win::ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), appData);
    EXPECT_EQ(api.RegQueryValueEx(key, "Desktop", &type, nullptr, &size), win::ERROR_FILE_NOT_FOUND)
        << "no user-dirs.dirs, so no desktop";

    EXPECT_EQ(api.RegCloseKey(key), win::ERROR_SUCCESS);
    EXPECT_NE(api.RegQueryValueEx(key, "AppData", &type, nullptr, &size), win::ERROR_SUCCESS);
}

TEST_F(LinuxStandIn, ProcessWideRecord)
{
    FEnv.Set("XDG_DATA_HOME", FDir.Path() + "/data");
    InitializeSystemInfo();
    ASSERT_NE(WindowsInfo, nullptr);
    EXPECT_EQ(WindowsInfo->AppData, FDir.Path() + "/data");
    FinalizeSystemInfo();
    EXPECT_EQ(WindowsInfo, nullptr);
}

}  // namespace
