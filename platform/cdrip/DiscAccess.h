// Opening a drive's disc and reading its table of contents (internal).
#ifndef CDRIP_DISCACCESS_H
#define CDRIP_DISCACCESS_H

#include "DiscText.h"

#include <cddrives/CdDrives.h>
#include <ripper/CDRip.h>

#include <cdio/cdio.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cdrip {

struct CdioDeleter {
    void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioDeleter>;

// What a real drive says about its tray, asked with CDROM_DRIVE_STATUS: an
// answer that never waits for the disc (a table-of-contents read on a disc
// that is spinning up blocks in the kernel for up to 20 s).
enum class TrayState {
    DiscOk,  // a disc is in and ready
    NoDisc,  // tray closed, nothing in it
    TrayOpen,
    NotReady,    // a disc is in but spinning up
    Unknown,     // the driver cannot tell
    CannotOpen,  // the device node cannot be opened
};
TrayState ProbeTray(const std::string& device);

// Opens whatever disc is in the drive right now; null when the tray is empty
// or the image/device cannot be opened.  A real drive is asked for its tray
// state first, so a drive without a ready disc answers at once.  Never
// cached.  `status`, when given, receives what is known of the disc as a
// CDRIP_DISC_* value: why there is none, else CDRIP_DISC_READY (or
// CDRIP_DISC_UNKNOWN when the drive cannot tell its tray state).
CdioPtr OpenDisc(const cddrives::Drive& drive, int32_t* status = nullptr);

struct TocTrack {
    int32_t start = 0;         // LSN of INDEX 01
    int32_t pregapStart = -1;  // LSN of INDEX 00 when the disc tells it, else -1
    bool audio = true;
    uint8_t number = 0;  // the disc's own track number
};

struct DiscToc {
    std::vector<TocTrack> tracks;
    int32_t leadOut = 0;
    // The first sector the disc does not hold: the lead-out, except on an
    // image whose bin ends before its cue's tracks do; the sectors from here
    // to the lead-out are unreadable.
    int32_t heldEnd = 0;
    int32_t lastSessionStart = -1;  // multi-session discs (CD-Extra): start of the last session
};

// Reads the table of contents; false when there is none.  libcdio puts an
// image's lead-out where its bin ends, also when a track of the cue starts
// later: the lead-out is then moved to the last track's start (which gives
// that track no sectors), so no track ends before it starts, and `heldEnd`
// keeps where the bin ends.
bool ReadDiscToc(CdIo_t* cdio, DiscToc& toc);

// What one look at a drive found.
struct DiscLook {
    int32_t status = CDRIP_DISC_UNKNOWN;
    std::optional<DiscToc> toc;  // with CDRIP_DISC_READY
    std::vector<DiscText> text;  // the disc's CD-Text blocks, with the table
};

// Opens the disc in the drive and reads its table of contents and CD-Text,
// on the caller's thread.  A real drive is given a second try, since it
// reports a newly inserted disc once (UNIT ATTENTION) and the table read may
// meet that.  When `known` has the same table, its text is taken instead of
// reading the text again.
DiscLook LookAtDisc(const cddrives::Drive& drive, const DiscLook* known = nullptr);

// The drive's identification from INQUIRY: "VENDOR MODEL REVISION", one blank
// between the trimmed fields; empty when the drive does not answer.
std::string Identify(const std::string& device);

// Whether two tables of contents describe the same disc: the same tracks
// (start, kind, number) and the same lead-out.
bool SameToc(const DiscToc& a, const DiscToc& b);

// Index of the track holding the sector, or -1.
int TrackIndexOf(const DiscToc& toc, int32_t lsn);

// The last sector of audio in the run of audio tracks that holds track
// `index`: before a following data track's pregap, and before the gap of
// 11400 sectors between the sessions of a CD-Extra disc.
int32_t LastAudioSector(const DiscToc& toc, int index);

}  // namespace cdrip

#endif
