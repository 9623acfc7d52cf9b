// Reading CD audio sectors, plainly or through libcdio-paranoia (internal).
// A reader is used by one thread at a time.
#ifndef CDRIP_SECTORREADER_H
#define CDRIP_SECTORREADER_H

#include "DiscAccess.h"

#include <atomic>
#include <climits>
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

// What a reader reads for: the range being copied, audio by the table of
// contents, and where the audio that can be read ends.
struct ReadScope {
    int32_t first = 0;
    int32_t last = -1;
    // Sectors from here on are never read: what lies there is data, or not
    // on the disc (an image whose bin is cut short).  Those inside the range
    // cannot be read.
    int32_t readableEnd = INT32_MAX;
};

// Sectors go to `reported` when the data delivered for them are not what a
// clean read gives: paranoia fixed them up (jitter, dropped or duplicated
// bytes), or nobody could read them and they were filled with silence.  A
// read that delivers silence of its own making reports those sectors alone.
// A read error that a retry mends is not reported: its data are right.
//
// A drive can also be lost for the rest of a rip: the disc is gone (sense
// 02/3A, 06/28 medium changed, or the drive status says no disc or tray
// open after a failed read) or the drive refuses to read audio (05/24, 05/20,
// 05/64).  From then on every Read fails at once, without a command to the
// drive, so the caller's rule for failed reads ends the rip quickly instead
// of paranoia turning the rest of the track into silence.  Only a command
// whose sectors all lie in the range being copied can tell: paranoia also
// reads around the range (before it to move the drive's cache along, after
// it to verify), and there a data sector answers 05/64 and a sector past the
// lead-out 05/21 on any drive.  A sector outside the range that cannot be
// read is silence for paranoia and nothing more: it is not part of the copy,
// so it is not reported either.
class SectorReader {
public:
    virtual ~SectorReader() = default;
    // Reads count sectors from lsn into out (count * 2352 bytes).  False on a
    // hard error (no data) or when stop became true between sectors.  Filled
    // and fixed-up sectors are added to `reported`; paranoia verifies ahead,
    // so fix-ups may lie beyond this read.
    virtual bool Read(int32_t lsn, int32_t count, uint8_t* out, std::set<int32_t>& reported,
                      const std::atomic<bool>& stop) = 0;
    // True once the drive is lost for this rip (see above).
    virtual bool DriveLost() const = 0;
};

// Plain audio reads through the CdIo handle, which the reader owns.  A
// sector that cannot be read fails its read (nothing is made up); the
// caller may try again.
std::unique_ptr<SectorReader> MakePlainReader(CdioPtr cdio, const ReadScope& scope);

// Paranoia in full mode with skipping after a bounded number of retries; the
// byte order is fixed to little-endian instead of guessed from the audio.
// A drive read that fails is repeated sector by sector before paranoia sees
// it, so that only the sectors the drive really cannot read become silence
// (and are reported when they lie in the range); paranoia never gives up on
// a whole read.  Sectors of the range past the readable end are silence,
// reported, without a command.  Null when paranoia cannot take the disc.
// Owns the CdIo handle.
std::unique_ptr<SectorReader> MakeParanoiaReader(CdioPtr cdio, const ReadScope& scope, bool simulateJitter);

// A drive's table of contents counts a data track's pregap to the track
// before it, yet its sectors are data, which a drive refuses to read as
// audio (05/64).  Returns the last sector of first..last that the drive
// does not refuse so (found by halving, a few commands): `last` when the
// drive reads it, always for an image, first - 1 when none is audio.
int32_t LastAudioBeforeData(CdIo_t* cdio, int32_t first, int32_t last);

}  // namespace cdrip

#endif
