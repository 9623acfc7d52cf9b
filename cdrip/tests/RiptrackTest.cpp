// The riptrack tool, run as a user would, on a generated image.
#include "ImageDrive.h"
#include "Scripted.h"
#include "ReplacingFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// RIPPER_TEST_TOOLS, else the folder of this test binary (the tools land there too).
std::string ToolsDir()
{
    if (const char* tools = std::getenv("RIPPER_TEST_TOOLS"); tools && *tools)
        return tools;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// Runs a shell command line, stderr into stdout.
ToolRun RunCommand(const std::string& commandLine)
{
    const std::string command = commandLine + " 2>&1";
    ToolRun run{-1, ""};
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            run.out.append(buf, n);
        const int raw = pclose(p);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return run;
}

// riptrack started in the background with CDRIP_FAULTS set for it alone,
// its output discarded.  Killed (SIGKILL) if still running at the end.
class TBackgroundRip {
public:
    TBackgroundRip(const std::vector<std::string>& args, const std::string& faults)
    {
        // Everything the child needs is made before the fork.
        std::vector<std::string> argv{ToolsDir() + "/riptrack"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env{"CDRIP_FAULTS=" + faults};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "CDRIP_FAULTS=", 13) != 0)
                env.emplace_back(*e);
        std::vector<char*> rawArgs;
        for (std::string& a : argv)
            rawArgs.push_back(a.data());
        rawArgs.push_back(nullptr);
        std::vector<char*> rawEnv;
        for (std::string& e : env)
            rawEnv.push_back(e.data());
        rawEnv.push_back(nullptr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execve(rawArgs[0], rawArgs.data(), rawEnv.data());
            ::_exit(127);
        }
        ::close(null);
    }
    ~TBackgroundRip()
    {
        if (FPid > 0 && !FDone) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }

    pid_t Pid() const { return FPid; }

    // The raw wait status, or -1 when the process is still running after `limit`.
    int Wait(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(FPid, &status, WNOHANG) == FPid) {
                FDone = true;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return -1;
    }

private:
    pid_t FPid = -1;
    bool FDone = false;
};

// The hidden temporary files in `folder`.
std::vector<std::string> Temporaries(const std::string& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : scripted::FolderNames(folder))
        if (os::IsTemporaryName(name))
            found.push_back(name);
    return found;
}

// Polls until a temporary file shows in `folder` (the rip has begun writing).
bool WaitForTemporary(const std::string& folder, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!Temporaries(folder).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Runs riptrack with `args` (already quoted).
ToolRun Riptrack(const std::string& args) { return RunCommand(ToolsDir() + "/riptrack " + args); }

class RiptrackTool : public testing::Test {
protected:
    RiptrackTool()
    {
        disc.tracks.resize(3);
        disc.tracks[0].sectors = 40;
        disc.tracks[0].content = discimage::Content::Counter;
        disc.tracks[1].sectors = 25;
        disc.tracks[1].content = discimage::Content::Noise;
        disc.tracks[2].audio = false;
        disc.tracks[2].sectors = 100;
        discimage::WriteImage(disc, dir.Path("tool.cue"));
        // A leading empty tray makes the disc drive 1 when no real drive exists.
        images = std::make_unique<imagedrive::ScopedEnv>("CDRIP_IMAGES",
                                                         dir.Path("none.cue") + ":" + dir.Path("tool.cue"));
    }

    int32_t ImageDrive() const
    {
        TCDRIP ripper;
        for (int32_t d = 0; ripper.RereadDrive(d); ++d)
            if (ripper.CDRomName().find("(tool.cue)") != std::string::npos)
                return d;
        return -1;
    }

    scripted::TempDir dir;
    discimage::Disc disc;
    std::unique_ptr<imagedrive::ScopedEnv> images;
};

TEST_F(RiptrackTool, ListShowsDrivesAndTracks)
{
    const ToolRun run = Riptrack("--list");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Virtual CD drive (none.cue)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("no disc"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Track02  Audio"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Track03  Data"), std::string::npos) << run.out;
}

