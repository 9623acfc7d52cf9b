// The three platform operations the system information is read through:
// the registry (read only), the version query and the environment. Each is
// a function in the shape of its Windows call, so tests can script them and
// Linux can answer them from the freedesktop folders.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace win {

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr std::uint32_t KEY_READ = 0x20019;

constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_MORE_DATA = 234;

constexpr std::uint32_t VER_PLATFORM_WIN32s = 0;
constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

}  // namespace win

struct TSystemApi {
    // RegOpenKeyExA: opens `subKey` (no leading backslash) below `parent`
    // with `access`; a result other than ERROR_SUCCESS means not opened.
    std::function<long(win::HKEY parent, const std::string& subKey, std::uint32_t access, win::HKEY* result)>
        RegOpenKeyEx;
    // RegQueryValueExA: `name` empty for the default value. With `data` null
    // it reports type and size only; with a buffer smaller than the value it
    // answers ERROR_MORE_DATA. `size` is the buffer size in, the value's out.
    std::function<long(win::HKEY key, const std::string& name, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* size)>
        RegQueryValueEx;
    std::function<long(win::HKEY key)> RegCloseKey;
    // GetVersionExA reduced to its platform identifier; false when it fails.
    std::function<bool(std::uint32_t* platformId)> GetVersionPlatform;
    // GetEnvironmentVariableA: nothing when the variable is not set.
    std::function<std::optional<std::string>(const std::string& name)> GetEnvironmentVariable;
};

// The Linux answers: the Shell Folders key holds the XDG user folders that
// fit a field ("Desktop", "Personal" = Documents, "Templates", "Fonts",
// "AppData" = os::AppDataFolder()), every other key is absent; the version
// query reports platform 0, of neither family; the environment is searched
// without regard to letter case.
TSystemApi LinuxSystemApi();

// Looks a variable up in `environment` (NAME=VALUE entries) by ASCII
// case-insensitive name. An entry whose name matches exactly wins; among
// entries differing only in case, the name that sorts first byte-wise wins (so
// TEMP before Temp before temp).
std::optional<std::string> FindEnvironmentVariable(const char* const* environment, const std::string& name);
