// The titles and performers a disc carries as CD-Text (internal).
#ifndef CDRIP_DISCTEXT_H
#define CDRIP_DISCTEXT_H

#include <cdio/cdio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cdrip {

// The language code of English CD-Text blocks (EBU Tech 3264), as libcdio's cdtext_lang_t.
constexpr uint8_t kCdTextEnglish = 0x09;

// Texts are UTF-8, without blanks at either end; empty where the disc names
// nothing.  A character that is not valid in the character set its block
// declares, and any control character, is U+FFFD.
struct TrackText {
    std::string title;
    std::string performer;
};

struct DiscText {
    std::string title;  // the album's
    std::string performer;
    // One entry per track of the disc's table of contents, in its order
    // (index 0 is the disc's first track); empty when the disc has no text.
    std::vector<TrackText> tracks;
    // Language of the block the texts come from; 0 when the disc does not
    // say.
    uint8_t language = 0;

    bool Empty() const { return tracks.empty(); }
};

// Reads the CD-Text of the disc that cdio has open, a drive's or an image's:
// every language block that names anything, in the disc's order.
//
// A drive's text is read as the drive hands it out (READ TOC format 5) and
// decoded here: a pack whose CRC is wrong is dropped, as are the strings it
// cut short; texts go to the tracks their packs name (also on a disc whose
// first track is not 1, and where a track has no text).  Blocks of two-byte
// characters and of character sets other than ISO-8859-1 and ASCII are left
// out.  An image's text is the one libcdio parsed: a cue sheet's TITLE and
// PERFORMER lines.
//
// Nothing is cached: every call reads the disc (one command on a drive).
std::vector<DiscText> ReadDiscTexts(CdIo_t* cdio);

// Of the blocks, the one in `preferredLanguage`, else the English one, else
// the first; null when there is none.
const DiscText* ChooseDiscText(const std::vector<DiscText>& blocks, uint8_t preferredLanguage);

}  // namespace cdrip

#endif
