#include "DriveRoots.h"

#include "Rtl.h"

#include <cstring>

namespace ripper {

std::vector<std::string> CdRomRoots(const os::TDriveApi& drives)
{
    char buffer[kDriveStringsBuffer + 1] = {};
    const uint32_t length = drives.GetLogicalDriveStrings(kDriveStringsBuffer, buffer);
    std::vector<std::string> roots;
    if (length == 0)
        return roots;
    if (length > kDriveStringsBuffer)
        throw rtl::Exception(os::SysErrorMessage(os::ERROR_OUTOFMEMORY));
    // Each root takes four characters: letter, ':', '\' and its zero.
    for (uint32_t at = 0; at + 4 <= kDriveStringsBuffer && buffer[at] != '\0'; at += 4) {
        const char* root = buffer + at;
        if (drives.GetDriveType(root) == os::DRIVE_CDROM)
            roots.emplace_back(root, strnlen(root, 4));
    }
    return roots;
}

}  // namespace ripper
