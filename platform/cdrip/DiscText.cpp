// CD-Text: a drive's packs decoded here, an image's text as libcdio parsed it.
//
// Measured with libcdio 2.1 (on our emulated drive and on cue sheets):
// - cdtext_data_init, behind cdio_get_cdtext on a drive, checks no CRC; it
//   takes the string after the album's for track 1 whatever the disc's first
//   track is, and it skips an empty string without moving on to the next
//   track, so the texts after a track without text land one track early.
//   Hence the drive's packs are decoded here, from cdio_get_cdtext_raw.
// - The cue parser takes TITLE / PERFORMER as ISO-8859-1 and converts them
//   to UTF-8, so a UTF-8 cue comes out doubly encoded ("Ãœ" for "Ü").  It
//   knows one block, in English, and no CRC is involved.
#include "DiscText.h"

#include "Utf8.h"

#include <cdio/cdtext.h>

#include <array>
#include <map>
#include <memory>
#include <utility>

namespace cdrip {
namespace {

constexpr size_t kPackBytes = 18;
constexpr size_t kTextBytes = 12;
constexpr int kBlocks = 8;
constexpr uint8_t kTitlePack = 0x80;
constexpr uint8_t kPerformerPack = 0x81;
constexpr uint8_t kSizePack = 0x8F;
constexpr uint8_t kIso8859_1 = 0x00;
constexpr uint8_t kAscii = 0x01;

// CRC-16-CCITT (divisor 0x11021, start 0), inverted, as the packs carry it.
uint16_t PackCrc(const uint8_t* pack)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < 16; ++i) {
        crc = static_cast<uint16_t>(crc ^ pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

struct Pack {
    uint8_t type;
    uint8_t track;  // of the pack's first character
    uint8_t sequence;
    int block;
    bool startsString;    // no character of the string under way before this pack
    bool doubleByte;      // two bytes a character (not read here)
    const uint8_t* text;  // 12 bytes
};

struct Block {
    bool present = false;
    bool doubleByte = false;
    uint8_t charset = kIso8859_1;  // the usual one, also when the size packs are lost
};

struct Packs {
    std::vector<Pack> packs;
    std::array<Block, kBlocks> blocks;
    std::array<uint8_t, kBlocks> languages{};  // 0: unknown
};

// The packs whose CRC holds, and what their size information says.
Packs GoodPacks(const uint8_t* data, size_t size)
{
    Packs result;
    for (size_t at = 0; at + kPackBytes <= size; at += kPackBytes) {
        const uint8_t* p = data + at;
        if (PackCrc(p) != (p[16] << 8 | p[17]))
            continue;
        const Pack pack{p[0],
                        static_cast<uint8_t>(p[1] & 0x7F),
                        p[2],
                        p[3] >> 4 & 7,
                        (p[3] & 0x0F) == 0,
                        (p[3] & 0x80) != 0,
                        p + 4};
        Block& block = result.blocks[static_cast<size_t>(pack.block)];
        block.present = true;
        block.doubleByte |= pack.doubleByte;
        if (pack.type == kSizePack && pack.track == 0)
            block.charset = pack.text[0];
        if (pack.type == kSizePack && pack.track == 2)  // every block's language
            for (int b = 0; b < kBlocks; ++b)
                result.languages[static_cast<size_t>(b)] = pack.text[4 + b];
        result.packs.push_back(pack);
    }
    return result;
}

// The strings of one pack type in one block, by track number (0: the album).
// A string is NUL-terminated and may run over several packs; the next one
// is the next track's.  Where a pack is missing, the string under way is
// dropped and the next pack's header tells where its text belongs.
std::map<int, std::string> Strings(const Packs& all, int block, uint8_t type, int firstTrack)
{
    std::map<int, std::string> strings;
    std::string current;
    bool whole = false;
    int track = 0;
    int nextSequence = -1;
    for (const Pack& p : all.packs) {
        if (p.block != block || p.type != type)
            continue;
        if (p.sequence != nextSequence) {  // the first pack, or one went missing
            current.clear();
            whole = p.startsString;
        }
        nextSequence = (p.sequence + 1) & 0xFF;
        track = p.track;
        for (size_t i = 0; i < kTextBytes; ++i) {
            if (p.text[i] != 0) {
                current += static_cast<char>(p.text[i]);
                continue;
            }
            // A lone TAB stands for the previous track's text.
            if (current == "\t" && strings.count(track - 1) != 0 && track > firstTrack)
                current = strings[track - 1];
            if (whole && strings.count(track) == 0)
                strings[track] = current;
            current.clear();
            whole = true;
            track = track == 0 ? firstTrack : track + 1;
        }
    }
    return strings;
}

// A code point shown as it is; U+FFFD for a control character.
char32_t Shown(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) ? util::kReplacementCharacter : cp;
}

// UTF-8 for display: malformed sequences and control characters replaced,
// blanks at either end removed.
std::string Cleaned(const std::string& utf8)
{
    std::string out;
    for (size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = util::NextCodePoint(utf8, pos);
        util::AppendUtf8(out, cp == util::kNotUtf8 ? util::kReplacementCharacter : Shown(cp));
    }
    const size_t first = out.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// Bytes of an ISO-8859-1 or ASCII block as UTF-8.
std::string FromCharset(const std::string& bytes, uint8_t charset)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        util::AppendUtf8(out, charset == kAscii && b >= 0x80 ? util::kReplacementCharacter : Shown(b));
    }
    return Cleaned(out);
}

// The text, or nothing when all of it is empty.
DiscText Finished(DiscText text)
{
    bool any = !text.title.empty() || !text.performer.empty();
    for (const TrackText& t : text.tracks)
        any |= !t.title.empty() || !t.performer.empty();
    return any ? text : DiscText{};
}

// The disc's track numbers: first, and how many.
bool TrackRange(CdIo_t* cdio, int& first, int& count)
{
    const track_t f = cdio_get_first_track_num(cdio);
    const track_t n = cdio_get_num_tracks(cdio);
    if (f == CDIO_INVALID_TRACK || n == CDIO_INVALID_TRACK || n == 0)
        return false;
    first = f;
    count = n;
    return true;
}

// The texts of one block, or nothing when the block names nothing.
void AddBlock(std::vector<DiscText>& blocks, DiscText text)
{
    text = Finished(std::move(text));
    if (!text.Empty())
        blocks.push_back(std::move(text));
}

std::vector<DiscText> FromPacks(const uint8_t* data, size_t size, int first, int count)
{
    const Packs all = GoodPacks(data, size);
    std::vector<DiscText> blocks;
    for (int b = 0; b < kBlocks; ++b) {
        const Block& block = all.blocks[static_cast<size_t>(b)];
        if (!block.present || block.doubleByte || (block.charset != kIso8859_1 && block.charset != kAscii))
            continue;
        std::map<int, std::string> titles = Strings(all, b, kTitlePack, first);
        std::map<int, std::string> performers = Strings(all, b, kPerformerPack, first);
        DiscText text;
        text.language = all.languages[static_cast<size_t>(b)];
        text.title = FromCharset(titles[0], block.charset);
        text.performer = FromCharset(performers[0], block.charset);
        for (int t = first; t < first + count; ++t)
            text.tracks.push_back(
                {FromCharset(titles[t], block.charset), FromCharset(performers[t], block.charset)});
        AddBlock(blocks, std::move(text));
    }
    return blocks;
}

// An image's text as libcdio converted it from ISO-8859-1.  When the bytes
// it was converted from are UTF-8 (a cue sheet written in UTF-8), those
// bytes are the text; otherwise libcdio's reading stands.
std::string ImageText(const char* converted)
{
    if (converted == nullptr)
        return {};
    const std::string text = converted;
    std::string bytes;
    for (size_t pos = 0; pos < text.size();) {
        const char32_t cp = util::NextCodePoint(text, pos);
        if (cp > 0xFF)
            return Cleaned(text);  // not a reading of ISO-8859-1 bytes
        bytes += static_cast<char>(cp);
    }
    return Cleaned(util::IsUtf8(bytes) ? bytes : text);
}

std::vector<DiscText> FromImage(CdIo_t* cdio, int first, int count)
{
    cdtext_t* cdtext = cdio_get_cdtext(cdio);  // owned by cdio
    if (cdtext == nullptr)
        return {};
    const cdtext_lang_t* list = cdtext_list_languages_v2(cdtext);
    std::vector<DiscText> blocks;
    for (int b = 0; list != nullptr && b < kBlocks; ++b) {
        const cdtext_lang_t language = list[b];
        if (language == CDTEXT_LANGUAGE_BLOCK_UNUSED || !cdtext_set_language_index(cdtext, b))
            continue;
        const auto get = [&](cdtext_field_t field, int track) {
            return ImageText(cdtext_get_const(cdtext, field, static_cast<track_t>(track)));
        };
        DiscText text;
        text.language = language <= 0x7F ? static_cast<uint8_t>(language) : 0;
        text.title = get(CDTEXT_FIELD_TITLE, 0);
        text.performer = get(CDTEXT_FIELD_PERFORMER, 0);
        for (int t = first; t < first + count; ++t)
            text.tracks.push_back({get(CDTEXT_FIELD_TITLE, t), get(CDTEXT_FIELD_PERFORMER, t)});
        AddBlock(blocks, std::move(text));
    }
    return blocks;
}

struct CdioFree {
    void operator()(uint8_t* p) const { cdio_free(p); }
};

}  // namespace

