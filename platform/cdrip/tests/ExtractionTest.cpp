// Extraction on generated images: bytes, formats, range ends, faults, close.
#include "CdRipTestSupport.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <tuple>

using namespace cdriptest;
using discimage::Content;
using discimage::Disc;
using discimage::Track;

namespace {

// Two noise tracks (seeds chosen so that paranoia's byte-order guess says
// big-endian: a guess must not be trusted),
// then a CD-Extra style data track behind a pregap.
Disc ExtraDisc()
{
    Disc disc;
    disc.firstTrack = 2;
    disc.tracks = {Track{true, 307, Content::Noise, 440, 1}, Track{true, 281, Content::Noise, 440, 3, 20},
                   Track{false, 300, Content::Silence, 440, 1, 150}};
    return disc;
}

class Extraction : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("CDRIP_FAULTS");
        disc_ = ExtraDisc();
        tray_ = dir_.File("disc.cue");
        discimage::WriteImage(disc_, tray_);
        UseTrays({tray_});
        ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    }
    void TearDown() override { ::unsetenv("CDRIP_FAULTS"); }

    // The range the component takes for a track: its start up to the next
    // entry's start minus one.
    std::pair<int32_t, int32_t> TocRange(int32_t index) const
    {
        return {CR_GetTocEntry(index).StartSector, CR_GetTocEntry(index + 1).StartSector - 1};
    }

    ScratchDir dir_;
    Disc disc_;
    std::string tray_;
};

class ExtractionBytes : public Extraction, public ::testing::WithParamInterface<std::tuple<bool, int>> {};

// Both audio tracks, with and without paranoia: byte for byte what the image
// holds.  The noise track catches a byte-order guess; the last audio track
// must stop before the data track's pregap.
TEST_P(ExtractionBytes, TrackIsByteIdenticalToTheImage)
{
    const auto [jitterCorrection, index] = GetParam();
    SetFormat(STEREO44100, jitterCorrection);
    const auto [start, end] = TocRange(index);
    const RipResult rip = Rip(start, end);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.readSize, 26 * 2352);
    EXPECT_LE(rip.maxDelivered, rip.readSize);
    ASSERT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_EQ(std::count(rip.results.begin(), rip.results.end(), CDRIP_RIPPING_DONE), 1);
    EXPECT_EQ(rip.finalPercent, 100);
    EXPECT_TRUE(rip.percentMonotonic);
    EXPECT_EQ(rip.jitterCount, 0);

    // Track 0 runs into track 1's pregap, which the image holds as audio;
    // track 1 stops where its audio ends, before the data track's pregap.
    const int32_t audioEnd = index == 0 ? end : discimage::TrackEnd(disc_, 1);
    const std::vector<uint8_t> expected = discimage::SectorBytes(disc_, start, audioEnd - start + 1);
    EXPECT_EQ(rip.pcm.size(), expected.size());
    EXPECT_TRUE(rip.pcm == expected);
}

INSTANTIATE_TEST_SUITE_P(ParanoiaAndPlain, ExtractionBytes,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(0, 1)), [](const auto& p) {
                             return std::string(std::get<0>(p.param) ? "Paranoia" : "Plain") + "Track" +
                                    std::to_string(std::get<1>(p.param) + 1);
                         });

TEST_F(Extraction, OneSectorRangeAndRangePastTheLeadOut)
{
    SetFormat(STEREO44100, true);
    const int32_t sector = discimage::TrackStart(disc_, 0) + 10;
    RipResult rip = Rip(sector, sector);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results, std::vector<int32_t>{CDRIP_RIPPING_DONE});
    EXPECT_TRUE(rip.pcm == discimage::SectorBytes(disc_, sector, 1));

    rip = Rip(discimage::TrackStart(disc_, 1), 1000000);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.pcm.size(), discimage::TrackBytes(disc_, 1).size());
}

TEST_F(Extraction, RangesThatCannotBeReadAreRefused)
{
    int32_t readSize = 0;
    const int32_t data = discimage::TrackStart(disc_, 2);
    EXPECT_EQ(CR_OpenRipper(&readSize, data, data + 10), CDRIP_ERROR);
    // The data track's pregap belongs to the last audio track's TOC range
    // but holds no audio.
    EXPECT_EQ(CR_OpenRipper(&readSize, data - 5, data - 1), CDRIP_ERROR);
    EXPECT_EQ(CR_OpenRipper(&readSize, 20, 10), CDRIP_ERROR);
    EXPECT_EQ(CR_OpenRipper(&readSize, discimage::LeadOut(disc_), discimage::LeadOut(disc_) + 5),
              CDRIP_ERROR);
    int32_t delivered = 7;
    uint8_t byte = 0;
    EXPECT_EQ(CR_RipChunk(&byte, &delivered), CDRIP_ERROR);
    EXPECT_EQ(delivered, 0);
}

