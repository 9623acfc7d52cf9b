// Reading CD audio sectors, plainly or through libcdio-paranoia (internal).
// A reader is used by one thread at a time.
#ifndef CDRIP_SECTORREADER_H
#define CDRIP_SECTORREADER_H

#include "DiscAccess.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>

namespace cdrip {

// Sectors in which paranoia reported a fix-up or a skip; {-1, -1} for none.
struct JitterSpan {
    int32_t first = -1;
    int32_t last = -1;
    void Add(int32_t sector)
    {
        if (first < 0 || sector < first)
            first = sector;
        if (sector > last)
            last = sector;
    }
    void Add(const JitterSpan& other)
    {
        if (other.first >= 0) {
            Add(other.first);
            Add(other.last);
        }
    }
    bool Empty() const { return first < 0; }
};

class SectorReader {
public:
    virtual ~SectorReader() = default;
    // Reads count sectors from lsn into out (count * 2352 bytes).  False on a
    // hard error or when stop became true between sectors.  Sectors in which
    // a fix-up or skip was reported are added to `reported`; paranoia verifies
    // ahead, so some may lie beyond this read.
    virtual bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>& reported,
                      const std::atomic<bool>& stop) = 0;
    // The last sector this reader can deliver, or -1 when it sets no limit.
    virtual int32_t LastReadableSector() const { return -1; }
};

// Plain audio reads through the CdIo handle, which the reader owns.
std::unique_ptr<SectorReader> MakePlainReader(CdioPtr cdio);

// Paranoia in full mode with skipping after a bounded number of retries; the
// byte order is fixed to little-endian instead of guessed from the audio.
// Null when paranoia cannot take the disc.  Owns the CdIo handle.
std::unique_ptr<SectorReader> MakeParanoiaReader(CdioPtr cdio, bool simulateJitter);

}  // namespace cdrip

#endif
