#include "DiscImage.h"

#include "PathNames.h"
#include "StdioFile.h"
#include "Sectors.h"
#include "Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace discimage {

bool Track::operator==(const Track& o) const
{
    return audio == o.audio && sectors == o.sectors && content == o.content && frequency == o.frequency &&
           seed == o.seed && pregap == o.pregap && title == o.title && performer == o.performer;
}

std::string TextProblem(const std::string& text)
{
    size_t chars = 0;
    for (size_t pos = 0; pos < text.size(); ++chars) {
        const char32_t cp = util::NextCodePoint(text, pos);
        if (cp == util::kNotUtf8)
            return "the text is not UTF-8";
        if (cp == '"')
            return "a cue sheet's text cannot hold a double quote";
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0))
            return "the text holds a control character";
    }
    if (chars > kMaxTextChars)
        return "the text has " + std::to_string(chars) + " characters; a cue sheet's text has at most " +
               std::to_string(kMaxTextChars);
    return {};
}

size_t TextPacks(const Disc& disc)
{
    size_t packs = 0;
    for (const auto field : {&Track::title, &Track::performer}) {
        const std::string& album = field == &Track::title ? disc.title : disc.performer;
        bool any = false;
        size_t bytes = 0;
        for (size_t i = 0; i <= disc.tracks.size(); ++i) {
            const std::string& text = i == 0 ? album : disc.tracks[i - 1].*field;
            any |= !text.empty();
            for (size_t pos = 0; pos < text.size(); ++bytes)
                util::NextCodePoint(text, pos);
            ++bytes;  // the NUL
        }
        if (any)
            packs += (bytes + 11) / 12;
    }
    return packs == 0 ? 0 : packs + 3;
}

void Validate(const Disc& disc)
{
    if (disc.tracks.empty())
        throw std::invalid_argument("the disc has no tracks");
    if (disc.firstTrack < 1 || disc.firstTrack > 99)
        throw std::invalid_argument("first track number " + std::to_string(disc.firstTrack) +
                                    " is outside 1..99");
    const size_t last = static_cast<size_t>(disc.firstTrack) + disc.tracks.size() - 1;
    if (last > 99)
        throw std::invalid_argument("track numbers run up to " + std::to_string(last) +
                                    "; a disc ends at 99");
    int64_t total = 0;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const Track& t = disc.tracks[i];
        const std::string which = "track " + std::to_string(disc.firstTrack + static_cast<int>(i));
        if (t.sectors < 1)
            throw std::invalid_argument(which + " has " + std::to_string(t.sectors) + " sectors");
        if (t.pregap < 0)
            throw std::invalid_argument(which + " has a negative pregap");
        if (t.audio && t.content == Content::Sine && !(t.frequency > 0.0 && t.frequency < 22050.0))
            throw std::invalid_argument(which + ": frequency " + std::to_string(t.frequency) +
                                        " Hz is outside (0, 22050)");
        for (const std::string* text : {&t.title, &t.performer})
            if (const std::string problem = TextProblem(*text); !problem.empty())
                throw std::invalid_argument(which + ": " + problem);
        total += int64_t{t.sectors} + t.pregap;
    }
    for (const std::string* text : {&disc.title, &disc.performer})
        if (const std::string problem = TextProblem(*text); !problem.empty())
            throw std::invalid_argument("the album: " + problem);
    if (TextPacks(disc) > kMaxTextPacks)
        throw std::invalid_argument("the titles and performers fill " + std::to_string(TextPacks(disc)) +
                                    " packs of CD-Text; one block holds " + std::to_string(kMaxTextPacks));
    if (total > kMaxDiscSectors)
        throw std::invalid_argument("the disc is too long: " + std::to_string(total) +
                                    " sectors with pregaps; a CD holds at most " +
                                    std::to_string(kMaxDiscSectors) + " (99:59:74)");
}

int32_t PregapStart(const Disc& disc, size_t index)
{
    int32_t lsn = 0;
    for (size_t i = 0; i < index; ++i)
        lsn += disc.tracks.at(i).pregap + disc.tracks[i].sectors;
    return lsn;
}

int32_t TrackStart(const Disc& disc, size_t index)
{
    return PregapStart(disc, index) + disc.tracks.at(index).pregap;
}

int32_t TrackEnd(const Disc& disc, size_t index)
{
    return TrackStart(disc, index) + disc.tracks[index].sectors - 1;
}

int32_t LeadOut(const Disc& disc) { return PregapStart(disc, disc.tracks.size()); }

