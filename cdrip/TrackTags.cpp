#include "TrackTags.h"

#include "Utf8.h"

#include <utility>

namespace {

void PutLE32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v, int bitsPerByte = 8)
{
    const uint32_t mask = (1u << bitsPerByte) - 1;
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(v >> (bitsPerByte * i) & mask));
}

void Append(std::vector<uint8_t>& out, const char* fourcc) { out.insert(out.end(), fourcc, fourcc + 4); }

// The tags' texts with their keys, in the order the tags list them.
std::vector<std::pair<const char*, std::string>>
Fields(const TTrackTags& tags, const char* title, const char* performer, const char* album, const char* track)
{
    std::vector<std::pair<const char*, std::string>> fields;
    if (tags.Empty())
        return fields;
    for (auto&& [key, text] : {std::pair(title, &tags.Title), std::pair(performer, &tags.Performer),
                               std::pair(album, &tags.Album)})
        if (!text->empty())
            fields.emplace_back(key, *text);
    if (tags.TrackNumber > 0)
        fields.emplace_back(track, std::to_string(tags.TrackNumber));
    return fields;
}

std::u32string CodePoints(const std::string& utf8)
{
    std::u32string cps;
    for (size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = util::NextCodePoint(utf8, pos);
        cps += cp == util::kNotUtf8 ? util::kReplacementCharacter : cp;
    }
    return cps;
}

// Encoding byte and text of an ID3v2.3 text frame.
std::vector<uint8_t> Id3Text(const std::string& utf8)
{
    const std::u32string cps = CodePoints(utf8);
    bool latin1 = true;
    for (const char32_t cp : cps)
        latin1 &= cp <= 0xFF;
    std::vector<uint8_t> body = {latin1 ? uint8_t{0} : uint8_t{1}};
    if (latin1) {
        body.insert(body.end(), cps.begin(), cps.end());
        return body;
    }
    util::AppendUtf16(body, 0xFEFF, false);
    for (const char32_t cp : cps)
        util::AppendUtf16(body, cp, false);
    return body;
}

}  // namespace

std::vector<uint8_t> WavInfoChunk(const TTrackTags& tags)
{
    const auto fields = Fields(tags, "INAM", "IART", "IPRD", "ITRK");
    if (fields.empty())
        return {};
    std::vector<uint8_t> chunk;
    Append(chunk, "LIST");
    PutLE32(chunk, 0);  // set below
    Append(chunk, "INFO");
    for (const auto& [id, text] : fields) {
        Append(chunk, id);
        PutLE32(chunk, static_cast<uint32_t>(text.size() + 1));
        chunk.insert(chunk.end(), text.begin(), text.end());
        chunk.push_back(0);
        if (chunk.size() % 2 != 0)
            chunk.push_back(0);
    }
    const uint32_t size = static_cast<uint32_t>(chunk.size() - 8);
    for (int i = 0; i < 4; ++i)
        chunk[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
    return chunk;
}

std::vector<uint8_t> Id3v2Tag(const TTrackTags& tags)
{
    const auto fields = Fields(tags, "TIT2", "TPE1", "TALB", "TRCK");
    if (fields.empty())
        return {};
    std::vector<uint8_t> frames;
    for (const auto& [id, text] : fields) {
        const std::vector<uint8_t> body = Id3Text(text);
        Append(frames, id);
        PutBE32(frames, static_cast<uint32_t>(body.size()));
        frames.insert(frames.end(), {0, 0});  // flags
        frames.insert(frames.end(), body.begin(), body.end());
    }
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    PutBE32(tag, static_cast<uint32_t>(frames.size()), 7);  // syncsafe
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}
