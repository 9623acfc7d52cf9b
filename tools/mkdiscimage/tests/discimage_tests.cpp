// The image maker checked against libcdio's own reading of what it wrote.
#include "DiscImage.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace discimage;

namespace {

void QuietLog(cdio_log_level_t, const char*) {}

struct CdioCloser {
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using Cdio = std::unique_ptr<CdIo_t, CdioCloser>;

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cdio_log_set_handler(QuietLog);
        dir_ = fs::temp_directory_path() / ("discimage-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const Disc& disc, const std::string& name = "disc.cue")
    {
        const std::string cue = (dir_ / name).string();
        WriteImage(disc, cue);
        return cue;
    }

    static Cdio Open(const std::string& cue)
    {
        Cdio cdio(cdio_open(cue.c_str(), DRIVER_BINCUE));
        EXPECT_NE(cdio, nullptr) << cue;
        return cdio;
    }

    static std::vector<uint8_t> ReadAudio(CdIo_t* cdio, int32_t lsn, int32_t count)
    {
        std::vector<uint8_t> bytes(size_t(count) * kSectorBytes);
        EXPECT_EQ(cdio_read_audio_sectors(cdio, bytes.data(), lsn, count), DRIVER_OP_SUCCESS);
        return bytes;
    }

    fs::path dir_;
};

Track Audio(int32_t sectors, Content content, int32_t pregap = 0)
{
    Track t;
    t.sectors = sectors;
    t.content = content;
    t.pregap = pregap;
    return t;
}

Track Data(int32_t sectors, int32_t pregap = 0)
{
    Track t;
    t.audio = false;
    t.sectors = sectors;
    t.pregap = pregap;
    return t;
}

// A CD-Extra-like disc numbered from 3: pregaps before the second audio
// track and before the data track, odd lengths throughout.
Disc MixedDisc()
{
    Disc d;
    d.firstTrack = 3;
    d.tracks = {Audio(301, Content::Counter), Audio(77, Content::Noise, 150), Audio(123, Content::Sine),
                Data(225, 152)};
    return d;
}

TEST_F(ImageTest, LibcdioSeesTheTableOfContentsWeWrote)
{
    const Disc disc = MixedDisc();
    Cdio cdio = Open(Write(disc));
    ASSERT_TRUE(cdio);
    ASSERT_EQ(cdio_get_first_track_num(cdio.get()), 3);
    ASSERT_EQ(cdio_get_num_tracks(cdio.get()), 4);
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const auto num = static_cast<track_t>(3 + i);
        SCOPED_TRACE("track " + std::to_string(num));
        EXPECT_EQ(cdio_get_track_lsn(cdio.get(), num), TrackStart(disc, i));
        EXPECT_EQ(cdio_get_track_format(cdio.get(), num) == TRACK_FORMAT_AUDIO, disc.tracks[i].audio);
    }
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), 7), LeadOut(disc));
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK), LeadOut(disc));
    EXPECT_EQ(TrackStart(disc, 1), 301 + 150);
    EXPECT_EQ(LeadOut(disc), 301 + 150 + 77 + 123 + 152 + 225);
    EXPECT_EQ(fs::file_size(dir_ / "disc.bin"), uintmax_t(LeadOut(disc)) * kSectorBytes);
}

TEST_F(ImageTest, FirstTrackPregapShiftsTrackOne)
{
    Disc disc;
    disc.tracks = {Audio(100, Content::Counter, 150), Audio(50, Content::Sine)};
    Cdio cdio = Open(Write(disc));
    ASSERT_TRUE(cdio);
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), 1), 150);
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), 2), 250);
    EXPECT_EQ(ReadAudio(cdio.get(), 150, 100), TrackBytes(disc, 0));
}

TEST_F(ImageTest, AudioReadBackEqualsTrackBytes)
{
    const Disc disc = MixedDisc();
    Cdio cdio = Open(Write(disc));
    ASSERT_TRUE(cdio);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ReadAudio(cdio.get(), TrackStart(disc, i), disc.tracks[i].sectors), TrackBytes(disc, i));
    }
    // The pregap before the second track is stored silence.
    const std::vector<uint8_t> gap = ReadAudio(cdio.get(), PregapStart(disc, 1), 150);
    EXPECT_EQ(gap, std::vector<uint8_t>(gap.size(), 0));
    EXPECT_EQ(gap, SectorBytes(disc, PregapStart(disc, 1), 150));
}

