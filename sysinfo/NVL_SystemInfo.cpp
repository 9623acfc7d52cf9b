#include "NVL_SystemInfo.h"

#include "Registry.h"

namespace {

const char kShellFoldersKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kExplorerKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const char kWabFileNameKey[] = "\\Software\\Microsoft\\Wab\\Wab4\\Wab File Name\\";
const char kCurrentVersionKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion";
const char kNtCurrentVersionKey[] = "\\Software\\Microsoft\\Windows NT\\CurrentVersion";

struct TPlatform {
    std::string Name;
    std::string VersionKey;
};

TPlatform QueryPlatform(const TSystemApi& api)
{
    std::uint32_t platformId = win::VER_PLATFORM_WIN32s;
    if (!api.GetVersionPlatform(&platformId))
        platformId = win::VER_PLATFORM_WIN32s;
    switch (platformId) {
    case win::VER_PLATFORM_WIN32_WINDOWS: return {"Windows 95/98", kCurrentVersionKey};
    case win::VER_PLATFORM_WIN32_NT: return {"Windows NT/2000/XP", kNtCurrentVersionKey};
    default: return {};
    }
}

}  // namespace

TWindowsInfo::TWindowsInfo() : TWindowsInfo(LinuxSystemApi()) {}

TWindowsInfo::TWindowsInfo(const TSystemApi& api)
{
    const TPlatform platform = QueryPlatform(api);
    WindowsVersion = platform.Name;

    TRegistry registry(api, win::KEY_READ);
    registry.SetRootKey(win::HKEY_CURRENT_USER);
    if (registry.OpenKeyReadOnly(kShellFoldersKey)) {
        Desktop = registry.ReadString("Desktop");
        Favorites = registry.ReadString("Favorites");
        Fonts = registry.ReadString("Fonts");
        NetHood = registry.ReadString("NetHood");
        Personal = registry.ReadString("Personal");
        Programs = registry.ReadString("Programs");
        Recent = registry.ReadString("Recent");
        SendTo = registry.ReadString("SendTo");
        StartMenu = registry.ReadString("Start Menu");
        Startup = registry.ReadString("Startup");
        Templates = registry.ReadString("Templates");
        Cache = registry.ReadString("Cache");
        AppData = registry.ReadString("AppData");
    }
    if (registry.OpenKeyReadOnly(kExplorerKey))
        LogonUserName = registry.ReadString("Logon User Name");
    if (registry.OpenKeyReadOnly(kWabFileNameKey))
        WabFileName = registry.ReadString("");

    registry.SetRootKey(win::HKEY_LOCAL_MACHINE);
    // An empty version key is not opened: it would name the root itself,
    // which holds no "SystemRoot".
    if (!platform.VersionKey.empty() && registry.OpenKeyReadOnly(platform.VersionKey))
        SystemRoot = registry.ReadString("SystemRoot");
    if (registry.OpenKeyReadOnly(kCurrentVersionKey)) {
        ProgramFilesDir = registry.ReadString("ProgramFilesDir");
        CommonFilesDir = registry.ReadString("CommonFilesDir");
        MediaPath = registry.ReadString("MediaPath");
    }

    try {
        TempDir = api.GetEnvironmentVariable("temp").value_or("");
    } catch (...) {
        TempDir.clear();
    }
}

TWindowsInfo* WindowsInfo = nullptr;

void InitializeSystemInfo()
{
    FinalizeSystemInfo();
    WindowsInfo = new TWindowsInfo();
}

void FinalizeSystemInfo()
{
    delete WindowsInfo;
    WindowsInfo = nullptr;
}