class ExtractionFormat : public Extraction, public ::testing::WithParamInterface<int32_t> {};

// Every format gives exactly floor(N * ratio + 0.5) frames for N CD frames,
// reads no larger than the read size, and the same bytes on a second rip.
TEST_P(ExtractionFormat, ExactLengthAndReproducible)
{
    static const int32_t bytesPerSector[6] = {2352, 1176, 1176, 588, 588, 294};
    const int32_t format = GetParam();
    SetFormat(format, false);
    const int32_t start = discimage::TrackStart(disc_, 0);
    const int32_t sectors = disc_.tracks[0].sectors;
    const RipResult rip = Rip(start, start + sectors - 1);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.readSize, 26 * bytesPerSector[format]);
    EXPECT_LE(rip.maxDelivered, rip.readSize);
    EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_EQ(rip.pcm.size(), static_cast<size_t>(sectors) * bytesPerSector[format]);

    SetFormat(format, true);
    const RipResult again = Rip(start, start + sectors - 1);
    EXPECT_TRUE(again.pcm == rip.pcm) << "paranoia and plain reads, no dither";
}

const char* const kFormatNames[] = {"STEREO44100", "MONO44100",   "STEREO22050",
                                    "MONO22050",   "STEREO11025", "MONO11025"};

INSTANTIATE_TEST_SUITE_P(AllSix, ExtractionFormat, ::testing::Range(0, 6),
                         [](const auto& p) { return std::string(kFormatNames[p.param]); });

TEST_F(Extraction, MonoIsTheAverageOfLeftAndRight)
{
    SetFormat(MONO44100, false);
    const int32_t start = discimage::TrackStart(disc_, 0);
    const RipResult rip = Rip(start, start + 9);
    const std::vector<uint8_t> stereo = discimage::SectorBytes(disc_, start, 10);
    ASSERT_EQ(rip.pcm.size() * 2, stereo.size());
    for (size_t frame = 0; frame < rip.pcm.size() / 2; ++frame) {
        int16_t lr[2];
        int16_t mono = 0;
        std::memcpy(lr, &stereo[frame * 4], 4);
        std::memcpy(&mono, &rip.pcm[frame * 2], 2);
        ASSERT_EQ(mono, (lr[0] + lr[1]) >> 1) << "frame " << frame;
    }
}

TEST_F(Extraction, InjectedJitterIsReportedWithItsSector)
{
    SetFormat(STEREO44100, true);
    const int32_t start = discimage::TrackStart(disc_, 0);
    ScopedEnv faults("CDRIP_FAULTS", "jitter@" + std::to_string(start + 60));
    const RipResult rip = Rip(start, start + 156);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    ASSERT_EQ(rip.jitter.size(), 1u);
    EXPECT_EQ(rip.jitter[0], std::make_pair(start + 60, start + 60));
    EXPECT_EQ(rip.jitterCount, 1);
    EXPECT_TRUE(rip.pcm == discimage::SectorBytes(disc_, start, 157));
}

// Paranoia's own test mode shifts what the drive returns; paranoia mends it
// and reports fix-ups, each within the read that delivers the sector.
TEST_F(Extraction, ParanoiaFixUpsAreReportedPerReadAndMended)
{
    SetFormat(STEREO44100, true);
    ScopedEnv faults("CDRIP_FAULTS", "paranoia-jitter");
    const int32_t start = discimage::TrackStart(disc_, 0);
    const RipResult rip = Rip(start, start + 306);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    ASSERT_FALSE(rip.jitter.empty());
    EXPECT_EQ(rip.jitterCount, static_cast<int32_t>(rip.jitter.size()));
    for (size_t i = 0; i < rip.jitter.size(); ++i) {
        EXPECT_LE(rip.jitterReads[i].first, rip.jitter[i].first);
        EXPECT_LE(rip.jitter[i].first, rip.jitter[i].second);
        EXPECT_LE(rip.jitter[i].second, rip.jitterReads[i].second);
    }
    EXPECT_TRUE(rip.pcm == discimage::TrackBytes(disc_, 0));
}

TEST_F(Extraction, FaultFileBesideTheImage)
{
    {
        std::ofstream file(tray_ + ".faults");
        file << "# injected by the test\nfail-open\n";
    }
    int32_t readSize = 0;
    EXPECT_EQ(CR_OpenRipper(&readSize, 0, 10), CDRIP_ERROR);
}

