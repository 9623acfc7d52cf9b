// Shared helpers of the extraction library's tests: generated images in a
// scratch folder, virtual drives through CDRIP_IMAGES, and whole-range rips.
#pragma once

#include <ripper/CDRip.h>
#include "DiscImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cdriptest {

class ScratchDir {
public:
    const std::string& path() const { return dir_.Path(); }
    std::string File(const std::string& name) const { return dir_.Path() + "/" + name; }

private:
    testsupport::TTempDir dir_;
};

// Number of real CD drives (the virtual ones come after them).
int32_t RealDriveCount();

// Sets CDRIP_IMAGES to the given trays, re-initialises the library and
// returns the drive number of the first tray.
int32_t UseTrays(const std::vector<std::string>& trays);

// Sets output format and jitter correction of the active drive.
void SetFormat(int32_t format, bool jitterCorrection);

struct RipResult {
    int32_t openResult = CDRIP_ERROR;
    int32_t readSize = 0;
    std::vector<uint8_t> pcm;
    std::vector<int32_t> results;                     // one per CR_RipChunk
    std::vector<std::pair<int32_t, int32_t>> jitter;  // positions of every result 3
    std::vector<std::pair<int32_t, int32_t>>
        jitterReads;  // sectors each result 3 delivered (44.1 kHz stereo)
    int32_t maxDelivered = 0;
    int idle = 0;            // results 0 with 0 bytes: nothing ready yet
    double longestCall = 0;  // seconds, the slowest CR_RipChunk
    bool timedOut = false;
    int32_t jitterCount = 0;
    int32_t finalPercent = 0;
    bool percentMonotonic = true;
};

// Opens start..end on the active drive and reads until result 4, maxReads
// results other than "nothing ready yet", or a generous deadline (a failure),
// then closes.
RipResult Rip(int32_t start, int32_t end, int maxReads = 100000);

// Seconds since the object was made.
class Stopwatch {
public:
    Stopwatch();
    double Seconds() const;

private:
    std::chrono::steady_clock::time_point start_;
};

// One run of the exit probe (ExitProbe.cpp), a process of its own.
struct ProbeRun {
    bool finished = false;  // ended by itself before the deadline
    int status = -1;        // as waitpid gives it
    double seconds = 0;
    std::map<std::string, long> values;  // its "name=number" lines
};

// Runs the probe with `args`; `env` entries ("NAME=value") replace or add to
// this process's environment.  Its output goes to `output`; it is killed
// after `deadline` seconds.
ProbeRun RunProbe(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& output, double deadline);

// Environment variable set for the lifetime of the object.
class ScopedEnv : public testsupport::TEnvGuard {
public:
    ScopedEnv(const char* name, const std::string& value) : TEnvGuard(name, value) {}
};

}  // namespace cdriptest