TEST_F(RiptrackTool, RipsATrackIntoAWavFile)
{
    const int32_t drive = ImageDrive();
    ASSERT_GE(drive, 0);
    const ToolRun run =
        Riptrack("--drive " + std::to_string(drive) + " --wav 2 '" + dir.Path("out.wav") + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    const auto file = scripted::ReadFile(dir.Path("out.wav"));
    const auto pcm = discimage::TrackBytes(disc, 1);
    ASSERT_EQ(file.size(), 44 + pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
    EXPECT_NE(run.out.find("100%"), std::string::npos);
}

TEST_F(RiptrackTool, RawMonoIsHalfTheBytes)
{
    const int32_t drive = ImageDrive();
    ASSERT_GE(drive, 0);
    const ToolRun run =
        Riptrack("--drive " + std::to_string(drive) + " --raw --format MONO44100 --no-jitter-correct 1 '" +
                 dir.Path("out.pcm") + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(scripted::ReadFile(dir.Path("out.pcm")).size(), 40u * 1176);
}

TEST_F(RiptrackTool, FailuresExitNonZeroWithTheMessage)
{
    const int32_t drive = ImageDrive();
    ASSERT_GE(drive, 0);
    const std::string d = " --drive " + std::to_string(drive) + " ";
    const struct {
        std::string args;
        int status;
        const char* message;
    } cases[] = {
        {d + "3 '" + dir.Path("x.wav") + "'", 1, "data track"},
        {d + "9 '" + dir.Path("x.wav") + "'", 1, "no track 9"},
        {d + "1 '" + dir.Path("no/such/dir/x.wav") + "'", 1, "kann nicht erstellt werden"},
        {"--drive 99 1 x.wav", 1, "no drive 99"},
        {"--format STEREO48000 1 x.wav", 2, "unknown format"},
        {"1", 2, "expected TRACK and FILE"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Riptrack(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << "\n" << run.out;
    }
    EXPECT_EQ(Riptrack("--help").status, 0);
}

// The disc's titles in the list, and as the names of copies where asked for:
// '/' cannot be in a file name, a track without a title keeps its TrackNN.
TEST_F(RiptrackTool, ListsTitlesAndNamesCopiesAfterThem)
{
    disc.title = "Lieder: Sommer";
    disc.performer = "Chor";
    disc.tracks[0].title = "Eins/Zwei";
    disc.tracks[1].performer = "Solo";
    disc.tracks[2].pregap = 150;  // track 2's audio ends before it, not where the data starts
    discimage::WriteImage(disc, dir.Path("tool.cue"));
    const std::string drive = "--drive " + std::to_string(ImageDrive()) + " --names ";
    const std::string out = dir.Path("out");
    std::filesystem::create_directories(out);
    const struct {
        std::string Args;
        std::string Says;
    } cases[] = {
        {"--list", "(tool.cue)\n  album: Lieder: Sommer\n  performer: Chor\n"
                   "  Track01  Audio  sectors 0-39  0:00.40  Eins/Zwei\n"
                   "  Track02  Audio  sectors 40-64  0:00.25  Solo\n  Track03  Data "},
        {drive + "1 '" + out + "'", "wrote " + out + "/01 Eins_Zwei.wav"},
        {drive + "--mp3 2 '" + out + "/'", "wrote " + out + "/Track02.mp3"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Riptrack(c.Args);
        EXPECT_EQ(run.status, 0) << c.Args << "\n" << run.out;
        EXPECT_NE(run.out.find(c.Says), std::string::npos) << c.Args << "\n" << run.out;
    }
    EXPECT_EQ(scripted::FolderNames(out), (std::vector<std::string>{"01 Eins_Zwei.wav", "Track02.mp3"}));
}

// A killed rip leaves only its hidden temporary file: the old copy under the
// final name stays as it was, and the next rip into the folder clears it.
TEST_F(RiptrackTool, KilledRipLeavesTheOldFileAndTheNextRipClearsItsTemporary)
{
    const int32_t drive = ImageDrive();
    ASSERT_GE(drive, 0);
    const std::string out = dir.Path("out/Track01.wav");
    std::filesystem::create_directories(dir.Path("out"));
    scripted::WriteFile(out, "old copy");
    {
        TBackgroundRip rip({"--drive", std::to_string(drive), "1", out}, "slow=2000");
        ASSERT_TRUE(WaitForTemporary(dir.Path("out"), std::chrono::seconds(60)));
        ::kill(rip.Pid(), SIGKILL);
        const int status = rip.Wait(std::chrono::seconds(10));
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
    }
    EXPECT_EQ(Temporaries(dir.Path("out")).size(), 1u);
    EXPECT_EQ(scripted::ReadFile(out), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'p', 'y'}));

    const ToolRun next =
        Riptrack("--drive " + std::to_string(drive) + " --raw 2 '" + dir.Path("out/Track02.raw") + "'");
    ASSERT_EQ(next.status, 0) << next.out;
    EXPECT_EQ(scripted::FolderNames(dir.Path("out")),
              (std::vector<std::string>{"Track01.wav", "Track02.raw"}));
}

struct StopSignal {
    const char* Name;
    int Signal;
    int ExitCode;
};

class RiptrackSignal : public RiptrackTool, public testing::WithParamInterface<StopSignal> {};

// Each read takes 8 s: a rip that waited for the read in flight would need
// that long; riptrack must stop at once and leave the target as it was.
TEST_P(RiptrackSignal, StopsDuringASlowReadLeavingNothing)
{
    const int32_t drive = ImageDrive();
    ASSERT_GE(drive, 0);
    const std::string out = dir.Path("out/Track01.wav");
    std::filesystem::create_directories(dir.Path("out"));
    scripted::WriteFile(out, "old");
    TBackgroundRip rip({"--drive", std::to_string(drive), "1", out}, "slow=8000");
    ASSERT_TRUE(WaitForTemporary(dir.Path("out"), std::chrono::seconds(60)));
    const auto sent = std::chrono::steady_clock::now();
    ::kill(rip.Pid(), GetParam().Signal);
    const int status = rip.Wait(std::chrono::seconds(20));
    const auto took = std::chrono::steady_clock::now() - sent;
    ASSERT_NE(status, -1) << "still running 20 s after the signal";
    EXPECT_LT(took, std::chrono::seconds(2))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), GetParam().ExitCode);
    EXPECT_EQ(scripted::FolderNames(dir.Path("out")), std::vector<std::string>{"Track01.wav"});
    EXPECT_EQ(scripted::ReadFile(out), std::vector<uint8_t>({'o', 'l', 'd'}));
}

INSTANTIATE_TEST_SUITE_P(Signals, RiptrackSignal,
                         testing::Values(StopSignal{"Interrupt", SIGINT, 130},
                                         StopSignal{"Terminate", SIGTERM, 143}),
                         [](const testing::TestParamInfo<StopSignal>& p) { return p.param.Name; });

// ---- On emulated drives (libfakedrive at the kernel interface) ----

// Runs riptrack on the drives of `fakeDrives` (FAKEDRIVE syntax), with the
// machine's real drives and the virtual ones out of the way.
ToolRun RiptrackOnDrives(const std::string& fakeDrives, const std::string& args)
{
    return RunCommand("LD_PRELOAD='" + ToolsDir() + "/libfakedrive.so' FAKEDRIVE='" + fakeDrives +
                      "' CDRIP_IMAGES_ONLY=0 CDRIP_IMAGES= '" + ToolsDir() + "/riptrack' " + args);
}

// The number riptrack --list gives the drive named `device`, or -1.
int32_t ListedNumber(const std::string& listing, const std::string& device)
{
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos && line.find("(" + device + ")") != std::string::npos)
            return std::atoi(line.substr(0, colon).c_str());
    }
    return -1;
}

