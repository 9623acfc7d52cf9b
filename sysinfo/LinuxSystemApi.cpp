#include "SystemApi.h"

#include "Folders.h"
#include "IniFile.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

extern char** environ;

namespace {

const char kShellFoldersPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

using TValues = std::vector<std::pair<std::string, std::string>>;

// The Shell Folders values a Linux desktop can answer, read when the key
// is opened; a folder that is not known is left out, so that it reads as a
// missing value.
TValues ShellFolderValues()
{
    const TValues candidates = {
        {"Desktop", os::GetSpecialFolderPath(os::CSIDL_DESKTOPDIRECTORY)},
        {"Personal", os::GetSpecialFolderPath(os::CSIDL_PERSONAL)},
        {"Templates", os::GetSpecialFolderPath(os::CSIDL_TEMPLATES)},
        {"Fonts", os::GetSpecialFolderPath(os::CSIDL_FONTS)},
        {"My Music", os::GetSpecialFolderPath(os::CSIDL_MYMUSIC)},
        {"My Pictures", os::GetSpecialFolderPath(os::CSIDL_MYPICTURES)},
        {"My Video", os::GetSpecialFolderPath(os::CSIDL_MYVIDEO)},
        {"Local AppData", os::GetSpecialFolderPath(os::CSIDL_LOCAL_APPDATA)},
        {"AppData", os::AppDataFolder()},
    };
    TValues values;
    for (const auto& entry : candidates)
        if (!entry.second.empty())
            values.push_back(entry);
    return values;
}

std::string WithoutTrailingBackslashes(std::string path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

// The registry as a Linux user has it: one key, opened handles numbered
// from 0x100 and forgotten when closed.
class TLinuxRegistry {
public:
    long Open(win::HKEY parent, const std::string& subKey, win::HKEY* result)
    {
        if (parent != win::HKEY_CURRENT_USER ||
            !os::SameTextAscii(WithoutTrailingBackslashes(subKey), kShellFoldersPath))
            return win::ERROR_FILE_NOT_FOUND;
        *result = FNextHandle++;
        FOpen[*result] = ShellFolderValues();
        return win::ERROR_SUCCESS;
    }

    long Query(win::HKEY key, const std::string& name, std::uint32_t* type, unsigned char* data,
               std::uint32_t* size) const
    {
        const auto open = FOpen.find(key);
        if (open == FOpen.end())
            return win::ERROR_FILE_NOT_FOUND;
        const auto value = std::find_if(open->second.begin(), open->second.end(),
                                        [&](const auto& v) { return os::SameTextAscii(v.first, name); });
        if (value == open->second.end())
            return win::ERROR_FILE_NOT_FOUND;
        const std::string& text = value->second;
        const auto needed = static_cast<std::uint32_t>(text.size() + 1);
        if (type)
            *type = win::REG_SZ;
        const std::uint32_t room = *size;
        *size = needed;
        if (!data)
            return win::ERROR_SUCCESS;
        if (room < needed)
            return win::ERROR_MORE_DATA;
        std::memcpy(data, text.c_str(), needed);
        return win::ERROR_SUCCESS;
    }

    long Close(win::HKEY key) { return FOpen.erase(key) ? win::ERROR_SUCCESS : win::ERROR_FILE_NOT_FOUND; }

private:
    win::HKEY FNextHandle = 0x100;
    std::map<win::HKEY, TValues> FOpen;
};

}  // namespace

TSystemApi LinuxSystemApi()
{
    auto registry = std::make_shared<TLinuxRegistry>();
    TSystemApi api;
    api.RegOpenKeyEx = [registry](win::HKEY parent, const std::string& subKey, std::uint32_t,
                                  win::HKEY* result) { return registry->Open(parent, subKey, result); };
    api.RegQueryValueEx = [registry](win::HKEY key, const std::string& name, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) {
        return registry->Query(key, name, type, data, size);
    };
    api.RegCloseKey = [registry](win::HKEY key) { return registry->Close(key); };
    api.GetVersionPlatform = [](std::uint32_t* platformId) {
        *platformId = win::VER_PLATFORM_WIN32s;
        return true;
    };
    api.GetEnvironmentVariable = [](const std::string& name) {
        return FindEnvironmentVariable(environ, name);
    };
    return api;
}

std::optional<std::string> FindEnvironmentVariable(const char* const* environment, const std::string& name)
{
    std::optional<std::string> bestName;
    std::optional<std::string> bestValue;
    for (const char* const* entry = environment; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals)
            continue;
        const std::string entryName(*entry, equals);
        if (!os::SameTextAscii(entryName, name))
            continue;
        if (entryName == name)
            return std::string(equals + 1);
        if (!bestName || entryName < *bestName) {
            bestName = entryName;
            bestValue = std::string(equals + 1);
        }
    }
    return bestValue;
}
