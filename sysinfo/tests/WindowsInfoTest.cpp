#include "NVL_SystemInfo.h"
#include "Rtl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const std::string kWab = "Software\\Microsoft\\Wab\\Wab4\\Wab File Name\\";
const std::string kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
const std::string kNtCurrentVersion = "Software\\Microsoft\\Windows NT\\CurrentVersion";

struct TValue {
    std::uint32_t Type;
    std::string Bytes;
};

TValue Sz(const std::string& text) { return {win::REG_SZ, text + '\0'}; }

// A registry, version query and environment scripted per test; it logs the
// calls and checks that handles are used only while open.
class TScriptedSystem {
public:
    using TKey = std::pair<win::HKEY, std::string>;

    std::map<TKey, std::map<std::string, TValue>> Keys;
    std::set<std::string> FetchFails;  // values whose data cannot be fetched after their size
    bool VersionQueryWorks = true;
    std::uint32_t PlatformId = win::VER_PLATFORM_WIN32_NT;
    std::map<std::string, std::string> Environment;
    bool EnvironmentThrows = false;

    std::vector<std::string> Log;
    std::map<win::HKEY, TKey> OpenKeys;
    std::size_t MostHeldAtAnOpen = 0;  // keys still open when another one is opened
    std::vector<std::string> Misuse;

    TSystemApi Api()
    {
        TSystemApi api;
        api.RegOpenKeyEx = [this](win::HKEY parent, const std::string& subKey, std::uint32_t access,
                                  win::HKEY* result) {
            Log.push_back("open " + RootName(parent) + " " + subKey);
            if (access != win::KEY_READ)
                Misuse.push_back("access " + std::to_string(access));
            MostHeldAtAnOpen = std::max(MostHeldAtAnOpen, OpenKeys.size());
            if (!Keys.count({parent, subKey}))
                return win::ERROR_FILE_NOT_FOUND;
            *result = FNextHandle++;
            OpenKeys[*result] = {parent, subKey};
            return win::ERROR_SUCCESS;
        };
        api.RegQueryValueEx = [this](win::HKEY key, const std::string& name, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) {
            const auto open = OpenKeys.find(key);
            if (open == OpenKeys.end()) {
                Misuse.push_back("query on closed handle for '" + name + "'");
                return win::ERROR_FILE_NOT_FOUND;
            }
            const auto& values = Keys[open->second];
            const auto value = values.find(name);
            if (value == values.end())
                return win::ERROR_FILE_NOT_FOUND;
            *type = value->second.Type;
            const std::uint32_t room = *size;
            *size = static_cast<std::uint32_t>(value->second.Bytes.size());
            if (!data)
                return win::ERROR_SUCCESS;
            if (FetchFails.count(name))
                return 5L;  // ERROR_ACCESS_DENIED
            if (room < *size)
                return win::ERROR_MORE_DATA;
            std::copy(value->second.Bytes.begin(), value->second.Bytes.end(), data);
            return win::ERROR_SUCCESS;
        };
        api.RegCloseKey = [this](win::HKEY key) {
            Log.push_back("close " + RootName(OpenKeys[key].first) + " " + OpenKeys[key].second);
            if (!OpenKeys.erase(key))
                Misuse.push_back("close of a handle not open");
            return win::ERROR_SUCCESS;
        };
        api.GetVersionPlatform = [this](std::uint32_t* platformId) {
            *platformId = VersionQueryWorks ? PlatformId : 0xDEAD;
            return VersionQueryWorks;
        };
        api.GetEnvironmentVariable = [this](const std::string& name) -> std::optional<std::string> {
            if (EnvironmentThrows)
                throw std::runtime_error("environment unavailable");
            const auto found = Environment.find(name);
            if (found == Environment.end())
                return std::nullopt;
            return found->second;
        };
        return api;
    }