void RenderSectors(const Disc& disc, int32_t lsn, int32_t count, uint8_t* out)
{
    const int32_t leadOut = LeadOut(disc);
    if (lsn < 0 || count < 0 || lsn > leadOut || count > leadOut - lsn)
        throw std::out_of_range("sectors " + std::to_string(lsn) + " + " + std::to_string(count) +
                                " lie outside the disc (lead-out " + std::to_string(leadOut) + ")");
    const int32_t end = lsn + count;
    int32_t regionStart = 0;
    for (const Track& t : disc.tracks) {
        const int32_t start = regionStart + t.pregap;  // INDEX 01
        const int32_t regionEnd = start + t.sectors;
        const int32_t from = std::max(lsn, regionStart);
        const int32_t to = std::min(end, regionEnd);
        if (from < to) {
            uint8_t* dst = out + int64_t{from - lsn} * kSectorBytes;
            if (t.audio)
                detail::RenderAudio(t, from - start, to - from, dst);
            else
                detail::RenderData(t, from, from - start, to - from, dst);
        }
        regionStart = regionEnd;
        if (regionStart >= end)
            break;
    }
}

std::vector<uint8_t> SectorBytes(const Disc& disc, int32_t lsn, int32_t count)
{
    if (count < 0)
        throw std::out_of_range("negative sector count");
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * kSectorBytes);
    RenderSectors(disc, lsn, count, bytes.data());
    return bytes;
}

std::vector<uint8_t> TrackBytes(const Disc& disc, size_t index)
{
    return SectorBytes(disc, TrackStart(disc, index), disc.tracks.at(index).sectors);
}

namespace {

std::string Msf(int32_t sectors)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sectors / (60 * kSectorsPerSecond),
                  sectors / kSectorsPerSecond % 60, sectors % kSectorsPerSecond);
    return text;
}

// Writes through a temporary file; the caller renames it into place.
class TempFile {
public:
    explicit TempFile(const std::string& finalPath)
        : final_(finalPath),
          temp_(finalPath + ".tmp" + std::to_string(::getpid())),
          file_(std::fopen(temp_.c_str(), "wb"))
    {
        if (!file_)
            throw std::runtime_error("cannot create " + temp_ + ": " + std::strerror(errno));
    }
    ~TempFile()
    {
        if (!committed_)
            std::remove(temp_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Write(const void* data, size_t size)
    {
        if (std::fwrite(data, 1, size, file_.get()) != size)
            throw std::runtime_error("cannot write " + temp_ + ": " + std::strerror(errno));
    }
    void Close()
    {
        if (!util::CloseFile(file_))
            throw std::runtime_error("cannot write " + temp_ + ": " + std::strerror(errno));
    }
    void Commit()
    {
        if (std::rename(temp_.c_str(), final_.c_str()) != 0)
            throw std::runtime_error("cannot rename " + temp_ + " to " + final_ + ": " +
                                     std::strerror(errno));
        committed_ = true;
    }

private:
    std::string final_;
    std::string temp_;
    util::TStdioFile file_;
    bool committed_ = false;
};

}  // namespace

std::string CueText(const Disc& disc, const std::string& binName)
{
    Validate(disc);
    const auto text = [](const std::string& indent, const Track& t) {
        std::string lines;
        if (!t.title.empty())
            lines += indent + "TITLE \"" + t.title + "\"\n";
        if (!t.performer.empty())
            lines += indent + "PERFORMER \"" + t.performer + "\"\n";
        return lines;
    };
    Track album;
    album.title = disc.title;
    album.performer = disc.performer;
    std::string cue = text("", album) + "FILE \"" + binName + "\" BINARY\n";
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const Track& t = disc.tracks[i];
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d %s\n", disc.firstTrack + static_cast<int>(i),
                      t.audio ? "AUDIO" : "MODE1/2352");
        cue += line + text("    ", t);
        // libcdio ignores the PREGAP directive, so pregaps are real sectors.
        if (t.pregap > 0)
            cue += "    INDEX 00 " + Msf(PregapStart(disc, i)) + "\n";
        cue += "    INDEX 01 " + Msf(TrackStart(disc, i)) + "\n";
    }
    return cue;
}

void WriteImage(const Disc& disc, const std::string& cuePath)
{
    Validate(disc);
    const std::string suffix = ".cue";
    if (cuePath.size() <= suffix.size() ||
        cuePath.compare(cuePath.size() - suffix.size(), suffix.size(), suffix) != 0)
        throw std::runtime_error("the image name must end in .cue: " + cuePath);
    const std::string binPath = cuePath.substr(0, cuePath.size() - suffix.size()) + ".bin";

    TempFile bin(binPath);
    constexpr int32_t kChunk = 1024;
    std::vector<uint8_t> buffer(size_t{kChunk} * kSectorBytes);
    const int32_t leadOut = LeadOut(disc);
    for (int32_t lsn = 0; lsn < leadOut; lsn += kChunk) {
        const int32_t n = std::min(kChunk, leadOut - lsn);
        RenderSectors(disc, lsn, n, buffer.data());
        bin.Write(buffer.data(), size_t(n) * kSectorBytes);
    }
    bin.Close();

    TempFile cue(cuePath);
    const std::string text = CueText(disc, util::BaseName(binPath));
    cue.Write(text.data(), text.size());
    cue.Close();

    bin.Commit();
    cue.Commit();
}

}  // namespace discimage