class RiptrackOnEmulatedDrives : public testing::Test {
protected:
    RiptrackOnEmulatedDrives()
    {
        disc.tracks.resize(2);
        disc.tracks[0].sectors = 1300;
        disc.tracks[0].content = discimage::Content::Noise;
        disc.tracks[1].sectors = 90;
        disc.tracks[1].content = discimage::Content::Noise;
        disc.tracks[1].seed = 9;
        discimage::WriteImage(disc, dir.Path("tray0.cue"));
        discimage::WriteImage(disc, dir.Path("tray1.cue"));
        drives = "/dev/sr0=" + dir.Path("tray0.cue") + ";/dev/sr1=" + dir.Path("tray1.cue");
    }

    scripted::TempDir dir;
    discimage::Disc disc;
    std::string drives;
};

// A drive the user may not open is still a drive, named with the reason.
TEST_F(RiptrackOnEmulatedDrives, ListShowsEveryDriveAndWhyOneCannotBeRead)
{
    scripted::WriteFile(dir.Path("tray1.cue.drive"), "eacces\n");
    const ToolRun run = RiptrackOnDrives(drives, "--list");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find(": ACME CDR-4711 1.02 (/dev/sr0)\n  Track01  Audio  sectors 0-1299"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(": /dev/sr1 (no permission: add yourself to group cdrom)\n  no disc\n"),
              std::string::npos)
        << run.out;
}