TEST_F(Extraction, UnreadableSectorsFailTheirReadThenRecover)
{
    SetFormat(STEREO44100, true);
    const int32_t start = discimage::TrackStart(disc_, 0);
    ScopedEnv faults("CDRIP_FAULTS",
                     "unreadable@" + std::to_string(start + 30) + "-" + std::to_string(start + 31) + "x3");
    const RipResult rip = Rip(start, start + 156);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    // The second read (sectors 26..51) fails three times, then succeeds.
    ASSERT_GE(rip.results.size(), 5u);
    EXPECT_EQ(rip.results[0], CDRIP_OK);
    EXPECT_EQ(std::vector<int32_t>(rip.results.begin() + 1, rip.results.begin() + 4),
              std::vector<int32_t>(3, CDRIP_ERROR));
    EXPECT_NE(rip.results[4], CDRIP_ERROR);
    EXPECT_TRUE(rip.pcm == discimage::SectorBytes(disc_, start, 157));
}

class ExtractionFailure : public Extraction, public ::testing::WithParamInterface<bool> {};

TEST_P(ExtractionFailure, PersistentFailureKeepsReturningOneWithoutData)
{
    SetFormat(STEREO44100, GetParam());
    ScopedEnv faults("CDRIP_FAULTS", "fail-all");
    const RipResult rip = Rip(0, 100, 150);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results, std::vector<int32_t>(150, CDRIP_ERROR));
    EXPECT_TRUE(rip.pcm.empty());
    EXPECT_EQ(rip.finalPercent, 0);
}

INSTANTIATE_TEST_SUITE_P(ParanoiaAndPlain, ExtractionFailure, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Paranoia" : "Plain"; });

// Neither reading nor closing waits for a slow drive: the first read answers
// "nothing yet" long before the 8-second read ends, closing returns at once,
// and the next extraction delivers the right audio.
TEST_P(ExtractionFailure, SlowReadAheadNeverHoldsTheCaller)
{
    SetFormat(STEREO22050, GetParam());
    ScopedEnv faults("CDRIP_FAULTS", "slow=8000");
    int32_t readSize = 0;
    ASSERT_EQ(CR_OpenRipper(&readSize, 0, 156), CDRIP_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    int32_t delivered = -1;
    const Stopwatch read;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered), CDRIP_OK);
    EXPECT_EQ(delivered, 0);
    EXPECT_LT(read.Seconds(), 1.0);
    const Stopwatch close;
    EXPECT_EQ(CR_CloseRipper(), CDRIP_OK);
    EXPECT_LT(close.Seconds(), 1.0);

    ScopedEnv fast("CDRIP_FAULTS", "");
    SetFormat(STEREO44100, GetParam());
    const RipResult rip = Rip(0, 156);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_TRUE(rip.pcm == discimage::SectorBytes(disc_, 0, 157));
    int32_t after = -1;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &after), CDRIP_ERROR) << "nothing open any more";
    EXPECT_EQ(after, 0);
}

// The threads of this process.  One thread is started and joined first: a
// runtime that starts a helper with the first new thread (ThreadSanitizer's)
// has done so before the caller counts.
std::set<std::string> Threads()
{
    std::thread([] {}).join();
    std::set<std::string> ids;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(task.path().filename());
    return ids;
}

// The read-ahead keeps reading while the caller is busy elsewhere (encoding a
// burst of pieces paranoia handed out at once) for at least 17 reads: with
// nothing taken, the worker queues a range of 17 reads and ends, and then
// every piece is there.  A queue of 6 pieces would hold the worker after 6
// reads until the caller came back.
TEST_F(Extraction, ReadAheadHoldsAParanoiaBurst)
{
    constexpr int32_t kReads = 17;
    SetFormat(STEREO44100, true);
    const std::set<std::string> before = Threads();
    int32_t readSize = 0;
    ASSERT_EQ(CR_OpenRipper(&readSize, 0, 26 * kReads - 1), CDRIP_OK);
    ASSERT_EQ(readSize, 26 * 2352);
    std::set<std::string> workers = Threads();
    for (const std::string& id : before)
        workers.erase(id);
    const auto running = [&workers] {
        return std::any_of(workers.begin(), workers.end(), [](const std::string& id) {
            return std::filesystem::exists("/proc/self/task/" + id);
        });
    };
    const Stopwatch waiting;
    while (running() && waiting.Seconds() < 60.0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(running()) << "the worker stopped reading before the caller took a piece";

    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    std::vector<uint8_t> pcm;
    int32_t result = CDRIP_ERROR;
    for (int32_t i = 0; i < kReads; ++i) {
        int32_t delivered = 0;
        result = CR_RipChunk(buffer.data(), &delivered);
        pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + delivered);
    }
    EXPECT_EQ(result, CDRIP_RIPPING_DONE);
    EXPECT_TRUE(pcm == discimage::SectorBytes(disc_, 0, 26 * kReads));
    EXPECT_EQ(CR_CloseRipper(), CDRIP_OK);
}

}  // namespace
