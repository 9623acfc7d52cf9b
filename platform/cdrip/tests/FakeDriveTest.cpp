// The library on real drives, as libcdio's Linux driver sees them: drives
// emulated at the kernel interface by libfakedrive (preloaded by ctest), with
// the real libcdio and paranoia on top.  FAKEDRIVE is read lazily, so each
// test sets up its own drives.
#include "CdRipTestSupport.h"

#include <cddrives/CdDrives.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

using namespace cdriptest;
using discimage::Content;
using discimage::Disc;
using discimage::Track;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kNoPermission = "no permission: add yourself to group cdrom";

bool FakeDrivePreloaded()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libfakedrive.so") != std::string::npos)
            return true;
    }
    return false;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// No audio comes from the drive: CR_OpenRipper refuses, or every read fails
// without data.
void ExpectNoAudio(int32_t start, int32_t end)
{
    int32_t readSize = 0;
    if (CR_OpenRipper(&readSize, start, end) == CDRIP_ERROR)
        return;
    std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
    int failures = 0;
    const Clock::time_point begin = Clock::now();
    while (failures < 3 && SecondsSince(begin) < 10) {
        int32_t delivered = 0;
        const int32_t result = CR_RipChunk(buffer.data(), &delivered);
        EXPECT_EQ(delivered, 0);
        EXPECT_NE(result, CDRIP_RIPPING_DONE);
        if (result == CDRIP_ERROR)
            ++failures;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(failures, 3) << "reads neither failed nor delivered";
    EXPECT_EQ(CR_CloseRipper(), CDRIP_OK);
}

// One noise track: paranoia cannot re-align noise on a wrong period.
Disc NoiseDisc(int32_t sectors = 1300)
{
    Disc disc;
    disc.tracks = {Track{true, sectors, Content::Noise, 440, 11}};
    return disc;
}

// Audio, then a data track in a second session: 11400 sectors of lead-out,
// lead-in and pregap lie between them, as on a pressed CD-Extra.
Disc CdExtraDisc()
{
    Disc disc;
    disc.tracks = {Track{true, 200, Content::Noise, 440, 5}, Track{true, 150, Content::Noise, 440, 6},
                   Track{false, 300, Content::Silence, 440, 1, 6750 + 4500 + 150}};
    return disc;
}

// The emulated drives of one test: FAKEDRIVE and FAKEDRIVE_LINKS set, the
// virtual drives of CDRIP_IMAGES and the hiding of real drives switched off.
class FakeDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FakeDrivePreloaded()) << "run through ctest, which preloads build/bin/libfakedrive.so";
        Tray0 = Dir.File("tray0.cue");
        Use("/dev/sr0=" + Tray0);
    }

    void Use(const std::string& drives, const std::string& links = "")
    {
        Drives.reset();  // restores the old values before the new ones are set
        Links.reset();
        Drives = std::make_unique<ScopedEnv>("FAKEDRIVE", drives);
        Links = std::make_unique<ScopedEnv>("FAKEDRIVE_LINKS", links);
    }

    static void SetFaults(const std::string& tray, const std::string& faults)
    {
        std::ofstream(tray + ".drive") << faults << "\n";
    }

    // Re-initialises the library and makes the drive of `device` active;
    // its number, or -1 when the library does not list it.
    static int32_t Select(const std::string& device = "/dev/sr0")
    {
        EXPECT_NE(CR_Init(), CDRIP_ERROR);
        const std::vector<cddrives::Drive> drives = cddrives::ListDrives();
        for (size_t i = 0; i < drives.size(); ++i) {
            if (drives[i].path == device) {
                EXPECT_EQ(CR_SetActiveCDROM(static_cast<int32_t>(i)), CDRIP_OK);
                return static_cast<int32_t>(i);
            }
        }
        return -1;
    }

    static std::string Identification()
    {
        TCDRomParameters params{};
        EXPECT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);
        return std::string(params.CDROMID, strnlen(params.CDROMID, sizeof params.CDROMID));
    }

    // CR_ReadToc and the seconds it took.
    static std::pair<int32_t, double> TimedReadToc()
    {
        const Clock::time_point start = Clock::now();
        const int32_t result = CR_ReadToc();
        return {result, SecondsSince(start)};
    }

    static void ExpectTocOf(const Disc& disc)
    {
        ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
        ASSERT_EQ(CR_GetNumTocEntries(), static_cast<int32_t>(disc.tracks.size()));
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            const TTocEntry entry = CR_GetTocEntry(static_cast<int32_t>(i));
            EXPECT_EQ(entry.StartSector, discimage::TrackStart(disc, i)) << "track " << i;
            EXPECT_EQ(entry.Flags, disc.tracks[i].audio ? 0x10 : 0x14) << "track " << i;
            EXPECT_EQ(entry.TrackNumber, disc.firstTrack + static_cast<int>(i)) << "track " << i;
        }
        EXPECT_EQ(CR_GetTocEntry(CR_GetNumTocEntries()).StartSector, discimage::LeadOut(disc));
    }

    ScratchDir Dir;
    std::string Tray0;
    ScopedEnv ImagesShown{"CDRIP_IMAGES_ONLY", "0"};
    ScopedEnv NoImages{"CDRIP_IMAGES", ""};
    std::unique_ptr<ScopedEnv> Drives;
    std::unique_ptr<ScopedEnv> Links;
};