    // A complete Windows XP profile.
    void FillProfile()
    {
        auto& shell = Keys[{win::HKEY_CURRENT_USER, kShellFolders}];
        for (const char* name : {"Desktop", "Favorites", "Fonts", "NetHood", "Personal", "Programs", "Recent",
                                 "SendTo", "Start Menu", "Startup", "Templates", "Cache", "AppData"})
            shell[name] = Sz(std::string("C:\\Profile\\") + name);
        Keys[{win::HKEY_CURRENT_USER, kExplorer}]["Logon User Name"] = Sz("anna");
        Keys[{win::HKEY_CURRENT_USER, kWab}][""] = Sz("C:\\anna.wab");
        Keys[{win::HKEY_LOCAL_MACHINE, kNtCurrentVersion}]["SystemRoot"] = Sz("C:\\WINNT");
        auto& current = Keys[{win::HKEY_LOCAL_MACHINE, kCurrentVersion}];
        current["SystemRoot"] = Sz("C:\\WINDOWS");
        current["ProgramFilesDir"] = Sz("C:\\Programme");
        current["CommonFilesDir"] = Sz("C:\\Programme\\Gemeinsame Dateien");
        current["MediaPath"] = Sz("C:\\WINDOWS\\Media");
        Environment["temp"] = "C:\\Temp";
    }

private:
    static std::string RootName(win::HKEY root)
    {
        return root == win::HKEY_CURRENT_USER ? "HKCU" : root == win::HKEY_LOCAL_MACHINE ? "HKLM" : "key";
    }
    win::HKEY FNextHandle = 0x10;
};

class WindowsInfoTest : public ::testing::Test {
protected:
    void SetUp() override { FSystem.FillProfile(); }
    TWindowsInfo Read() { return TWindowsInfo(FSystem.Api()); }
    std::map<std::string, TValue>& ShellFolders()
    {
        return FSystem.Keys[{win::HKEY_CURRENT_USER, kShellFolders}];
    }

    void ExpectRegistryLeftClean() const
    {
        EXPECT_TRUE(FSystem.OpenKeys.empty()) << "a key stayed open";
        EXPECT_LE(FSystem.MostHeldAtAnOpen, 1u) << "an open left an earlier key open";
        EXPECT_TRUE(FSystem.Misuse.empty()) << FSystem.Misuse.front();
    }

    TScriptedSystem FSystem;
};

TEST_F(WindowsInfoTest, ReadsEveryFieldFromItsSource)
{
    const TWindowsInfo info = Read();
    const std::vector<std::pair<std::string, std::string>> fields = {
        {info.Desktop, "C:\\Profile\\Desktop"},
        {info.Favorites, "C:\\Profile\\Favorites"},
        {info.Fonts, "C:\\Profile\\Fonts"},
        {info.NetHood, "C:\\Profile\\NetHood"},
        {info.Personal, "C:\\Profile\\Personal"},
        {info.Programs, "C:\\Profile\\Programs"},
        {info.Recent, "C:\\Profile\\Recent"},
        {info.SendTo, "C:\\Profile\\SendTo"},
        {info.StartMenu, "C:\\Profile\\Start Menu"},
        {info.Startup, "C:\\Profile\\Startup"},
        {info.Templates, "C:\\Profile\\Templates"},
        {info.Cache, "C:\\Profile\\Cache"},
        {info.LogonUserName, "anna"},
        {info.SystemRoot, "C:\\WINNT"},
        {info.WindowsVersion, "Windows NT/2000/XP"},
        {info.ProgramFilesDir, "C:\\Programme"},
        {info.CommonFilesDir, "C:\\Programme\\Gemeinsame Dateien"},
        {info.MediaPath, "C:\\WINDOWS\\Media"},
        {info.TempDir, "C:\\Temp"},
        {info.WabFileName, "C:\\anna.wab"},
        {info.AppData, "C:\\Profile\\AppData"},
    };
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i + 1;
    ExpectRegistryLeftClean();
}

TEST_F(WindowsInfoTest, OpensTheKeysInOrderAndClosesBeforeSwitchingRoot)
{
    Read();
    const std::vector<std::string> expected = {
        "open HKCU " + kShellFolders,      "open HKCU " + kExplorer,
        "close HKCU " + kShellFolders,     "open HKCU " + kWab,
        "close HKCU " + kExplorer,         "close HKCU " + kWab,
        "open HKLM " + kNtCurrentVersion,  "open HKLM " + kCurrentVersion,
        "close HKLM " + kNtCurrentVersion, "close HKLM " + kCurrentVersion,
    };
    EXPECT_EQ(FSystem.Log, expected);
}

TEST_F(WindowsInfoTest, ExpandStringStaysUnexpanded)
{
    ShellFolders()["Favorites"] = {win::REG_EXPAND_SZ, std::string("%USERPROFILE%\\Favoriten\0", 24)};
    EXPECT_EQ(Read().Favorites, "%USERPROFILE%\\Favoriten");
}

