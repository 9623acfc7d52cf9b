// The numbers of a CD's audio sector.
#pragma once

#include <cstdint>

namespace util {

constexpr int32_t kCdSectorBytes = 2352;     // one raw sector
constexpr int32_t kCdFramesPerSector = 588;  // stereo 16-bit frames at 44.1 kHz
constexpr int32_t kCdSectorsPerSecond = 75;

}  // namespace util
