// The extraction's worker: the caller's calls never wait for the drive, the
// opening work fails as hard read errors, a disc changed since the table of
// contents was read is refused, and a stuck read is left behind safely.
#include "CdRipTestSupport.h"

#include <filesystem>
#include <sys/wait.h>

using namespace cdriptest;
using discimage::Content;
using discimage::Disc;
using discimage::Track;

namespace {

// Noise tracks: paranoia cannot mistake one place for another.
Disc DiscA()
{
    Disc disc;
    disc.tracks = {Track{true, 300, Content::Noise, 440, 5}, Track{true, 200, Content::Noise, 440, 6}};
    return disc;
}

// Another disc on which track 1 of DiscA's range is readable too.
Disc DiscB()
{
    Disc disc;
    disc.tracks = {Track{true, 250, Content::Noise, 440, 7}, Track{true, 250, Content::Noise, 440, 8}};
    return disc;
}

std::string JitterName(bool jitterCorrection) { return jitterCorrection ? "Paranoia" : "Plain"; }

// A virtual drive whose tray is a symbolic link, so the disc can be changed;
// its table of contents has been read, as the program does before a rip.
class ExtractionWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("CDRIP_FAULTS");
        tray_ = dir_.File("tray.cue");
        Insert(DiscA(), "a");
        drive_ = UseTrays({tray_});
        ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    }
    void TearDown() override
    {
        CR_CloseRipper();
        ::unsetenv("CDRIP_FAULTS");
    }

    void Insert(const Disc& disc, const std::string& stem)
    {
        discimage::WriteImage(disc, dir_.File(stem + ".cue"));
        std::filesystem::remove(tray_);
        std::filesystem::create_symlink(dir_.File(stem + ".cue"), tray_);
    }

    ScratchDir dir_;
    std::string tray_;
    int32_t drive_ = 0;
};

// --- No call waits for a drive that takes seconds ---------------------------

struct StallCase {
    const char* name;
    const char* faults;  // an 8-second wait at open or at every read
};

const StallCase kStalls[] = {
    {"StuckOpen", "stuck-open=8000"},
    {"StuckRead", "stuck-read=8000"},
    {"SlowRead", "slow=8000"},
};

class ExtractionStall : public ExtractionWorker,
                        public ::testing::WithParamInterface<std::tuple<StallCase, bool>> {};

// While the drive works, every read answers "nothing yet" (0, no bytes,
// 0 percent) long before the 8 seconds are over, and so does closing.
TEST_P(ExtractionStall, EveryCallAnswersWhileTheDriveWorks)
{
    const auto& [stall, jitterCorrection] = GetParam();
    SetFormat(STEREO44100, jitterCorrection);
    ScopedEnv faults("CDRIP_FAULTS", stall.faults);

    int32_t readSize = 0;
    const Stopwatch open;
    ASSERT_EQ(CR_OpenRipper(&readSize, 0, 299), CDRIP_OK);
    EXPECT_LT(open.Seconds(), 1.0);
    EXPECT_EQ(readSize, 26 * 2352) << "known without the drive";

    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    const Stopwatch polling;
    int calls = 0;
    while (polling.Seconds() < 1.5) {
        int32_t delivered = -1;
        const Stopwatch call;
        ASSERT_EQ(CR_RipChunk(buffer.data(), &delivered), CDRIP_OK) << "call " << calls;
        ASSERT_LT(call.Seconds(), 1.0) << "call " << calls;
        ASSERT_EQ(delivered, 0);
        ASSERT_EQ(CR_GetPercentCompleted(), 0);
        ++calls;
    }
    const Stopwatch close;
    EXPECT_EQ(CR_CloseRipper(), CDRIP_OK);
    EXPECT_LT(close.Seconds(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Drives, ExtractionStall,
                         ::testing::Combine(::testing::ValuesIn(kStalls), ::testing::Bool()),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + "_" +
                                    JitterName(std::get<1>(row.param));
                         });

// --- What the worker finds at open -------------------------------------------

enum class Change { NoDisc, OtherDisc, OtherDiscSlowToOpen, SameDiscAgain };

struct OpenCase {
    const char* name;
    Change change;  // made between CR_ReadToc and CR_OpenRipper
};

const OpenCase kOpens[] = {
    {"NoDisc", Change::NoDisc},
    {"OtherDisc", Change::OtherDisc},
    {"OtherDiscSlowToOpen", Change::OtherDiscSlowToOpen},
    {"SameDiscAgain", Change::SameDiscAgain},
};

class ExtractionOpen : public ExtractionWorker,
                       public ::testing::WithParamInterface<std::tuple<OpenCase, bool>> {};

// CR_OpenRipper answers at once; a disc that cannot be read, or another disc
// than the one whose tracks were listed, gives hard errors on every read (the
// caller's rule of 100 failures in a row ends the rip at once) and not one
// byte of its audio.  The same disc written anew is still the same disc.
TEST_P(ExtractionOpen, ChangedOrMissingDiscGivesHardErrors)
{
    const auto& [open, jitterCorrection] = GetParam();
    SetFormat(STEREO44100, jitterCorrection);
    std::unique_ptr<ScopedEnv> faults;
    switch (open.change) {
    case Change::NoDisc: std::filesystem::remove(tray_); break;
    case Change::OtherDiscSlowToOpen:
        faults = std::make_unique<ScopedEnv>("CDRIP_FAULTS", "stuck-open=1500");
        [[fallthrough]];
    case Change::OtherDisc: Insert(DiscB(), "b"); break;
    case Change::SameDiscAgain: Insert(DiscA(), "a-again"); break;
    }

    const Stopwatch elapsed;
    const RipResult rip = Rip(0, 299, 100);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_LT(rip.longestCall, 1.0);
    if (open.change == Change::SameDiscAgain) {
        EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
        EXPECT_TRUE(rip.pcm == discimage::TrackBytes(DiscA(), 0));
        return;
    }
    EXPECT_EQ(rip.results, std::vector<int32_t>(100, CDRIP_ERROR));
    EXPECT_TRUE(rip.pcm.empty());
    EXPECT_EQ(rip.finalPercent, 0);
    EXPECT_LT(elapsed.Seconds(), 30.0) << "each failure answered at once";
}

INSTANTIATE_TEST_SUITE_P(Discs, ExtractionOpen,
                         ::testing::Combine(::testing::ValuesIn(kOpens), ::testing::Bool()),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + "_" +
                                    JitterName(std::get<1>(row.param));
                         });

