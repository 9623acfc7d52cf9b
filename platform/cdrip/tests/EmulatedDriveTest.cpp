// The extraction on an emulated drive whose READ CD blocks in the ioctl for
// seconds, as a stuck real drive does: the library runs in a process of its
// own (the exit probe) with the drive emulator preloaded.
#include "CdRipTestSupport.h"

#include <cstdlib>
#include <sys/wait.h>

#include <fstream>

using namespace cdriptest;
using discimage::Content;
using discimage::Disc;
using discimage::Track;

namespace {

Disc NoiseDisc()
{
    Disc disc;
    disc.tracks = {Track{true, 300, Content::Noise, 440, 11}, Track{true, 200, Content::Noise, 440, 12}};
    return disc;
}

// Runs the probe with the emulator preloaded and /dev/sr0 holding `tray`.
ProbeRun RunEmulated(const std::vector<std::string>& args, const std::string& tray, const std::string& output,
                     double deadline)
{
    const char* asan = std::getenv("ASAN_OPTIONS");
    return RunProbe(
        args,
        {std::string("LD_PRELOAD=") + FAKEDRIVE_LIBRARY, "FAKEDRIVE=/dev/sr0=" + tray,
         "CDRIP_IMAGES=", "CDRIP_IMAGES_ONLY=0",
         std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"},
        output, deadline);
}

enum class Scenario { Stall, Abandon };

struct EmulatedCase {
    const char* name;
    Scenario scenario;
};

const EmulatedCase kCases[] = {
    {"StuckReadsFromTheStart", Scenario::Stall},
    {"AbandonedThenReadAgain", Scenario::Abandon},
};

class EmulatedStuckDrive : public ::testing::TestWithParam<EmulatedCase> {};

// Every READ CD takes 8 s, paranoia's opening reads included.  Opening,
// asking for data and closing each answer well within a second; a closed
// extraction does not hold the next table-of-contents read either, and once
// the drive is fast again the next extraction delivers the track exactly.
// The process itself ends long before the read in flight would.
TEST_P(EmulatedStuckDrive, CallsAnswerWithinASecondOfAnEightSecondRead)
{
    ScratchDir dir;
    const Disc disc = NoiseDisc();
    const std::string tray = dir.File("tray.cue");
    discimage::WriteImage(disc, tray);
    const std::string faults = tray + ".drive";
    std::ofstream(faults) << "slow-read=8000\n";
    const std::string output = dir.File("probe.txt");
    const std::string pcm = dir.File("track.pcm");

    const bool stall = GetParam().scenario == Scenario::Stall;
    const ProbeRun run = stall ? RunEmulated({"stall", "0", "0", "299", "1.5"}, tray, output, 6.0)
                               : RunEmulated({"abandon", "0", "0", "299", faults, pcm}, tray, output, 90.0);
    ASSERT_TRUE(run.finished && WIFEXITED(run.status))
        << "ended after " << run.seconds << " s, status " << run.status;
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    EXPECT_LT(run.values.at("open"), 1000);
    EXPECT_LT(run.values.at("longest_call"), 1000);
    EXPECT_EQ(run.values.at("results"), 0) << "nothing can have been read yet";
    EXPECT_LT(run.values.at("close"), 1000);
    if (stall)
        return;
    EXPECT_LT(run.values.at("toc"), 1000) << "the TOC read waited for the abandoned read";
    EXPECT_EQ(run.values.at("toc_result"), CDRIP_OK);
    EXPECT_EQ(run.values.at("reread_last"), CDRIP_RIPPING_DONE);
    EXPECT_LT(run.values.at("reread_longest_call"), 1000);
    std::ifstream file(pcm, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    EXPECT_TRUE(bytes == discimage::TrackBytes(disc, 0)) << bytes.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Drives, EmulatedStuckDrive, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