TEST_F(ImageTest, DataTrackIsMode1WithValidHeaderAndEdc)
{
    const Disc disc = MixedDisc();
    Cdio cdio = Open(Write(disc));
    ASSERT_TRUE(cdio);
    const int32_t start = TrackStart(disc, 3);
    std::vector<uint8_t> payload(kDataPayloadBytes);
    ASSERT_EQ(cdio_read_data_sectors(cdio.get(), payload.data(), start + 5, kDataPayloadBytes, 1),
              DRIVER_OP_SUCCESS);
    const std::vector<uint8_t> raw = SectorBytes(disc, start + 5, 1);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), raw.begin() + 16));

    // Header: BCD MSF of LSN + 150, mode 1.
    const int32_t address = start + 5 + 150;
    auto bcd = [](int v) { return uint8_t((v / 10) << 4 | (v % 10)); };
    EXPECT_EQ(raw[0], 0);
    EXPECT_EQ(raw[1], 0xFF);
    EXPECT_EQ(raw[11], 0);
    EXPECT_EQ(raw[12], bcd(address / 4500));
    EXPECT_EQ(raw[13], bcd(address / 75 % 60));
    EXPECT_EQ(raw[14], bcd(address % 75));
    EXPECT_EQ(raw[15], 1);

    // EDC: CRC over bytes 0..0x80F, reflected polynomial 0xD8018001.
    uint32_t edc = 0;
    for (int i = 0; i < 0x810; ++i) {
        edc ^= raw[i];
        for (int b = 0; b < 8; ++b)
            edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0);
    }
    EXPECT_EQ(raw[0x810] | raw[0x811] << 8 | raw[0x812] << 16 | uint32_t(raw[0x813]) << 24, edc);
}

TEST_F(ImageTest, CliWritesTheImageItsDescriptionNames)
{
    const std::string cue = (dir_ / "cli.cue").string();
    const std::string command = std::string(MKDISCIMAGE_PATH) + " " + cue +
                                " first=2 audio:1s:counter 'data:80:pregap=2s' > " +
                                (dir_ / "out.txt").string() + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fs::file_size(dir_ / "out.txt"), 0u);
    Cdio cdio = Open(cue);
    ASSERT_TRUE(cdio);
    EXPECT_EQ(cdio_get_first_track_num(cdio.get()), 2);
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), 3), 75 + 150);
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), 4), 75 + 150 + 80);

    const std::string bad =
        std::string(MKDISCIMAGE_PATH) + " " + (dir_ / "bad.cue").string() + " audio:ten > /dev/null 2>&1";
    EXPECT_NE(std::system(bad.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir_ / "bad.cue"));
    EXPECT_FALSE(fs::exists(dir_ / "bad.bin"));
}

TEST_F(ImageTest, RewritingReplacesTheDiscAndLeavesNoTemporaries)
{
    Disc first;
    first.tracks = {Audio(100, Content::Sine), Audio(100, Content::Sine)};
    Disc second;
    second.firstTrack = 5;
    second.tracks = {Audio(40, Content::Counter, 10)};
    const std::string cue = Write(first);
    Write(second);
    Cdio cdio = Open(cue);
    ASSERT_TRUE(cdio);
    EXPECT_EQ(cdio_get_first_track_num(cdio.get()), 5);
    EXPECT_EQ(cdio_get_num_tracks(cdio.get()), 1);
    EXPECT_EQ(ReadAudio(cdio.get(), 10, 40), TrackBytes(second, 0));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"disc.bin", "disc.cue"}));
}

TEST_F(ImageTest, WriteFailuresThrowAndLeaveNothingBehind)
{
    Disc disc;
    disc.tracks = {Audio(10, Content::Silence)};
    EXPECT_THROW(WriteImage(disc, (dir_ / "disc.img").string()), std::runtime_error);
    EXPECT_THROW(WriteImage(disc, (dir_ / "missing" / "disc.cue").string()), std::runtime_error);
    EXPECT_THROW(WriteImage(Disc{}, (dir_ / "empty.cue").string()), std::invalid_argument);
    EXPECT_TRUE(fs::is_empty(dir_));
}

// Noise exists to provoke paranoia's byte-order guess, which reads a disc
// of nothing but noise as big-endian; tonal or counter audio reads as
// little-endian. If this stops holding, tests built on noise prove nothing.
TEST_F(ImageTest, NoiseOnlyDiscFoolsParanoiasByteOrderGuess)
{
    auto guess = [](const std::string& cue) {
        CdIo_t* cdio = cdio_open(cue.c_str(), DRIVER_BINCUE);
        EXPECT_NE(cdio, nullptr);
        char* messages = nullptr;
        cdrom_drive_t* drive = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_LOGIT, &messages);
        std::free(messages);
        int bigEndian = -2;
        if (drive && cdio_cddap_open(drive) == 0)
            bigEndian = drive->bigendianp;
        if (drive)
            cdio_cddap_close_no_free_cdio(drive);
        cdio_destroy(cdio);
        return bigEndian;
    };
    Disc noise;
    noise.tracks = {Audio(300, Content::Noise)};
    Disc counter;
    counter.tracks = {Audio(300, Content::Counter), Audio(300, Content::Sine)};
    EXPECT_EQ(guess(Write(noise, "noise.cue")), 1);
    EXPECT_EQ(guess(Write(counter, "counter.cue")), 0);
}

}  // namespace
