// The machine's drives under drive letters, for the dialog's drive list.
// On Linux "C:\" is the file-system root and the CD drives follow from
// "D:\" on, in the order of the extraction library's own numbering (real
// drives, then the virtual ones of CDRIP_IMAGES), so the i-th CD root is
// drive number i there. Drives beyond "Z:\" get no letter.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace os {

constexpr std::uint32_t DRIVE_UNKNOWN = 0;
constexpr std::uint32_t DRIVE_NO_ROOT_DIR = 1;
constexpr std::uint32_t DRIVE_REMOVABLE = 2;
constexpr std::uint32_t DRIVE_FIXED = 3;
constexpr std::uint32_t DRIVE_REMOTE = 4;
constexpr std::uint32_t DRIVE_CDROM = 5;

constexpr int ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr int ERROR_OUTOFMEMORY = 14;

// GetLogicalDriveStringsA: fills `buffer` with "X:\" + NUL per drive and a
// final NUL; returns the length without that final NUL, or, when
// `bufferLength` is too small, the size needed (final NUL included) and
// leaves the buffer alone; 0 on failure.
uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer);

// GetDriveTypeA for "X:\" (or "X:", any letter case); DRIVE_NO_ROOT_DIR for
// a root that is not there. A null root means the current drive, "C:\".
uint32_t GetDriveType(const char* root);

// The two calls as a table, so the dialog's tests can script the drives.
struct TDriveApi {
    std::function<uint32_t(uint32_t bufferLength, char* buffer)> GetLogicalDriveStrings;
    std::function<uint32_t(const char* root)> GetDriveType;
};

// The calls above.
TDriveApi SystemDriveApi();

struct TDriveEntry {
    char Letter;  // 'A'..'Z'
    uint32_t Type;
};

// "C:\" fixed, then one CD drive per drive of the process's drive list
// (made by the extraction library's CR_Init, or at the first call; never
// made again here, so that no call of the dialog lists the drives anew).
std::vector<TDriveEntry> CurrentDrives();

// The two calls above, answered from a given list of drives.
uint32_t DriveStringsOf(const std::vector<TDriveEntry>& drives, uint32_t bufferLength, char* buffer);
uint32_t DriveTypeOf(const std::vector<TDriveEntry>& drives, const char* root);

// The system's message for an error code, in German like the rest of the
// class library, without a final full stop.
std::string SysErrorMessage(int code);

}  // namespace os