// Checks that need no drive still refuse at once: an empty range, a range on
// no audio track of the table the caller read.
TEST_F(ExtractionWorker, RangesOutsideTheListedAudioAreRefusedAtOnce)
{
    int32_t readSize = 0;
    EXPECT_EQ(CR_OpenRipper(&readSize, 20, 10), CDRIP_ERROR);
    EXPECT_EQ(CR_OpenRipper(&readSize, 500, 510), CDRIP_ERROR);
    EXPECT_EQ(CR_OpenRipper(&readSize, -5, 10), CDRIP_ERROR);
    EXPECT_EQ(CR_OpenRipper(&readSize, 290, 1000), CDRIP_OK) << "the end is clamped";
}

// --- A read left behind ---------------------------------------------------

class ExtractionAbandon : public ExtractionWorker, public ::testing::WithParamInterface<bool> {};

// Closing during a read that nothing can interrupt returns at once; the next
// extraction of the same drive waits (on its worker) for the drive and then
// delivers the right audio.
TEST_P(ExtractionAbandon, NextExtractionAfterAStuckReadIsRight)
{
    SetFormat(STEREO44100, GetParam());
    int32_t readSize = 0;
    {
        ScopedEnv faults("CDRIP_FAULTS", "stuck-read=3000");
        ASSERT_EQ(CR_OpenRipper(&readSize, 0, 299), CDRIP_OK);
        std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
        int32_t delivered = -1;
        const Stopwatch polling;
        while (polling.Seconds() < 0.5)
            ASSERT_EQ(CR_RipChunk(buffer.data(), &delivered), CDRIP_OK);
        const Stopwatch close;
        EXPECT_EQ(CR_CloseRipper(), CDRIP_OK);
        EXPECT_LT(close.Seconds(), 1.0) << "the read takes 3 s";
    }
    const RipResult rip = Rip(300, 499);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_TRUE(rip.pcm == discimage::TrackBytes(DiscA(), 1));
    EXPECT_LT(rip.longestCall, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Drives, ExtractionAbandon, ::testing::Bool(),
                         [](const auto& row) { return JitterName(row.param); });

// --- Process exit with a stuck read ---------------------------------------

struct ExitCase {
    const char* name;
    const char* faults;  // a 10-second wait nothing can interrupt
    bool close;          // CR_CloseRipper before returning from main
};

const ExitCase kExits[] = {
    {"ClosedDuringStuckRead", "stuck-read=10000", true},
    {"LeftOpenDuringStuckRead", "stuck-read=10000", false},
    {"ClosedDuringStuckOpen", "stuck-open=10000", true},
    {"LeftOpenDuringStuckOpen", "stuck-open=10000", false},
};

class ExtractionExit : public ExtractionWorker, public ::testing::WithParamInterface<ExitCase> {};

// The process ends normally (static objects destroyed, no crash) long before
// the stuck drive would let it.
TEST_P(ExtractionExit, ProcessExitsWhileAReadIsStuck)
{
    const ProbeRun run =
        RunProbe({"exit", std::to_string(drive_), "0", "299", GetParam().close ? "close" : "keep"},
                 {std::string("CDRIP_FAULTS=") + GetParam().faults}, dir_.File("probe.txt"), 6.0);
    ASSERT_TRUE(run.finished) << "still running after 6 s";
    ASSERT_TRUE(WIFEXITED(run.status)) << "ended by signal " << WTERMSIG(run.status);
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
}

INSTANTIATE_TEST_SUITE_P(Exits, ExtractionExit, ::testing::ValuesIn(kExits),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