// ---- Drive list and identification ----

std::vector<std::string> DevicePaths()
{
    std::vector<std::string> paths;
    for (const cddrives::Drive& drive : cddrives::ListDrives()) {
        EXPECT_FALSE(drive.isImage);
        paths.push_back(drive.path);
    }
    return paths;
}

class FakeDriveList : public FakeDrive, public ::testing::WithParamInterface<bool> {};

// udev's /dev/cdrom link names the drive a second time; libcdio finds it
// under the link.  Each drive is listed once, under its own name, in number
// order (sr2 before sr10).
TEST_P(FakeDriveList, EachDriveOnceUnderItsOwnNameInNumberOrder)
{
    Use("/dev/sr10=" + Dir.File("t10.cue") + ";/dev/sr0=" + Tray0 + ";/dev/sr2=" + Dir.File("t2.cue"),
        GetParam() ? "/dev/cdrom=/dev/sr0" : "");
    const std::vector<std::string> paths = DevicePaths();
    const auto position = [&paths](const std::string& path) {
        EXPECT_EQ(std::count(paths.begin(), paths.end(), path), 1) << path;
        return std::find(paths.begin(), paths.end(), path) - paths.begin();
    };
    EXPECT_LT(position("/dev/sr0"), position("/dev/sr2"));
    EXPECT_LT(position("/dev/sr2"), position("/dev/sr10"));
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "/dev/cdrom"), 0);
}

INSTANTIATE_TEST_SUITE_P(Link, FakeDriveList, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "WithCdromLink" : "WithoutLink"; });

TEST_F(FakeDrive, ImagesOnlyHidesRealDrives)
{
    ScopedEnv hide("CDRIP_IMAGES_ONLY", "1");
    ScopedEnv images("CDRIP_IMAGES", Dir.File("virtual.cue"));
    const std::vector<cddrives::Drive> drives = cddrives::ListDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_TRUE(drives[0].isImage);
}

// A user outside group cdrom cannot open the drive; libcdio drops it, we
// list it with the reason and treat it as empty.
TEST_F(FakeDrive, NoPermissionIsListedWithTheReasonAndHoldsNoDisc)
{
    discimage::WriteImage(NoiseDisc(100), Tray0);
    SetFaults(Tray0, "eacces");
    ASSERT_GE(Select(), 0) << "the drive is not listed";
    EXPECT_EQ(Identification(), std::string("/dev/sr0 (") + kNoPermission + ")");
    const auto [toc, seconds] = TimedReadToc();
    EXPECT_EQ(toc, CDRIP_ERROR);
    EXPECT_LT(seconds, 1.0);
    ExpectNoAudio(0, 99);
}

