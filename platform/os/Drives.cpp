#include "Drives.h"

#include <cddrives/CdDrives.h>

#include <algorithm>
#include <cstring>

namespace os {
namespace {

constexpr char kFirstCdLetter = 'D';
constexpr char kLastLetter = 'Z';
constexpr std::uint32_t kRootLength = 4;  // "X:\" and its NUL

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::vector<TDriveEntry> CurrentDrives()
{
    std::vector<TDriveEntry> drives = {{'C', DRIVE_FIXED}};
    const std::size_t cdCount = cddrives::Drives().size();
    for (std::size_t i = 0; i < cdCount && kFirstCdLetter + i <= static_cast<std::size_t>(kLastLetter); ++i)
        drives.push_back({static_cast<char>(kFirstCdLetter + i), DRIVE_CDROM});
    return drives;
}

uint32_t DriveStringsOf(const std::vector<TDriveEntry>& drives, uint32_t bufferLength, char* buffer)
{
    const auto length = static_cast<std::uint32_t>(drives.size()) * kRootLength;
    if (bufferLength < length + 1)
        return length + 1;
    if (!buffer)
        return 0;
    char* out = buffer;
    for (const TDriveEntry& drive : drives) {
        const char root[kRootLength] = {drive.Letter, ':', '\\', '\0'};
        out = std::copy(root, root + kRootLength, out);
    }
    *out = '\0';
    return length;
}

uint32_t DriveTypeOf(const std::vector<TDriveEntry>& drives, const char* root)
{
    const char* path = root ? root : "C:\\";
    const std::size_t length = std::strlen(path);
    const bool isRoot = (length == 2 || (length == 3 && path[2] == '\\')) && path[1] == ':';
    if (!isRoot)
        return DRIVE_NO_ROOT_DIR;
    const char letter = UpperAscii(path[0]);
    const auto found = std::find_if(drives.begin(), drives.end(),
                                    [letter](const TDriveEntry& d) { return d.Letter == letter; });
    return found == drives.end() ? DRIVE_NO_ROOT_DIR : found->Type;
}

uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer)
{
    return DriveStringsOf(CurrentDrives(), bufferLength, buffer);
}

uint32_t GetDriveType(const char* root) { return DriveTypeOf(CurrentDrives(), root); }

TDriveApi SystemDriveApi() { return {&GetLogicalDriveStrings, &GetDriveType}; }

std::string SysErrorMessage(int code)
{
    switch (code) {
    case 0: return "Der Vorgang wurde erfolgreich beendet";
    case 2: return "Das System kann die angegebene Datei nicht finden";
    case 3: return "Das System kann den angegebenen Pfad nicht finden";
    case 5: return "Zugriff verweigert";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "Nicht gen\u00fcgend Speicher verf\u00fcgbar, um diesen Befehl zu verarbeiten";
    case ERROR_OUTOFMEMORY:
        return "Nicht gen\u00fcgend Speicher verf\u00fcgbar, um diesen Vorgang abzuschlie\u00dfen";
    case 15: return "Das angegebene Laufwerk wurde nicht gefunden";
    case 21: return "Das Ger\u00e4t ist nicht bereit";
    default: return "Systemfehler. Code: " + std::to_string(code);
    }
}

}  // namespace os
