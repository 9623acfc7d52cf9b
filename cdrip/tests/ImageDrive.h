// Helpers for tests on generated disc images in virtual drives.
#pragma once

#include "CDRIP.h"
#include "DiscImage.h"
#include "TestSupport.h"

#include <cstdlib>
#include <string>

namespace imagedrive {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv : public testsupport::TEnvGuard {
public:
    ScopedEnv(const char* name, const std::string& value) : TEnvGuard(name, value) {}
};

// Selects the drive whose name shows the image file `cueName`; fills Tracks
// with its disc only.  Returns false when no such drive exists.
inline bool SelectImageDrive(TCDRIP& ripper, const std::string& cueName)
{
    for (int32_t drive = 0; drive < 64; ++drive) {
        ripper.Tracks().Clear();
        if (!ripper.RereadDrive(drive))
            return false;
        if (ripper.CDRomName().find("(" + cueName + ")") != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace imagedrive
