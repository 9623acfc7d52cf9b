// TCDRIP with our CDRip library and the real encoder on generated disc images
// in virtual drives (CDRIP_IMAGES).
#include "ImageDrive.h"
#include "Scripted.h"

#include <gtest/gtest.h>

#ifdef HAVE_MPG123
#include <mpg123.h>
#endif

using imagedrive::ScopedEnv;
using scripted::LE16;
using scripted::LE32;
using scripted::ReadFile;

namespace {

discimage::Track Audio(int32_t sectors, discimage::Content content, uint32_t seed = 1)
{
    discimage::Track t;
    t.sectors = sectors;
    t.content = content;
    t.seed = seed;
    return t;
}

discimage::Track DataTrack(int32_t sectors)
{
    discimage::Track t;
    t.audio = false;
    t.sectors = sectors;
    return t;
}

class EndToEnd : public testing::Test {
protected:
    void Load(const discimage::Disc& d, const std::string& stem = "disc")
    {
        disc = d;
        cueName = stem + ".cue";
        discimage::WriteImage(disc, dir.Path(cueName));
        images = std::make_unique<ScopedEnv>("CDRIP_IMAGES", dir.Path(cueName));
        ripper = std::make_unique<TCDRIP>();
        ripper->SetCoder(&coder);
        ASSERT_TRUE(imagedrive::SelectImageDrive(*ripper, cueName));
        ASSERT_EQ(ripper->Tracks().Count(), static_cast<int32_t>(disc.tracks.size()));
    }

    std::vector<uint8_t> Pcm(size_t index) const { return discimage::TrackBytes(disc, index); }

    scripted::TempDir dir;
    discimage::Disc disc;
    std::string cueName;
    std::unique_ptr<ScopedEnv> images;
    TLameCoder coder;
    std::unique_ptr<TCDRIP> ripper;
};

struct WavCase {
    size_t track;
    bool jitterCorrect;
    bool titled = false;  // the disc names the album and track 2, not track 1
};

class WavEndToEnd : public EndToEnd, public testing::WithParamInterface<WavCase> {};

TEST_P(WavEndToEnd, PcmIsTheImagesTrackByteForByte)
{
    const WavCase c = GetParam();
    discimage::Disc titled{1,
                           {Audio(120, discimage::Content::Counter), Audio(90, discimage::Content::Noise, 7),
                            Audio(31, discimage::Content::Sine)}};
    if (c.titled) {
        titled.title = "Lieder: Sommer";
        titled.performer = "Die Ärzte";
        titled.tracks[1].title = "Über den Wolken";
    }
    Load(titled);
    ripper->SetJitterCorrect(c.jitterCorrect);
    ripper->SetWriteWAV(true);
    int progressCalls = 0;
    uint16_t lastPercent = 0;
    ripper->OnProgress = [&](void*, uint16_t p) {
        ++progressCalls;
        lastPercent = p;
    };
    const std::string name = dir.Path("t.wav");
    ripper->RipTrack(static_cast<int32_t>(c.track + 1), name);
    const auto file = ReadFile(name);
    const auto pcm = Pcm(c.track);
    ASSERT_GE(file.size(), 44 + pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44)) << "PCM differs from the image";
    EXPECT_EQ(LE32(file, 40), pcm.size());
    EXPECT_EQ(LE32(file, 4), file.size() - 8);
    // Without CD-Text the file is the header and the PCM, nothing else.
    const scripted::RiffWalk walk = scripted::WalkRiff(file);
    EXPECT_TRUE(walk.EndsAtFileEnd);
    EXPECT_EQ(walk.Chunks, (c.titled ? std::vector<std::string>{"fmt ", "data", "LIST"}
                                     : std::vector<std::string>{"fmt ", "data"}));
    EXPECT_EQ(walk.Info,
              (c.titled ? scripted::Texts{{"IART", "Die Ärzte"}, {"IPRD", "Lieder: Sommer"}, {"ITRK", "1"}}
                        : scripted::Texts{}));
    EXPECT_EQ(LE16(file, 22), 2u);
    EXPECT_EQ(LE32(file, 24), 44100u);
    EXPECT_GT(progressCalls, 0);
    EXPECT_EQ(lastPercent, 100);
    EXPECT_FALSE(scripted::FileExists(dir.Path("tjitt")));
}