struct IdentityCase {
    const char* name;
    std::string faults;
    std::string expected;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class FakeDriveIdentity : public FakeDrive, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(FakeDriveIdentity, VendorModelRevisionTrimmedThenTheDevice)
{
    SetFaults(Tray0, GetParam().faults);
    ASSERT_GE(Select(), 0);
    EXPECT_EQ(Identification(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Inquiry, FakeDriveIdentity,
    ::testing::Values(IdentityCase{"Padded", "", "ACME CDR-4711 1.02 (/dev/sr0)"},
                      IdentityCase{"Short", "vendor=AB model=X1 revision=7", "AB X1 7 (/dev/sr0)"},
                      IdentityCase{"FullWidth", "vendor=HL-DT-ST model=DVDRAM_GH24NSD1 revision=LG00",
                                   "HL-DT-ST DVDRAM_GH24NSD1 LG00 (/dev/sr0)"}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Table of contents and rips ----

TEST_F(FakeDrive, TocOfADiscWithADataTrackAndFirstTrackFive)
{
    Disc disc = NoiseDisc(300);
    disc.firstTrack = 5;
    disc.tracks.push_back(Track{false, 200, Content::Silence, 440, 1, 150});
    discimage::WriteImage(disc, Tray0);
    ASSERT_GE(Select(), 0);
    ExpectTocOf(disc);
}

class FakeDriveCdExtra : public FakeDrive, public ::testing::WithParamInterface<bool> {};

// The last audio track's TOC range runs up to the data track; its audio ends
// before the session gap, where the library says it does, and the rip
// delivers exactly that audio.
TEST_P(FakeDriveCdExtra, LastAudioTrackEndsBeforeTheSessionGap)
{
    const Disc disc = CdExtraDisc();
    discimage::WriteImage(disc, Tray0);
    SetFaults(Tray0, "cd-extra");
    ASSERT_GE(Select(), 0);
    ExpectTocOf(disc);
    int32_t last = 0;
    ASSERT_EQ(CR_GetTrackLastSector(1, &last), CDRIP_OK);
    EXPECT_EQ(last, discimage::TrackEnd(disc, 1));
    SetFormat(STEREO44100, GetParam());
    const RipResult rip = Rip(CR_GetTocEntry(1).StartSector, CR_GetTocEntry(2).StartSector - 1);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_EQ(rip.pcm.size(), discimage::TrackBytes(disc, 1).size());
    EXPECT_TRUE(rip.pcm == discimage::TrackBytes(disc, 1));
}

INSTANTIATE_TEST_SUITE_P(ParanoiaAndPlain, FakeDriveCdExtra, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Paranoia" : "Plain"; });

class FakeDriveRip : public FakeDrive, public ::testing::WithParamInterface<bool> {};

TEST_P(FakeDriveRip, TrackEqualsTheImage)
{
    Disc disc = NoiseDisc(500);
    disc.tracks.push_back(Track{true, 333, Content::Noise, 440, 12, 40});
    discimage::WriteImage(disc, Tray0);
    ASSERT_GE(Select(), 0);
    ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    SetFormat(STEREO44100, GetParam());
    const RipResult rip = Rip(discimage::TrackStart(disc, 1), discimage::TrackEnd(disc, 1));
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_EQ(std::count(rip.results.begin(), rip.results.end(), CDRIP_ERROR), 0);
    EXPECT_EQ(rip.jitterCount, 0);
    EXPECT_TRUE(rip.pcm == discimage::TrackBytes(disc, 1));
}

INSTANTIATE_TEST_SUITE_P(ParanoiaAndPlain, FakeDriveRip, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Paranoia" : "Plain"; });

// CDRIP_FAULTS and "<tray>.faults" are for tests on images: a real drive is
// read as it is.
TEST_F(FakeDrive, InjectedFaultsAreForVirtualDrivesOnly)
{
    const Disc disc = NoiseDisc(100);
    discimage::WriteImage(disc, Tray0);
    std::ofstream(Tray0 + ".faults") << "fail-open\n";
    ScopedEnv faults("CDRIP_FAULTS", "fail-all");
    ASSERT_GE(Select(), 0);
    ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    SetFormat(STEREO44100, false);
    const RipResult rip = Rip(0, 99, 20);
    ASSERT_EQ(rip.openResult, CDRIP_OK);
    EXPECT_EQ(rip.results.back(), CDRIP_RIPPING_DONE);
    EXPECT_TRUE(rip.pcm == discimage::TrackBytes(disc, 0));
}

// ---- Faults ----

constexpr int32_t kTrackSectors = 1300;
constexpr int32_t kBadFirst = 1000;  // inside the read of sectors 988 .. 1013
constexpr int32_t kBadLast = 1009;
constexpr int32_t kRemovedAt = 300;

enum class Outcome {
    NoDisc,            // CR_ReadToc fails at once, nothing opens
    NoDiscThenReady,   // fails at once while spinning up, succeeds later
    TocRead,           // the table is read all the same
    LostMidRip,        // result 1 from the lost sector on, sticky: no more commands
    RefusedAtOnce,     // no audio at all; failures without further commands
    FilledExactly,     // completes; results 3 naming exactly the silenced sectors, read by read
    FailsUntilMended,  // result 1 (no data) while the fault lasts, then the right audio
    FailsFromTheGap,   // the audio before the bad sectors, then result 1 without end
    Complete,          // completes with the image's audio, no failed read or jitter record on the way
};

struct FaultCase {
    std::string name;
    std::string faults;
    bool jitterCorrection;
    Outcome outcome;
    std::string layout = {};       // mkdiscimage description; empty: one noise track of kTrackSectors
    size_t track = 0;              // the track copied, over its range in the table of contents
    int32_t badFirst = kBadFirst;  // the sectors that cannot be read
    int32_t badLast = kBadLast;
    int32_t binSectors = -1;    // the bin is cut to this many sectors
    bool virtualDrive = false;  // the image as a drive of CDRIP_IMAGES, not behind /dev/sr0
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name << " (" << c.faults << ")"; }

class FakeDriveFault : public FakeDrive, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override
    {
        FakeDrive::SetUp();
        disc_ = NoiseDisc(kTrackSectors);
        discimage::WriteImage(disc_, Tray0);
        log_ = Dir.File("commands.log");
        logEnv_ = std::make_unique<ScopedEnv>("FAKEDRIVE_LOG", log_);
    }

    // READ CD commands the drive has seen so far.
    int ReadCommands() const
    {
        std::ifstream log(log_);
        std::string line;
        int count = 0;
        while (std::getline(log, line))
            count += line.find("READCD") != std::string::npos ? 1 : 0;
        return count;
    }

    struct Run {
        int32_t open = CDRIP_ERROR;
        std::vector<int32_t> results;
        std::vector<uint8_t> pcm;
        std::vector<std::pair<int32_t, int32_t>> jitter;
        int commandsAtFirstFailure = -1;
        int commandsAtEnd = -1;
        double seconds = 0;
    };

    // Rips the whole track; `onFailure` runs after every result 1.  Results
    // 0 without data (the drive has nothing ready yet) are not counted.
    Run RipTrack(int maxReads, const std::function<void(int failures)>& onFailure = {})
    {
        Run run;
        const Clock::time_point start = Clock::now();
        int32_t readSize = 0;
        const int32_t index = static_cast<int32_t>(GetParam().track);
        run.open = CR_OpenRipper(&readSize, CR_GetTocEntry(index).StartSector,
                                 CR_GetTocEntry(index + 1).StartSector - 1);
        if (run.open == CDRIP_ERROR)
            return run;
        std::vector<uint8_t> buffer(static_cast<size_t>(readSize));
        int failures = 0;
        for (int i = 0; i < maxReads && SecondsSince(start) < 60;) {
            int32_t delivered = 0;
            const int32_t result = CR_RipChunk(buffer.data(), &delivered);
            if (result == CDRIP_OK && delivered == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            ++i;
            run.results.push_back(result);
            if (result == CDRIP_ERROR) {
                if (run.commandsAtFirstFailure < 0)
                    run.commandsAtFirstFailure = ReadCommands();
                EXPECT_EQ(delivered, 0);
                if (onFailure)
                    onFailure(++failures);
                continue;
            }
            run.pcm.insert(run.pcm.end(), buffer.begin(), buffer.begin() + delivered);
            if (result == CDRIP_JITTER_ERROR) {
                int32_t first = 0;
                int32_t last = 0;
                CR_GetLastJitterErrorPosition(&first, &last);
                run.jitter.emplace_back(first, last);
            }
            if (result == CDRIP_RIPPING_DONE)
                break;
        }
        run.commandsAtEnd = ReadCommands();
        EXPECT_EQ(CR_CloseRipper(), CDRIP_OK);
        run.seconds = SecondsSince(start);
        return run;
    }

    // The track's audio: up to the next audio track, or before a data track's pregap.
    std::vector<uint8_t> Image() const
    {
        const size_t t = GetParam().track;
        const bool audioNext = t + 1 < disc_.tracks.size() && disc_.tracks[t + 1].audio;
        const int32_t end =
            audioNext ? discimage::TrackStart(disc_, t + 1) : discimage::TrackEnd(disc_, t) + 1;
        return discimage::SectorBytes(disc_, First(), end - First());
    }
    int32_t First() const { return discimage::TrackStart(disc_, GetParam().track); }

    Disc disc_;
    std::string log_;
    std::unique_ptr<ScopedEnv> logEnv_;
};

TEST_P(FakeDriveFault, SoundOutcome)
{
    const FaultCase& c = GetParam();
    if (!c.layout.empty())
        discimage::WriteImage(disc_ = discimage::ParseDescription(c.layout), Tray0);
    if (c.binSectors >= 0)
        std::filesystem::resize_file(Tray0.substr(0, Tray0.size() - 4) + ".bin", c.binSectors * 2352ull);
    SetFaults(Tray0, c.faults);
    ScopedEnv images("CDRIP_IMAGES", c.virtualDrive ? Tray0 : "");
    ASSERT_GE(Select(c.virtualDrive ? Tray0 : "/dev/sr0"), 0);
    SetFormat(STEREO44100, c.jitterCorrection);

    const Outcome outcome = c.outcome;
    if (outcome == Outcome::NoDisc || outcome == Outcome::NoDiscThenReady) {
        const auto [toc, seconds] = TimedReadToc();
        EXPECT_EQ(toc, CDRIP_ERROR);
        EXPECT_LT(seconds, 1.0) << "the kernel's retries on a drive without a ready disc";
        EXPECT_EQ(CR_GetNumTocEntries(), 0);
        if (outcome == Outcome::NoDisc) {
            ExpectNoAudio(0, 99);
            return;
        }
        const Clock::time_point start = Clock::now();
        while (CR_ReadToc() != CDRIP_OK && SecondsSince(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ExpectTocOf(disc_);
        return;
    }
    if (outcome == Outcome::TocRead) {
        ExpectTocOf(disc_);
        return;
    }

    ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    for (int32_t i = 0; i < CR_GetNumTocEntries(); ++i)
        EXPECT_LE(CR_GetTocEntry(i).StartSector, CR_GetTocEntry(i + 1).StartSector) << "track " << i + 1;
    const std::vector<uint8_t> image = Image();
    switch (outcome) {
    case Outcome::LostMidRip: {
        const Run run = RipTrack(400);
        ASSERT_EQ(run.open, CDRIP_OK);
        const auto firstFailure = std::find(run.results.begin(), run.results.end(), CDRIP_ERROR);
        ASSERT_NE(firstFailure, run.results.end()) << "the lost disc was read as audio";
        EXPECT_TRUE(std::all_of(firstFailure, run.results.end(), [](int32_t r) { return r == CDRIP_ERROR; }));
        EXPECT_GE(run.results.end() - firstFailure, 100) << "the caller gets its 100 failures";
        EXPECT_EQ(run.commandsAtEnd, run.commandsAtFirstFailure) << "reads went on after the disc was gone";
        EXPECT_LE(run.pcm.size(), static_cast<size_t>(kRemovedAt) * 2352);
        EXPECT_TRUE(std::equal(run.pcm.begin(), run.pcm.end(), image.begin())) << "delivered audio is real";
        EXPECT_LT(run.seconds, 10.0);
        break;
    }
    case Outcome::RefusedAtOnce: {
        const Run run = RipTrack(150);
        if (run.open == CDRIP_ERROR)
            break;  // paranoia found no audio at all when it opened the disc
        EXPECT_EQ(run.results, std::vector<int32_t>(150, CDRIP_ERROR));
        EXPECT_EQ(run.commandsAtEnd, run.commandsAtFirstFailure) << "retried a drive that refuses";
        EXPECT_LT(run.seconds, 10.0);
        break;
    }
    case Outcome::FilledExactly: {
        const Run run = RipTrack(400);
        ASSERT_EQ(run.open, CDRIP_OK);
        EXPECT_EQ(run.results.back(), CDRIP_RIPPING_DONE);
        EXPECT_EQ(std::count(run.results.begin(), run.results.end(), CDRIP_ERROR), 0);
        ASSERT_FALSE(run.jitter.empty());
        EXPECT_EQ(run.jitter.front().first, c.badFirst);
        EXPECT_EQ(run.jitter.back().second, c.badLast);
        for (size_t i = 1; i < run.jitter.size(); ++i)
            EXPECT_EQ(run.jitter[i].first, run.jitter[i - 1].second + 1) << "record " << i;
        std::vector<uint8_t> expected = image;
        std::fill(expected.begin() + (c.badFirst - First()) * 2352,
                  expected.begin() + (c.badLast + 1 - First()) * 2352, 0);
        ASSERT_EQ(run.pcm.size(), expected.size());
        for (int32_t s = 0; s < static_cast<int32_t>(expected.size() / 2352); ++s) {
            ASSERT_TRUE(std::equal(expected.begin() + s * 2352, expected.begin() + (s + 1) * 2352,
                                   run.pcm.begin() + s * 2352))
                << "sector " << s;
        }
        break;
    }
    case Outcome::FailsUntilMended: {
        const Run run = RipTrack(400, [&](int failures) {
            if (failures == 5)
                SetFaults(Tray0, "");
        });
        ASSERT_EQ(run.open, CDRIP_OK);
        EXPECT_GE(std::count(run.results.begin(), run.results.end(), CDRIP_ERROR), 5);
        EXPECT_EQ(run.results.back(), CDRIP_RIPPING_DONE);
        EXPECT_TRUE(run.jitter.empty());
        EXPECT_TRUE(run.pcm == image) << "nothing made up, nothing lost";
        break;
    }
    case Outcome::FailsFromTheGap: {
        const Run run = RipTrack(150);
        ASSERT_GE(run.results.size(), 100u);
        EXPECT_EQ(std::count(run.results.end() - 100, run.results.end(), CDRIP_ERROR), 100);
        const size_t good = static_cast<size_t>(c.badFirst - First()) * 2352;
        EXPECT_TRUE(run.pcm.size() <= good && run.pcm.size() + 26 * 2352 > good) << run.pcm.size();
        EXPECT_TRUE(std::equal(run.pcm.begin(), run.pcm.end(), image.begin())) << "delivered audio is real";
        break;
    }
    case Outcome::Complete: {
        const Run run = RipTrack(400);
        ASSERT_EQ(run.open, CDRIP_OK);
        EXPECT_EQ(run.results.back(), CDRIP_RIPPING_DONE);
        EXPECT_EQ(static_cast<size_t>(std::count(run.results.begin(), run.results.end(), CDRIP_OK)) + 1,
                  run.results.size());
        EXPECT_TRUE(run.pcm == image) << run.pcm.size() << " bytes, not " << image.size();
        const auto [toc, seconds] = TimedReadToc();
        EXPECT_EQ(toc, CDRIP_OK);
        EXPECT_LT(seconds, 1.0);
        break;
    }
    default: FAIL() << "no check for this outcome";
    }
}

const std::string kBad = std::to_string(kBadFirst) + "-" + std::to_string(kBadLast);

INSTANTIATE_TEST_SUITE_P(
    Faults, FakeDriveFault,
    ::testing::Values(FaultCase{"NoDisc", "no-disc", true, Outcome::NoDisc},
                      FaultCase{"TrayOpen", "tray-open", true, Outcome::NoDisc},
                      FaultCase{"BecomingReady", "becoming-ready=2500", true, Outcome::NoDiscThenReady},
                      FaultCase{"MediumChanged", "medium-changed", true, Outcome::TocRead},
                      FaultCase{"MediumRemovedParanoia", "remove-at=" + std::to_string(kRemovedAt), true,
                                Outcome::LostMidRip},
                      FaultCase{"MediumRemovedPlain", "remove-at=" + std::to_string(kRemovedAt), false,
                                Outcome::LostMidRip},
                      FaultCase{"RemovedAfterReadsParanoia", "remove-after=12", true, Outcome::LostMidRip},
                      FaultCase{"RefusesAudioParanoia", "no-audio", true, Outcome::RefusedAtOnce},
                      FaultCase{"RefusesAudioPlain", "no-audio", false, Outcome::RefusedAtOnce},
                      FaultCase{"UnreadableParanoia", "unreadable=" + kBad, true, Outcome::FilledExactly},
                      FaultCase{"EioWithoutSenseParanoia", "eio=" + kBad, true, Outcome::FilledExactly},
                      FaultCase{"UnreadablePlain", "unreadable=" + kBad, false, Outcome::FailsUntilMended},
                      FaultCase{"EioWithoutSensePlain", "eio=" + kBad, false, Outcome::FailsUntilMended},
                      FaultCase{"UnreadableTwiceParanoia", "unreadable=" + kBad + "x2", true,
                                Outcome::Complete},
                      FaultCase{"SlowReadsParanoia", "slow-read=5", true, Outcome::Complete},
                      FaultCase{"SlowReadsPlain", "slow-read=5", false, Outcome::Complete}),
    [](const auto& p) { return std::string(p.param.name); });

// Mixed-mode discs (data first, in the middle and last, with a 2-s gap and
// without) copy exactly; a sector that cannot be read at the edge of a track,
// of the disc or of a cut bin is silence named exactly, or fails plain reads.
std::vector<FaultCase> BoundaryRows()
{
    std::vector<FaultCase> rows;
    const auto both = [&rows](FaultCase row, Outcome plain) {
        rows.push_back(row);
        rows.back().name += "Paranoia";
        row.name += "Plain";
        row.jitterCorrection = false;
        row.outcome = plain;
        rows.push_back(row);
    };
    const auto layout = [&both](const char* name, const char* description, size_t track) {
        both(FaultCase{name, "", true, Outcome::Complete, description, track}, Outcome::Complete);
    };
    layout("DataFirst", "data:300 audio:400:noise=3 audio:300:noise=4", 1);
    layout("DataFirstGap", "data:300 audio:400:noise=3:pregap=150 audio:300:noise=4", 1);
    layout("DataMiddleBefore", "audio:400:noise=1 data:300 audio:400:noise=2", 0);
    layout("DataMiddleAfter", "audio:400:noise=1 data:300 audio:400:noise=2", 2);
    layout("DataMiddleGap", "audio:400:noise=1 data:300:pregap=150 audio:400:noise=2:pregap=150", 0);
    layout("DataLast", "audio:400:noise=1 audio:300:noise=2 data:300", 1);
    layout("DataLastGap", "audio:400:noise=1 audio:300:noise=2 data:300:pregap=150", 1);
    const char* const three = "audio:300:noise=1 audio:400:noise=2 audio:350:noise=3";  // 0, 300, 700
    const auto bad = [&both, three](const char* name, size_t track, int32_t sector) {
        const std::string faults = "unreadable=" + std::to_string(sector) + "-" + std::to_string(sector);
        both(FaultCase{name, faults, true, Outcome::FilledExactly, three, track, sector, sector},
             Outcome::FailsUntilMended);
    };
    bad("FirstSectorOfATrack", 1, 300);
    bad("LastSectorOfATrack", 1, 699);
    bad("LastSectorOfTheDisc", 2, 1049);
    FaultCase cut{"BinEndsInTheTrack", "", true, Outcome::FilledExactly, three, 1, 600, 699, 600};
    both(cut, Outcome::FailsFromTheGap);
    cut.name = "ImageEndsInTheTrack";
    cut.virtualDrive = true;
    both(cut, Outcome::FailsFromTheGap);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Boundaries, FakeDriveFault, ::testing::ValuesIn(BoundaryRows()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
