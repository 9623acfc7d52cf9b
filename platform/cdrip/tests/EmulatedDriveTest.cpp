// The extraction on an emulated drive whose READ CD blocks in the ioctl for
// seconds, as a stuck real drive does: the library runs in a process of its
// own (the exit probe) with the drive emulator preloaded.
#include "CdRipTestSupport.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace cdriptest;
using discimage::Content;
using discimage::Disc;
using discimage::Track;

extern char** environ;

namespace {

Disc NoiseDisc()
{
    Disc disc;
    disc.tracks = {Track{true, 300, Content::Noise, 440, 11}, Track{true, 200, Content::Noise, 440, 12}};
    return disc;
}

struct ProbeRun {
    bool exited = false;
    int status = -1;
    double seconds = 0;
    std::map<std::string, long> values;  // the probe's "name=ms" lines
};

// Runs the probe with the emulator preloaded and /dev/sr0 holding `tray`;
// kills it after `deadline` seconds.
ProbeRun RunProbe(const std::vector<std::string>& args, const std::string& tray,
                  const std::string& output, double deadline)
{
    std::vector<std::string> env;
    const auto replaced = [](const std::string& entry) {
        for (const char* name : {"LD_PRELOAD=", "FAKEDRIVE=", "CDRIP_IMAGES=", "ASAN_OPTIONS="}) {
            if (entry.rfind(name, 0) == 0)
                return true;
        }
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!replaced(*e))
            env.emplace_back(*e);
    }
    env.push_back(std::string("LD_PRELOAD=") + FAKEDRIVE_LIBRARY);
    env.push_back("FAKEDRIVE=/dev/sr0=" + tray);
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                  "verify_asan_link_order=0");

    std::vector<char*> argv{const_cast<char*>(CDRIP_EXIT_PROBE)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ProbeRun run;
    const Stopwatch elapsed;
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, CDRIP_EXIT_PROBE, &actions, nullptr, argv.data(),
                                      envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start the probe";
        return run;
    }
    pid_t done = 0;
    while ((done = ::waitpid(child, &run.status, WNOHANG)) == 0 && elapsed.Seconds() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run.seconds = elapsed.Seconds();
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &run.status, 0);
        return run;
    }
    run.exited = WIFEXITED(run.status);
    std::ifstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            run.values[line.substr(0, equals)] = std::stol(line.substr(equals + 1));
    }
    return run;
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

    ProbeRun run;
    if (GetParam().scenario == Scenario::Stall) {
        run = RunProbe({"stall", "0", "0", "299", "1.5"}, tray, output, 6.0);
        ASSERT_TRUE(run.exited) << "ended after " << run.seconds << " s, status " << run.status;
    } else {
        run = RunProbe({"abandon", "0", "0", "299", faults, pcm}, tray, output, 90.0);
        ASSERT_TRUE(run.exited) << "ended after " << run.seconds << " s, status " << run.status;
        EXPECT_LT(run.values.at("toc"), 1000) << "the TOC read waited for the abandoned read";
        EXPECT_EQ(run.values.at("toc_result"), CDRIP_OK);
        EXPECT_EQ(run.values.at("reread_last"), CDRIP_RIPPING_DONE);
        EXPECT_LT(run.values.at("reread_longest_call"), 1000);
        std::ifstream file(pcm, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
        EXPECT_TRUE(bytes == discimage::TrackBytes(disc, 0)) << bytes.size() << " bytes";
    }
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    EXPECT_LT(run.values.at("open"), 1000);
    EXPECT_LT(run.values.at("longest_call"), 1000);
    EXPECT_EQ(run.values.at("results"), 0) << "nothing can have been read yet";
    EXPECT_LT(run.values.at("close"), 1000);
}

INSTANTIATE_TEST_SUITE_P(Drives, EmulatedStuckDrive, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
