// Disc images for tests, benchmarks and the demo: a .cue + .bin pair that
// libcdio opens as a disc, with contents that a test can recompute.
//
// Layout of the bin: for each track, its pregap sectors (INDEX 00) and then
// its own sectors (INDEX 01 on). Everything is 2352-byte raw sectors; audio is
// little-endian 16-bit stereo PCM at 44.1 kHz, data tracks are MODE1/2352
// sectors (sync, BCD header, 2048 payload bytes, EDC and ECC). One FILE line:
// libcdio only reads "<cue stem>.bin", whatever the FILE line names.
//
// Sector numbers are LSN: the first sector of the bin is LSN 0.
#pragma once

#include "CdSectors.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace discimage {

constexpr int32_t kSectorBytes = util::kCdSectorBytes;
constexpr int32_t kSectorsPerSecond = util::kCdSectorsPerSecond;
constexpr int32_t kFramesPerSector = util::kCdFramesPerSector;  // stereo sample frames per audio sector
constexpr int32_t kDataPayloadBytes = 2048;
// A CD's addresses end at 99:59:74 and count the 2-second lead-in (LSN + 150),
// so a disc holds at most this many sectors, pregaps included.
constexpr int32_t kMaxDiscSectors = 100 * 60 * kSectorsPerSecond - 150;

// What an audio track holds; the sample index k counts stereo frames from
// the track's INDEX 01, so a track's PCM does not depend on where it sits.
enum class Content {
    Sine,     // amplitude 0.5; left at `frequency`, right 120 degrees behind
    Noise,    // full-scale xorshift32 noise from `seed` (defeats byte-order guessing)
    Counter,  // left = k & 0xFFFF, right = ~(k ^ (k >> 16)) & 0xFFFF: see CounterFrame
    Silence,  // zeros
    Melody,   // soft notes of a pentatonic tune; `seed` chooses the tune and its key
};

struct Track {
    bool audio = true;
    int32_t sectors = 0;  // length of the track itself (from INDEX 01)
    Content content = Content::Sine;
    double frequency = 440.0;  // Sine
    uint32_t seed = 1;         // Noise, Melody
    int32_t pregap = 0;        // sectors stored before INDEX 01 (INDEX 00 .. 01)
    std::string title{};       // CD-Text, UTF-8; empty: none
    std::string performer{};

    bool operator==(const Track& o) const;
    bool operator!=(const Track& o) const { return !(*this == o); }
};

struct Disc {
    int firstTrack = 1;  // number of the first track in the cue
    std::vector<Track> tracks;
    std::string title{};  // the album's CD-Text, UTF-8; empty: none
    std::string performer{};

    bool operator==(const Disc& o) const
    {
        return firstTrack == o.firstTrack && tracks == o.tracks && title == o.title &&
               performer == o.performer;
    }
    bool operator!=(const Disc& o) const { return !(*this == o); }
};

// A CD-Text string: at most this many characters, as in a cue sheet.
constexpr size_t kMaxTextChars = 80;
// The packs of one language block, three of them for its size information.
constexpr size_t kMaxTextPacks = 256;

// Throws std::invalid_argument when the disc cannot be written as a cue:
// no tracks, a track of 0 sectors, a negative pregap, numbers outside 1..99,
// a sine frequency outside (0, 22050), more than kMaxDiscSectors in all, a
// text a cue cannot carry (not UTF-8, a double quote, a control character,
// more than kMaxTextChars characters), or more text than one CD-Text block
// holds (kMaxTextPacks packs of 12 characters).
void Validate(const Disc& disc);

// Why text cannot be a title or performer in a cue sheet; empty when it can.
std::string TextProblem(const std::string& text);

// The packs of CD-Text that the disc's titles and performers fill: for each
// of the two kinds that any text uses, one string per track and one for the
// album, each with its terminating NUL and one byte per character (ISO-8859-1),
// in packs of 12 bytes; plus the 3 packs of size information.  0 without text.
size_t TextPacks(const Disc& disc);

// Writes <stem>.cue (at cuePath, which must end in ".cue") and <stem>.bin.
// Both are written under temporary names and renamed into place, bin first,
// so a reader that sees the new cue sees the complete new bin.
// Throws std::invalid_argument for an invalid disc, std::runtime_error on I/O failure.
void WriteImage(const Disc& disc, const std::string& cuePath);

// The cue sheet's text, naming binName on its FILE line.  The CD-Text goes
// in as the cue's TITLE and PERFORMER lines, UTF-8, before FILE for the album
// and after each TRACK line for a track.
std::string CueText(const Disc& disc, const std::string& binName);

// The track's own sectors (INDEX 01 to its end) exactly as stored in the bin.
std::vector<uint8_t> TrackBytes(const Disc& disc, size_t index);

// Bytes of sectors lsn .. lsn+count-1 as stored in the bin (pregaps included).
// Throws std::out_of_range when the range leaves 0 .. LeadOut.
std::vector<uint8_t> SectorBytes(const Disc& disc, int32_t lsn, int32_t count);

// Same, into out (count * kSectorBytes bytes); no allocation.
void RenderSectors(const Disc& disc, int32_t lsn, int32_t count, uint8_t* out);

int32_t TrackStart(const Disc& disc, size_t index);   // LSN of INDEX 01
int32_t PregapStart(const Disc& disc, size_t index);  // LSN of INDEX 00 (== TrackStart without pregap)
int32_t TrackEnd(const Disc& disc, size_t index);     // LSN of the track's last sector
int32_t LeadOut(const Disc& disc);                    // LSN after the last sector

// Sample frame k of a Counter track. Left and right differ for every k, any
// byte swap changes a value, and the pair is unique for k < 2^32.
void CounterFrame(uint32_t k, uint16_t& left, uint16_t& right);

// When pcm (little-endian stereo frames) is one unbroken run of counter
// frames, the k of its first frame; otherwise nothing. A dropped, repeated,
// byte-swapped or channel-swapped frame, or a shift by part of a frame,
// all break the run.
std::optional<uint32_t> CounterRunStart(const uint8_t* pcm, size_t bytes);

// Parses a description. Items are separated by whitespace; '#' starts a
// comment running to the end of the line.
//   first=N                           number of the first track (1..99)
//   album="TEXT"  performer="TEXT"    the album's CD-Text title and performer
//   audio:LEN[:CONTENT][:pregap=LEN][:title="TEXT"][:performer="TEXT"]
//                                     CONTENT: sine | sine=HZ | noise | noise=SEED |
//                                     counter | silence | melody | melody=SEED
//   data:LEN[:pregap=LEN][:title="TEXT"][:performer="TEXT"]
//                                     a MODE1/2352 data track
// TEXT is UTF-8 between double quotes, where blanks, colons and '#' are
// text; the quotes may be left out around a text without any of them.
// LEN is a sector count ("1500") or a time: "20s", "2.5s", "1m", "1m30s"
// (75 sectors a second; a time that is not a whole number of sectors is an error).
// Throws std::invalid_argument naming the offending item.
Disc ParseDescription(const std::string& text);

// The description that parses back to disc (one item a line).
std::string FormatDescription(const Disc& disc);

}  // namespace discimage