INSTANTIATE_TEST_SUITE_P(Tracks, WavEndToEnd,
                         testing::Values(WavCase{0, true}, WavCase{1, true}, WavCase{2, true},
                                         WavCase{0, false}, WavCase{1, false}, WavCase{0, true, true}),
                         [](const auto& p) {
                             return "Track" + std::to_string(p.param.track + 1) +
                                    (p.param.jitterCorrect ? "Paranoia" : "Plain") +
                                    (p.param.titled ? "Titled" : "");
                         });

TEST_F(EndToEnd, RawPcmIsTheTrackWithoutHeader)
{
    Load({1, {Audio(40, discimage::Content::Counter), Audio(77, discimage::Content::Melody, 3)}});
    ripper->RipTrack(2, dir.Path("t.pcm"));
    EXPECT_EQ(ReadFile(dir.Path("t.pcm")), Pcm(1));
}

TEST_F(EndToEnd, LastAudioTrackBeforeDataEndsWhereItsAudioEnds)
{
    Load(
        {1, {Audio(50, discimage::Content::Counter), Audio(60, discimage::Content::Counter), DataTrack(300)}},
        "extra");
    EXPECT_EQ(ripper->Tracks().Object(2)->Kind, "Data");
    ripper->RipTrack(2, dir.Path("t.raw"));
    EXPECT_EQ(ReadFile(dir.Path("t.raw")), Pcm(1));
}

class FormatEndToEnd : public EndToEnd, public testing::WithParamInterface<TOutputFormat> {};

TEST_P(FormatEndToEnd, GivesTheExactSampleCount)
{
    const int32_t sectors = 150;  // two seconds
    Load({1, {Audio(sectors, discimage::Content::Sine)}});
    const TFormatSpec shape = FormatSpec(GetParam());
    ripper->SetOutputFormat(GetParam());
    ripper->SetWriteWAV(true);
    ripper->RipTrack(1, dir.Path("t.wav"));
    const auto file = ReadFile(dir.Path("t.wav"));
    const uint64_t frames = uint64_t{588} * sectors * shape.SampleRate / 44100;
    ASSERT_GE(file.size(), 44u);
    EXPECT_EQ(file.size() - 44, frames * shape.Channels * 2);
    EXPECT_EQ(LE32(file, 40), file.size() - 44);
    EXPECT_EQ(LE32(file, 24), shape.SampleRate);
    EXPECT_EQ(LE16(file, 22), shape.Channels);
}

INSTANTIATE_TEST_SUITE_P(AllSix, FormatEndToEnd,
                         testing::Values(STEREO44100, MONO44100, STEREO22050, MONO22050, STEREO11025,
                                         MONO11025),
                         [](const auto& p) { return scripted::FormatName(p.param); });

