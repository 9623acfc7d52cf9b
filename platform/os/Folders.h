// The user's standard folders, found the freedesktop way ($XDG_DATA_HOME,
// user-dirs.dirs).
// Folder values never end in '/', so callers can append "/sub/path".
#pragma once

#include <string>

namespace os {

// The shell's folder numbers we answer.
enum : int {
    CSIDL_DESKTOP = 0x0000,
    CSIDL_PERSONAL = 0x0005,
    CSIDL_MYMUSIC = 0x000D,
    CSIDL_MYVIDEO = 0x000E,
    CSIDL_DESKTOPDIRECTORY = 0x0010,
    CSIDL_FONTS = 0x0014,
    CSIDL_TEMPLATES = 0x0015,
    CSIDL_APPDATA = 0x001A,
    CSIDL_LOCAL_APPDATA = 0x001C,
    CSIDL_MYPICTURES = 0x0027,
    CSIDL_PROFILE = 0x0028,
};

// $HOME when set and non-empty, else the home of the password database;
// empty when neither is known.
std::string HomeFolder();

// The per-user application-data folder: $XDG_DATA_HOME when set to an
// absolute path, else $HOME/.local/share.
std::string AppDataFolder();

// A folder of user-dirs.dirs ($XDG_CONFIG_HOME or ~/.config), by its short
// name ("DESKTOP", "DOCUMENTS", "MUSIC", "TEMPLATES", ...). Empty when the
// file does not name it or names the home folder itself (a disabled entry).
std::string XdgUserDir(const std::string& name);

// The shell's special folder `csidl`; empty for a number we do not know.
std::string GetSpecialFolderPath(int csidl);

}  // namespace os
