#include "Folders.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct TAppDataCase {
    const char* Name;
    std::optional<std::string> XdgDataHome;
    std::string Home;
    std::string Expected;
};

class AppDataFolderCase : public ::testing::TestWithParam<TAppDataCase> {};

TEST_P(AppDataFolderCase, FollowsXdgDataHomeThenHome)
{
    testsupport::TEnvGuard env;
    env.Set("XDG_DATA_HOME", GetParam().XdgDataHome);
    env.Set("HOME", GetParam().Home);
    EXPECT_EQ(os::AppDataFolder(), GetParam().Expected);
    EXPECT_EQ(os::GetSpecialFolderPath(os::CSIDL_APPDATA), GetParam().Expected);
}

const TAppDataCase kAppDataCases[] = {
    {"XdgDataHome", "/srv/data", "/home/anna", "/srv/data"},
    {"XdgDataHomeTrailingSlash", "/srv/data/", "/home/anna", "/srv/data"},
    {"XdgDataHomeEmpty", "", "/home/anna", "/home/anna/.local/share"},
    {"XdgDataHomeUnset", std::nullopt, "/home/anna", "/home/anna/.local/share"},
    {"XdgDataHomeRelativeIgnored", "data", "/home/anna", "/home/anna/.local/share"},
    {"HomeTrailingSlash", std::nullopt, "/home/anna/", "/home/anna/.local/share"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AppDataFolderCase, ::testing::ValuesIn(kAppDataCases),
                         [](const auto& p) { return std::string(p.param.Name); });

class UserDirs : public ::testing::Test {
protected:
    void SetUp() override
    {
        FEnv.Set("HOME", "/home/anna");
        FEnv.Set("XDG_DATA_HOME", std::nullopt);
        FEnv.Set("XDG_CONFIG_HOME", FDir.Path());
    }
    void WriteUserDirs(const std::string& text) { FDir.Write("user-dirs.dirs", text); }

    testsupport::TTempDir FDir;
    testsupport::TEnvGuard FEnv;
};

TEST_F(UserDirs, ReadsTheNamedFolders)
{
    WriteUserDirs("# written by xdg-user-dirs-update\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                  "XDG_DOCUMENTS_DIR=\"/data/Dokumente/\"\n"
                  "XDG_MUSIC_DIR=\"$HOME/\"\n"
                  "XDG_PICTURES_DIR=\"$HOME/Meine \\\"Bilder\\\"\"\n"
                  "XDG_VIDEOS_DIR=relative/Videos\n"
                  "XDG_TEMPLATES_DIR=\"$HOMEWORK/Vorlagen\"\n");
    EXPECT_EQ(os::XdgUserDir("DESKTOP"), "/home/anna/Schreibtisch");
    EXPECT_EQ(os::XdgUserDir("DOCUMENTS"), "/data/Dokumente");
    EXPECT_EQ(os::XdgUserDir("MUSIC"), "") << "the home folder itself marks a disabled entry";
    EXPECT_EQ(os::XdgUserDir("PICTURES"), "/home/anna/Meine \"Bilder\"");
    EXPECT_EQ(os::XdgUserDir("VIDEOS"), "");
    EXPECT_EQ(os::XdgUserDir("TEMPLATES"), "");
    EXPECT_EQ(os::XdgUserDir("DOWNLOAD"), "");
    EXPECT_EQ(os::GetSpecialFolderPath(os::CSIDL_DESKTOP), "/home/anna/Schreibtisch");
    EXPECT_EQ(os::GetSpecialFolderPath(os::CSIDL_PERSONAL), "/data/Dokumente");
}

TEST_F(UserDirs, MissingFileNamesNothing)
{
    EXPECT_EQ(os::XdgUserDir("DESKTOP"), "");
    EXPECT_EQ(os::GetSpecialFolderPath(os::CSIDL_PERSONAL), "");
}

TEST_F(UserDirs, UnknownFolderNumberIsEmpty)
{
    EXPECT_EQ(os::GetSpecialFolderPath(0x7FFF), "");
    EXPECT_EQ(os::GetSpecialFolderPath(os::CSIDL_FONTS), "/home/anna/.local/share/fonts");
}

}  // namespace