#ifdef HAVE_MPG123
// Decodes a whole MP3 file; returns the sample frames, with rate, channels
// and the ID3v2 text frames by id.
uint64_t DecodedFrames(const std::string& path, long& rate, int& channels, scripted::Texts& id3)
{
    mpg123_init();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    uint64_t frames = 0;
    int encoding = 0;
    if (h && mpg123_open(h, path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buf(1 << 16);
        size_t done = 0;
        int err = MPG123_OK;
        while (err == MPG123_OK || err == MPG123_NEW_FORMAT) {
            err = mpg123_read(h, buf.data(), buf.size(), &done);
            if (err == MPG123_NEW_FORMAT)
                mpg123_getformat(h, &rate, &channels, &encoding);
            frames += done;
        }
        frames /= static_cast<uint64_t>(2 * std::max(channels, 1));
        mpg123_id3v1* v1 = nullptr;
        mpg123_id3v2* v2 = nullptr;
        if ((mpg123_meta_check(h) & MPG123_ID3) && mpg123_id3(h, &v1, &v2) == MPG123_OK && v2)
            for (size_t i = 0; i < v2->texts; ++i)
                id3[std::string(v2->text[i].id, 4)] = v2->text[i].text.p ? v2->text[i].text.p : "";
        mpg123_close(h);
    }
    mpg123_delete(h);
    return frames;
}

class Mp3EndToEnd : public EndToEnd, public testing::WithParamInterface<TOutputFormat> {};

// The tag in front names the track's own performer and the disc's own number;
// a text of Latin-1 stays Latin-1, a longer album needs a two-byte tag size.
TEST_P(Mp3EndToEnd, DecodesToTheEncodedLengthAndCarriesTheTag)
{
    const int32_t sectors = 300;
    const std::string album =
        "Lieder: Sommer, Sonne, Sonnenschein – und ein Titel von mehr als achtzig Zeichen";
    discimage::Disc titled{3, {Audio(sectors, discimage::Content::Melody, 5)}, album, "Die Ärzte"};
    titled.tracks[0].title = "Ōsaka € \U0001F3B5";
    titled.tracks[0].performer = "Chor: Süd";
    Load(titled);
    const TFormatSpec shape = FormatSpec(GetParam());
    ripper->SetOutputFormat(GetParam());
    ripper->SetEncode(true);
    ripper->RipTrack(1, dir.Path("t.wav"));
    ASSERT_TRUE(scripted::FileExists(dir.Path("t.mp3")));
    long rate = 0;
    int channels = 0;
    scripted::Texts id3;
    const uint64_t decoded = DecodedFrames(dir.Path("t.mp3"), rate, channels, id3);
    EXPECT_EQ(rate, static_cast<long>(shape.SampleRate));
    EXPECT_EQ(channels, shape.Channels);
    EXPECT_EQ(id3,
              (scripted::Texts{
                  {"TIT2", "Ōsaka € \U0001F3B5"}, {"TPE1", "Chor: Süd"}, {"TALB", album}, {"TRCK", "3"}}));
    const auto file = ReadFile(dir.Path("t.mp3"));
    EXPECT_NE(std::string(file.begin(), file.end()).find("Chor: S\xFC"), std::string::npos)
        << "TPE1 in Latin-1";
    // Whole encoder chunks only; the decoder adds the encoder's delay and padding.
    const uint64_t input = uint64_t{588} * sectors * shape.SampleRate / 44100;
    const uint64_t chunk = coder.SamplesPerChunk() / shape.Channels;
    ASSERT_GT(chunk, 0u);
    const uint64_t encoded = input / chunk * chunk;
    EXPECT_GE(decoded, encoded);
    EXPECT_LE(decoded, encoded + 1105 + 2 * chunk);
}

INSTANTIATE_TEST_SUITE_P(Formats, Mp3EndToEnd, testing::Values(STEREO44100, MONO22050, STEREO11025),
                         [](const auto& p) { return scripted::FormatName(p.param); });
#endif

TEST_F(EndToEnd, InjectedJitterGivesTheJitterFile)
{
    Load({1, {Audio(100, discimage::Content::Counter), Audio(100, discimage::Content::Counter)}});
    const int32_t sector = ripper->Tracks().Object(1)->StartSector + 40;
    ScopedEnv faults("CDRIP_FAULTS", "jitter@" + std::to_string(sector));
    ripper->SetWriteWAV(true);
    ripper->RipTrack(2, dir.Path("t.wav"));
    const auto jitter = ReadFile(dir.Path("tjitt"));
    const std::string line = std::to_string(sector) + " " + std::to_string(sector) + "\r\n";
    EXPECT_EQ(std::string(jitter.begin(), jitter.end()), line);
    EXPECT_EQ(ripper->JitterErrorCount(), 1);
    const auto file = ReadFile(dir.Path("t.wav"));
    EXPECT_EQ(file.size(), 44 + Pcm(1).size());
}

TEST_F(EndToEnd, PersistentFailureEndsInReadErrorWithoutHanging)
{
    Load({1, {Audio(100, discimage::Content::Sine)}});
    ScopedEnv faults("CDRIP_FAULTS", "fail-all");
    ripper->SetWriteWAV(true);
    bool ended = false;
    ripper->OnEndTrack = [&](void*, uint16_t) { ended = true; };
    try {
        ripper->RipTrack(1, dir.Path("t.wav"));
        FAIL() << "no exception";
    } catch (const ECDRIPError& e) {
        EXPECT_STREQ(e.what(), "Read error");
    }
    EXPECT_FALSE(ended);
    for (const std::string& name : scripted::FolderNames(dir.Root()))
        EXPECT_EQ(name.find("t.wav"), std::string::npos) << name;  // no file, no temporary left
}

TEST_F(EndToEnd, FailedOpenTouchesNoFile)
{
    Load({1, {Audio(100, discimage::Content::Sine)}});
    ScopedEnv faults("CDRIP_FAULTS", "fail-open");
    EXPECT_THROW(ripper->RipTrack(1, dir.Path("t.wav")), ECDRIPError);
    EXPECT_FALSE(scripted::FileExists(dir.Path("t.wav")));
}

}  // namespace
