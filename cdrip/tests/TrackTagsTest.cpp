// The tags read back by readers other than their writer: a RIFF walk of the
// tests' own for the WAV chunk, libmpg123 for the ID3 tag in front of an MP3
// from our encoder library.
#include "LameCoder.h"
#include "Scripted.h"
#include "TrackTags.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using scripted::Texts;

namespace {

struct TagCase {
    const char* Name;
    TTrackTags Tags;
    bool TitleLatin1 = true;  // TIT2 in ISO-8859-1 rather than UTF-16
};

void PrintTo(const TagCase& c, std::ostream* os) { *os << c.Name; }

// What a reader must find under the keys of title, performer, album and track number.
Texts Expected(const TTrackTags& tags, const std::array<const char*, 4>& keys)
{
    const std::string values[] = {tags.Title, tags.Performer, tags.Album, std::to_string(tags.TrackNumber)};
    Texts texts;
    for (size_t i = 0; i < keys.size() && !tags.Empty(); ++i)
        if (!values[i].empty() && values[i] != "0")
            texts[keys[i]] = values[i];
    return texts;
}

// Long enough for a tag of more than 127 bytes, whose size needs two syncsafe bytes.
const char kLongAlbum[] = "Lieder: Sommer, Sonne, Sonnenschein – und ein Titel von mehr als achtzig Zeichen";

const TagCase kCases[] = {
    {"Ascii", {"Two", "Band", "Album", 2}},
    {"UmlautsOfOddAndEvenLengths", {"Über den Wolken", "Die Ärzte", kLongAlbum, 12}},
    {"BeyondLatin1AndTheBmp", {"Ōsaka € \U0001F3B5", "Chor", "", 3}, false},
    {"AlbumOnly", {"", "", "Sommer", 99}},
    {"NoTextNoTag", {"", "", "", 7}},
};

class TagTest : public testing::TestWithParam<TagCase> {};

// A WAV as our copies are (44-byte header, PCM) with the chunk after the
// data and the RIFF size grown by it; the walk must end at the file's end.
TEST_P(TagTest, WavInfoChunkIsFoundByARiffWalk)
{
    const std::vector<uint8_t> info = WavInfoChunk(GetParam().Tags);
    // 44.1 kHz stereo, 8 bytes of PCM.
    const std::string wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0"
                          "data\x08\0\0\0"
                          "12345678",
                          52);
    std::vector<uint8_t> file(wav.begin(), wav.end());
    file.reserve(file.size() + info.size());
    file.insert(file.end(), info.begin(), info.end());
    for (size_t i = 0; i < 4; ++i)
        file[4 + i] = static_cast<uint8_t>((file.size() - 8) >> (8 * i));

    const scripted::RiffWalk walk = scripted::WalkRiff(file);
    EXPECT_TRUE(walk.EndsAtFileEnd);
    EXPECT_EQ(info.size() % 2, 0u);
    std::vector<std::string> expected = {"fmt ", "data"};
    if (!info.empty())
        expected.push_back("LIST");
    EXPECT_EQ(walk.Chunks, expected);
    EXPECT_EQ(walk.Info, Expected(GetParam().Tags, {"INAM", "IART", "IPRD", "ITRK"}));
}

#ifdef HAVE_MPG123
// Our encoder's MP3 of 30 frames of a tone, as a rip writes it.
std::vector<uint8_t> EncodedTone()
{
    TLameCoder coder;
    EXPECT_EQ(coder.OpenStream(), 0u);
    std::vector<int16_t> pcm(coder.SamplesPerChunk());
    std::vector<uint8_t> out(coder.OutputBufferSize()), mp3;
    for (int chunk = 0; chunk < 30; ++chunk) {
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] =
                static_cast<int16_t>(8000 * std::sin(0.05 * static_cast<double>(chunk * pcm.size() + i)));
        uint32_t bytes = 0;
        coder.EncodeChunk(pcm.data(), out.data(), bytes);
        mp3.insert(mp3.end(), out.begin(), out.begin() + bytes);
    }
    uint32_t bytes = 0;
    coder.FlushStream(out.data(), bytes);
    mp3.insert(mp3.end(), out.begin(), out.begin() + bytes);
    coder.CloseStream();
    return mp3;
}

TEST_P(TagTest, Id3TagInFrontOfOurMp3IsReadByMpg123)
{
    scripted::TempDir dir;
    const std::vector<uint8_t> mp3 = EncodedTone();
    const std::vector<uint8_t> tag = Id3v2Tag(GetParam().Tags);
    scripted::WriteFile(dir.Path("plain.mp3"), std::string(mp3.begin(), mp3.end()));
    std::string tagged(tag.begin(), tag.end());
    tagged.append(mp3.begin(), mp3.end());
    scripted::WriteFile(dir.Path("tagged.mp3"), tagged);

    const scripted::Mp3Read plain = scripted::ReadMp3(dir.Path("plain.mp3"));
    const scripted::Mp3Read read = scripted::ReadMp3(dir.Path("tagged.mp3"));
    EXPECT_GT(plain.Samples, 29u * 1152 * 2);
    EXPECT_EQ(read.Samples, plain.Samples) << "the tag must not cost or add audio";
    EXPECT_EQ(read.Id3, Expected(GetParam().Tags, {"TIT2", "TPE1", "TALB", "TRCK"}));
    if (!GetParam().Tags.Title.empty()) {
        EXPECT_EQ(tag.at(20), GetParam().TitleLatin1 ? 0 : 1) << "TIT2's encoding byte";
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(Texts, TagTest, testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.Name); });

}  // namespace
