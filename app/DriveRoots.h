// The CD-ROM drives as the drive list finds them: the machine's root strings
// walked four characters at a time, kept when their type is CD-ROM.
#pragma once

#include "Drives.h"

#include <string>
#include <vector>

namespace ripper {

// The drive-list buffer holds this many characters.
constexpr uint32_t kDriveStringsBuffer = 129;

// The CD-ROM roots ("D:\", ...) in drive-letter order; entry i is drive
// number i of the extraction library. Empty when the system lists no drives.
// Throws rtl::Exception with the system's text for error 14 when the root
// strings do not fit the buffer.
std::vector<std::string> CdRomRoots(const os::TDriveApi& drives);

}  // namespace ripper