TEST_F(WindowsInfoTest, TextEndsAtTheFirstNul)
{
    ShellFolders()["Personal"] = {win::REG_SZ, std::string("C:\\Eigene Dateien\0old\0", 22)};
    ShellFolders()["Recent"] = {win::REG_SZ, "C:\\Recent"};  // stored without its NUL
    const TWindowsInfo info = Read();
    EXPECT_EQ(info.Personal, "C:\\Eigene Dateien");
    EXPECT_EQ(info.Recent, "C:\\Recent");
}

TEST_F(WindowsInfoTest, EmptyOrMissingValueLeavesOnlyItsField)
{
    ShellFolders()["Cache"] = {win::REG_DWORD, ""};  // size 0 is empty whatever the type
    ShellFolders().erase("AppData");
    FSystem.Keys[{win::HKEY_CURRENT_USER, kExplorer}].erase("Logon User Name");
    const TWindowsInfo info = Read();
    EXPECT_EQ(info.Cache, "");
    EXPECT_EQ(info.AppData, "");
    EXPECT_EQ(info.LogonUserName, "");
    EXPECT_EQ(info.Templates, "C:\\Profile\\Templates");
    EXPECT_EQ(info.WabFileName, "C:\\anna.wab");
}

struct TWrongTypeCase {
    const char* Name;
    win::HKEY Root;
    std::string Key;
    std::string Value;
    std::uint32_t Type;
    std::string Message;
};

class WindowsInfoWrongType : public WindowsInfoTest, public ::testing::WithParamInterface<TWrongTypeCase> {};

