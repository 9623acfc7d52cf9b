#include "Folders.h"

#include "IniFile.h"
#include "TextFile.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace os {
namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// An XDG base directory: the variable when it holds an absolute path (the
// base-directory rules ignore relative ones), else the fallback under $HOME.
std::string XdgBaseFolder(const char* variable, const char* underHome)
{
    const std::string value = Environment(variable);
    if (!value.empty() && value[0] == '/')
        return WithoutTrailingSlashes(value);
    return HomeFolder() + underHome;
}

// The quoted value of a user-dirs.dirs line with its backslash escapes
// resolved and a leading $HOME replaced; empty when not in that form.
std::string UserDirValue(const std::string& quoted, const std::string& home)
{
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return "";
    std::string value;
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 2 < quoted.size())
            ++i;
        value += quoted[i];
    }
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
        value = home + value.substr(5);
    else if (value.empty() || value[0] != '/')
        return "";
    value = WithoutTrailingSlashes(value);
    return value == WithoutTrailingSlashes(home) ? "" : value;
}

}  // namespace

std::string HomeFolder()
{
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()))
            home = entry->pw_dir ? entry->pw_dir : "";
    }
    return WithoutTrailingSlashes(home);
}

std::string AppDataFolder() { return XdgBaseFolder("XDG_DATA_HOME", "/.local/share"); }

std::string XdgUserDir(const std::string& name)
{
    const std::string file = XdgBaseFolder("XDG_CONFIG_HOME", "/.config") + "/user-dirs.dirs";
    const auto bytes = ReadFileBytes(file);
    if (!bytes)
        return "";
    const std::string wanted = "XDG_" + name + "_DIR";
    for (const std::string& raw : SplitLines(DecodeSettingsText(*bytes))) {
        const std::string line = TrimAscii(raw);
        const std::size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        if (TrimAscii(line.substr(0, equals)) == wanted)
            return UserDirValue(TrimAscii(line.substr(equals + 1)), HomeFolder());
    }
    return "";
}

std::string GetSpecialFolderPath(int csidl)
{
    switch (csidl) {
    case CSIDL_APPDATA:
    case CSIDL_LOCAL_APPDATA: return AppDataFolder();
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return XdgUserDir("DESKTOP");
    case CSIDL_PERSONAL: return XdgUserDir("DOCUMENTS");
    case CSIDL_MYMUSIC: return XdgUserDir("MUSIC");
    case CSIDL_MYVIDEO: return XdgUserDir("VIDEOS");
    case CSIDL_MYPICTURES: return XdgUserDir("PICTURES");
    case CSIDL_TEMPLATES: return XdgUserDir("TEMPLATES");
    case CSIDL_FONTS: return AppDataFolder() + "/fonts";
    case CSIDL_PROFILE: return HomeFolder();
    default: return "";
    }
}

}  // namespace os