class RiptrackDiscRemoved : public RiptrackOnEmulatedDrives, public testing::WithParamInterface<bool> {};

// Paranoia would fill the rest of the track with silence and call it done;
// the copy must fail instead and leave nothing behind.
TEST_P(RiptrackDiscRemoved, MidRipIsAReadErrorAndLeavesNoFile)
{
    const int32_t drive = ListedNumber(RiptrackOnDrives(drives, "--list").out, "/dev/sr0");
    ASSERT_GE(drive, 0);
    scripted::WriteFile(dir.Path("tray0.cue.drive"), "remove-at=400\n");
    const std::string out = dir.Path("out.wav");
    const ToolRun run =
        RiptrackOnDrives(drives, "--drive " + std::to_string(drive) +
                                     (GetParam() ? "" : " --no-jitter-correct") + " 1 '" + out + "'");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("Read error"), std::string::npos) << run.out;
    EXPECT_FALSE(scripted::FileExists(out));
    EXPECT_FALSE(scripted::FileExists(dir.Path("outjitt")));
}

INSTANTIATE_TEST_SUITE_P(ParanoiaAndPlain, RiptrackDiscRemoved, testing::Bool(),
                         [](const auto& p) { return p.param ? "Paranoia" : "Plain"; });

struct TDriveStateCase {
    const char* Name;
    const char* Faults;
    int Status;
    const char* Says;  // once
};

class RiptrackDriveState : public RiptrackOnEmulatedDrives,
                           public testing::WithParamInterface<TDriveStateCase> {};

// The copy names why it cannot read a disc it never saw (never "no track"),
// leaving a file of that name as it was; a disc that is spinning up is
// waited for and copied.
TEST_P(RiptrackDriveState, NamesWhyItCannotCopyOrWaitsForTheDisc)
{
    const int32_t drive = ListedNumber(RiptrackOnDrives(drives, "--list").out, "/dev/sr0");
    ASSERT_GE(drive, 0);
    const std::string out = dir.Path("keep.wav");
    scripted::WriteFile(out, "an earlier copy");
    scripted::WriteFile(dir.Path("tray0.cue.drive"), std::string(GetParam().Faults) + "\n");
    const ToolRun run = RiptrackOnDrives(drives, "--drive " + std::to_string(drive) + " 2 '" + out + "'");
    EXPECT_EQ(run.status, GetParam().Status) << run.out;
    const size_t said = run.out.find(GetParam().Says);
    EXPECT_TRUE(said != std::string::npos && said == run.out.rfind(GetParam().Says)) << run.out;
    EXPECT_EQ(run.out.find("no track"), std::string::npos) << run.out;
    const auto kept = scripted::ReadFile(out);
    if (GetParam().Status == 0)
        EXPECT_EQ(kept.size(), 44 + discimage::TrackBytes(disc, 1).size());
    else
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier copy");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RiptrackDriveState,
    testing::Values(TDriveStateCase{"NoDisc", "no-disc", 1, "no disc in drive"},
                    TDriveStateCase{"TrayOpen", "tray-open", 1, "the tray of drive"},
                    TDriveStateCase{"NoPermission", "eacces", 1,
                                    "(no permission: add yourself to group cdrom)"},
                    TDriveStateCase{"BecomingReady", "becoming-ready=2500", 0, "to become ready"}),
    [](const testing::TestParamInfo<TDriveStateCase>& p) { return std::string(p.param.Name); });

}  // namespace