std::vector<DiscText> ReadDiscTexts(CdIo_t* cdio)
{
    int first = 0;
    int count = 0;
    if (cdio == nullptr || !TrackRange(cdio, first, count))
        return {};
    switch (cdio_get_driver_id(cdio)) {
    case DRIVER_BINCUE:
    case DRIVER_CDRDAO:
    case DRIVER_NRG: return FromImage(cdio, first, count);
    default: break;
    }
    // The drive's answer: a 4-byte header whose first two bytes count the
    // bytes after them, then the packs.
    const std::unique_ptr<uint8_t, CdioFree> raw(cdio_get_cdtext_raw(cdio));
    if (!raw)
        return {};
    const size_t size = static_cast<size_t>(raw.get()[0] << 8 | raw.get()[1]);
    if (size <= 2)
        return {};
    return FromPacks(raw.get() + 4, size - 2, first, count);
}

const DiscText* ChooseDiscText(const std::vector<DiscText>& blocks, uint8_t preferredLanguage)
{
    for (const uint8_t wanted : {preferredLanguage, kCdTextEnglish})
        for (const DiscText& block : blocks)
            if (wanted != 0 && block.language == wanted)
                return &block;
    return blocks.empty() ? nullptr : &blocks.front();
}

}  // namespace cdrip