TEST_P(WindowsInfoWrongType, RaisesAndFreesTheReader)
{
    const TWrongTypeCase& c = GetParam();
    FSystem.Keys[{c.Root, c.Key}][c.Value] = {c.Type, std::string("\x01\x00\x00\x00", 4)};
    try {
        Read();
        FAIL() << "no error";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(std::string(e.what()), c.Message);
    }
    ExpectRegistryLeftClean();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsInfoWrongType,
    ::testing::Values(TWrongTypeCase{"Dword", win::HKEY_CURRENT_USER, kShellFolders, "Desktop",
                                     win::REG_DWORD, "Ung\u00fcltiger Datentyp f\u00fcr 'Desktop'"},
                      TWrongTypeCase{"Binary", win::HKEY_CURRENT_USER, kShellFolders, "Start Menu",
                                     win::REG_BINARY, "Ung\u00fcltiger Datentyp f\u00fcr 'Start Menu'"},
                      TWrongTypeCase{"MultiString", win::HKEY_LOCAL_MACHINE, kCurrentVersion, "MediaPath",
                                     win::REG_MULTI_SZ, "Ung\u00fcltiger Datentyp f\u00fcr 'MediaPath'"},
                      TWrongTypeCase{"DefaultValue", win::HKEY_CURRENT_USER, kWab, "", win::REG_DWORD,
                                     "Ung\u00fcltiger Datentyp f\u00fcr ''"}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(WindowsInfoTest, DataThatCannotBeFetchedRaises)
{
    FSystem.FetchFails.insert("Logon User Name");
    try {
        Read();
        FAIL() << "no error";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Fehler beim Holen der Daten f\u00fcr 'Logon User Name'");
    }
    ExpectRegistryLeftClean();
}

struct TMissingKeyCase {
    const char* Name;
    win::HKEY Root;
    std::string Key;
    std::vector<std::string TWindowsInfo::*> EmptyFields;
};

class WindowsInfoMissingKey : public WindowsInfoTest,
                              public ::testing::WithParamInterface<TMissingKeyCase> {};

TEST_P(WindowsInfoMissingKey, LeavesOnlyItsGroupEmpty)
{
    FSystem.Keys.erase({GetParam().Root, GetParam().Key});
    const TWindowsInfo info = Read();
    const std::vector<std::string TWindowsInfo::*> all = {
        &TWindowsInfo::Desktop,         &TWindowsInfo::Favorites,      &TWindowsInfo::Fonts,
        &TWindowsInfo::NetHood,         &TWindowsInfo::Personal,       &TWindowsInfo::Programs,
        &TWindowsInfo::Recent,          &TWindowsInfo::SendTo,         &TWindowsInfo::StartMenu,
        &TWindowsInfo::Startup,         &TWindowsInfo::Templates,      &TWindowsInfo::Cache,
        &TWindowsInfo::LogonUserName,   &TWindowsInfo::SystemRoot,     &TWindowsInfo::WindowsVersion,
        &TWindowsInfo::ProgramFilesDir, &TWindowsInfo::CommonFilesDir, &TWindowsInfo::MediaPath,
        &TWindowsInfo::TempDir,         &TWindowsInfo::WabFileName,    &TWindowsInfo::AppData,
    };
    const auto& empty = GetParam().EmptyFields;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bool inGroup = std::find(empty.begin(), empty.end(), all[i]) != empty.end();
        EXPECT_EQ((info.*all[i]).empty(), inGroup) << "field " << i + 1;
    }
    ExpectRegistryLeftClean();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsInfoMissingKey,
    ::testing::Values(
        TMissingKeyCase{"ShellFolders",
                        win::HKEY_CURRENT_USER,
                        kShellFolders,
                        {&TWindowsInfo::Desktop, &TWindowsInfo::Favorites, &TWindowsInfo::Fonts,
                         &TWindowsInfo::NetHood, &TWindowsInfo::Personal, &TWindowsInfo::Programs,
                         &TWindowsInfo::Recent, &TWindowsInfo::SendTo, &TWindowsInfo::StartMenu,
                         &TWindowsInfo::Startup, &TWindowsInfo::Templates, &TWindowsInfo::Cache,
                         &TWindowsInfo::AppData}},
        TMissingKeyCase{"Explorer", win::HKEY_CURRENT_USER, kExplorer, {&TWindowsInfo::LogonUserName}},
        TMissingKeyCase{"Wab", win::HKEY_CURRENT_USER, kWab, {&TWindowsInfo::WabFileName}},
        TMissingKeyCase{
            "VersionKey", win::HKEY_LOCAL_MACHINE, kNtCurrentVersion, {&TWindowsInfo::SystemRoot}},
        TMissingKeyCase{
            "CurrentVersion",
            win::HKEY_LOCAL_MACHINE,
            kCurrentVersion,
            {&TWindowsInfo::ProgramFilesDir, &TWindowsInfo::CommonFilesDir, &TWindowsInfo::MediaPath}}),
    [](const auto& p) { return std::string(p.param.Name); });

struct TPlatformCase {
    const char* Name;
    bool QueryWorks;
    std::uint32_t PlatformId;
    std::string WindowsVersion;
    std::string SystemRoot;
};

class WindowsInfoPlatform : public WindowsInfoTest, public ::testing::WithParamInterface<TPlatformCase> {};

TEST_P(WindowsInfoPlatform, ChoosesNameAndVersionKey)
{
    FSystem.VersionQueryWorks = GetParam().QueryWorks;
    FSystem.PlatformId = GetParam().PlatformId;
    const TWindowsInfo info = Read();
    EXPECT_EQ(info.WindowsVersion, GetParam().WindowsVersion);
    EXPECT_EQ(info.SystemRoot, GetParam().SystemRoot);
    EXPECT_EQ(info.ProgramFilesDir, "C:\\Programme") << "the other fields are still read";
    EXPECT_EQ(info.AppData, "C:\\Profile\\AppData");
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowsInfoPlatform,
                         ::testing::Values(TPlatformCase{"Windows9x", true, win::VER_PLATFORM_WIN32_WINDOWS,
                                                         "Windows 95/98", "C:\\WINDOWS"},
                                           TPlatformCase{"WindowsNT", true, win::VER_PLATFORM_WIN32_NT,
                                                         "Windows NT/2000/XP", "C:\\WINNT"},
                                           TPlatformCase{"Win32s", true, win::VER_PLATFORM_WIN32s, "", ""},
                                           TPlatformCase{"OtherFamily", true, 3, "", ""},
                                           TPlatformCase{"FailedQuery", false, win::VER_PLATFORM_WIN32_NT, "",
                                                         ""}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(WindowsInfoTest, TempStepNeverFails)
{
    FSystem.Environment.clear();
    EXPECT_EQ(Read().TempDir, "");
    FSystem.EnvironmentThrows = true;
    TWindowsInfo info = Read();
    EXPECT_EQ(info.TempDir, "");
    EXPECT_EQ(info.AppData, "C:\\Profile\\AppData");
}

TEST_F(WindowsInfoTest, AsksTheEnvironmentForLowerCaseTemp)
{
    FSystem.Environment = {{"TEMP", "C:\\UPPER"}, {"temp", "C:\\lower"}};
    EXPECT_EQ(Read().TempDir, "C:\\lower");
}

}  // namespace
