// A drive looked at on a thread of its own (internal), so that a caller who
// must not wait for a drive (a dialog's thread) gets its state at once.
#ifndef CDRIP_DRIVEREADER_H
#define CDRIP_DRIVEREADER_H

#include "DiscAccess.h"

#include <cddrives/CdDrives.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace cdrip {

struct ReaderState;

// What the reader knows of its drive.
struct DriveSnapshot {
    uint64_t look = 0;        // the number of the look `disc` came from; 0 before the first
    bool identified = false;  // the identification was asked (answered or not)
    std::string identification;
    DiscLook disc;
};

// Starts a thread that asks the drive's identification once (a real drive
// that the user may read), then looks at the disc (LookAtDisc) whenever it
// is asked to, reading the disc's CD-Text only when the table of contents
// differs from the last look's.  The thread takes the drive as an extraction's worker does
// (DriveClaim), so it never sends a command between a rip's reads and waits
// while an abandoned read still holds the drive; the last snapshot stands
// meanwhile.
class DriveReader {
public:
    // The first look is asked for at once.
    explicit DriveReader(const cddrives::Drive& drive);
    // Tells the thread to end; never waits for it.  A command in flight ends
    // by itself, and then the thread frees what it holds.
    ~DriveReader();
    DriveReader(const DriveReader&) = delete;
    DriveReader& operator=(const DriveReader&) = delete;

    // Asks for a look that begins after this call; its number.
    uint64_t RequestLook();

    // The latest snapshot, once `ready` holds for it or `patience` has passed.
    DriveSnapshot Latest(const std::function<bool(const DriveSnapshot&)>& ready,
                         std::chrono::milliseconds patience) const;

private:
    std::shared_ptr<ReaderState> shared_;  // the thread holds it too
};

}  // namespace cdrip

#endif
