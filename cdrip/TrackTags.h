// What a copy says about itself: the title, performer and album of the track
// as a RIFF LIST/INFO chunk for a WAV file or an ID3v2.3 tag for an MP3 file.
// Pure functions: they build the bytes, the caller writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Texts in UTF-8 (as the disc's CD-Text is read); empty where unknown.
struct TTrackTags {
    std::string Title;
    std::string Performer;
    std::string Album;
    int32_t TrackNumber = 0;  // the disc's own number of the track; 0 or less: none

    // Without any text there is nothing to say: the number alone is no tag.
    bool Empty() const { return Title.empty() && Performer.empty() && Album.empty(); }
};

// The chunk "LIST" <size> "INFO" with the sub-chunks INAM (title), IART
// (performer), IPRD (album) and ITRK (track number, decimal) for what is
// known, in that order.  Each text is UTF-8 with a terminating NUL; a
// sub-chunk's size counts the NUL, and a pad byte (0) follows a sub-chunk of
// odd size, so the whole chunk has an even size.  It goes after the data
// chunk (and its pad byte, if the data size is odd); the RIFF size at offset
// 4 then grows by the chunk's size.  Empty tags give no bytes.
std::vector<uint8_t> WavInfoChunk(const TTrackTags& tags);

// An ID3v2.3 tag: a 10-byte header ("ID3", version 3.0, no flags, the size
// of the rest as a syncsafe number), then the text frames TIT2 (title), TPE1
// (performer), TALB (album) and TRCK (track number) for what is known, in
// that order, without padding or unsynchronisation.  A frame's text is
// ISO-8859-1 (encoding byte 0) when every character fits, else UTF-16 with a
// byte-order mark (encoding byte 1, little-endian, surrogate pairs beyond
// U+FFFF); no terminating NUL.  Malformed UTF-8 becomes U+FFFD.  It goes in
// front of the first MPEG frame.  Empty tags give no bytes.
std::vector<uint8_t> Id3v2Tag(const TTrackTags& tags);
