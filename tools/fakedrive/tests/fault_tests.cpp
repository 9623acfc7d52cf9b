// Each fault of the emulated drive as libcdio meets it on real hardware: the
// driver result and sense data of its MMC commands, the kernel's drive status
// and errno values, and the time the kernel spends retrying.
#include "DriveTest.h"

#include <cdio/mmc_ll_cmds.h>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <thread>
#include <vector>

namespace {

using namespace fakedrive_test;

enum class Op {
    Read,       // cdio_read_audio_sectors: want = driver result, plus the sense data
    ReadCd,     // mmc_read_cd (one READ CD, no TOC first): the same
    Status,     // ioctl CDROM_DRIVE_STATUS: want = CDS_*
    TocHeader,  // ioctl CDROMREADTOCHDR: want = errno (0: success)
    Tracks,     // cdio_get_num_tracks on a fresh handle: want = the count
    Open,       // open(O_RDONLY|O_NONBLOCK): want = errno (0: success)
    Inquiry,    // cdio_get_hwinfo: want = 1 if it succeeds
    Ready,      // mmc_test_unit_ready: want = driver result, plus the sense data
    Tray,       // mmc_get_tray_status: want = 1 open, 0 closed
    Event,      // mmc_get_event_status: want = the media event (2 new, 3 removed)
};

struct Step {
    Op op;
    int want = 0;
    int32_t lsn = 0, count = 0;
    Sense sense{};
    long min_ms = 0, max_ms = 0;  // 0: not checked

    Step Within(long min, long max) const
    {
        Step s = *this;
        s.min_ms = min;
        s.max_ms = max;
        return s;
    }
};

constexpr Sense kNoSense{}, kNoDisc{2, 0x3A, 1}, kTrayOpen{2, 0x3A, 2}, kBecomingReady{2, 4, 1},
    kChanged{6, 0x28, 0}, kUnreadable{3, 0x11, 0}, kRefused{5, 0x24, 0}, kIllegalMode{5, 0x64, 0},
    kOutOfRange{5, 0x21, 0};

Step ReadOk(int32_t lsn, int32_t count = 26) { return {Op::Read, DRIVER_OP_SUCCESS, lsn, count}; }
Step ReadFails(int32_t lsn, Sense sense, int32_t count = 26)
{
    return {Op::Read, DRIVER_OP_ERROR, lsn, count, sense};
}
Step ReadCdOk(int32_t lsn, int32_t count = 26) { return {Op::ReadCd, DRIVER_OP_SUCCESS, lsn, count}; }
Step ReadCdFails(int32_t lsn, Sense sense, int32_t count = 26)
{
    return {Op::ReadCd, DRIVER_OP_ERROR, lsn, count, sense};
}
Step Ready(Sense sense = {})
{
    return {Op::Ready, sense == kNoSense ? DRIVER_OP_SUCCESS : DRIVER_OP_ERROR, 0, 0, sense};
}
Step Tray(int open) { return {Op::Tray, open}; }
Step Event(int event) { return {Op::Event, event}; }
Step Status(int cds) { return {Op::Status, cds}; }
Step TocHeader(int err) { return {Op::TocHeader, err}; }
Step Tracks(int n) { return {Op::Tracks, n}; }
Step Open(int err) { return {Op::Open, err}; }
Step Inquiry() { return {Op::Inquiry, 1}; }

struct FaultCase {
    const char* name;
    const char* faults;
    std::vector<Step> steps;
    const char* disc = nullptr;  // mkdiscimage description; none: OneDrive's three tracks
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class Faults : public DriveTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    // The result of STEP, compared with what it wants.
    void Run(const Step& step, size_t index)
    {
        SCOPED_TRACE("step " + std::to_string(index));
        const Clock::time_point start = Clock::now();
        switch (step.op) {
        case Op::Ready:
        case Op::Tray:
        case Op::Event: {
            if (!cdio_)
                cdio_ = Open();
            ASSERT_NE(cdio_, nullptr);
            uint8_t event[2] = {0xFF, 0xFF};
            if (step.op == Op::Ready) {
                EXPECT_EQ(mmc_test_unit_ready(cdio_.get(), 1000), step.want);
                EXPECT_EQ(LastSense(cdio_.get()), step.sense);
            } else if (step.op == Op::Tray) {
                EXPECT_EQ(mmc_get_tray_status(cdio_.get()), step.want);
            } else {
                ASSERT_EQ(mmc_get_event_status(cdio_.get(), event), DRIVER_OP_SUCCESS);
                EXPECT_EQ(event[0], step.want);
            }
            break;
        }
        case Op::Read:
        case Op::ReadCd: {
            if (!cdio_)
                cdio_ = Open();
            ASSERT_NE(cdio_, nullptr);
            std::vector<uint8_t> buffer(size_t(step.count) * kSectorBytes);
            const uint32_t count = uint32_t(step.count);
            const driver_return_code_t result =
                step.op == Op::Read ? cdio_read_audio_sectors(cdio_.get(), buffer.data(), step.lsn, count)
                                    : mmc_read_cd(cdio_.get(), buffer.data(), step.lsn, 1, false, false, 0,
                                                  true, false, 0, 0, kSectorBytes, count);
            EXPECT_EQ(result, step.want);
            EXPECT_EQ(LastSense(cdio_.get()), step.sense);
            break;
        }
        case Op::Status:
        case Op::TocHeader:
        case Op::Open: {
            errno = 0;
            const int fd = ::open("/dev/sr0", O_RDONLY | O_NONBLOCK);
            if (step.op == Op::Open) {
                EXPECT_EQ(fd < 0 ? errno : 0, step.want);
            } else if (step.op == Op::Status) {
                ASSERT_GE(fd, 0);
                EXPECT_EQ(::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), step.want);
            } else {
                ASSERT_GE(fd, 0);
                cdrom_tochdr header{};
                errno = 0;
                EXPECT_EQ(::ioctl(fd, CDROMREADTOCHDR, &header) == 0 ? 0 : errno, step.want);
            }
            if (fd >= 0)
                ::close(fd);
            break;
        }
        case Op::Tracks: {
            Cdio fresh = Open();
            ASSERT_NE(fresh, nullptr);
            EXPECT_EQ(cdio_get_num_tracks(fresh.get()), step.want);
            break;
        }
        case Op::Inquiry: {
            Cdio fresh = Open();
            ASSERT_NE(fresh, nullptr);
            cdio_hwinfo_t hw{};
            EXPECT_EQ(cdio_get_hwinfo(fresh.get(), &hw) ? 1 : 0, step.want);
            break;
        }
        }
        const long ms = MsSince(start);
        if (step.min_ms) {
            EXPECT_GE(ms, step.min_ms);
        }
        if (step.max_ms) {
            EXPECT_LT(ms, step.max_ms);
        }
    }

    Cdio cdio_;
};

TEST_P(Faults, SeenByLibcdioAsOnRealHardware)
{
    OneDrive(GetParam().faults, GetParam().disc);
    const std::vector<Step>& steps = GetParam().steps;
    for (size_t i = 0; i < steps.size(); ++i)
        Run(steps[i], i);
}

// The disc: tracks at 0 (1200 sectors), 1200 (900), 2100 (700); lead-out 2800.
INSTANTIATE_TEST_SUITE_P(
    Drive, Faults,
    ::testing::Values(
        FaultCase{"None",
                  "",
                  {Open(0), Status(CDS_DISC_OK), TocHeader(0), Tracks(3), ReadOk(2774),
                   ReadFails(2775, {5, 0x21, 0}), Ready(), Tray(0), Event(0)}},
        // libcdio reads the TOC before its first audio read: on an empty drive
        // that fails (ENOMEDIUM) before any READ CD is sent.
        FaultCase{"NoDisc",
                  "no-disc",
                  {Open(0), Status(CDS_NO_DISC), TocHeader(ENOMEDIUM), Tracks(CDIO_INVALID_TRACK),
                   ReadFails(0, kNoSense), ReadCdFails(0, kNoDisc), Inquiry(), Ready(kNoDisc), Tray(0)}},
        FaultCase{"TrayOpen",
                  "tray-open",
                  {Status(CDS_TRAY_OPEN), TocHeader(ENOMEDIUM), ReadCdFails(0, kTrayOpen), Tray(1),
                   Ready(kTrayOpen)}},
        FaultCase{"BecomingReady",
                  "becoming-ready=60000",
                  {Status(CDS_DRIVE_NOT_READY).Within(0, 1000),
                   ReadCdFails(0, kBecomingReady).Within(0, 1000), Inquiry(), Ready(kBecomingReady),
                   Tray(0)}},
        FaultCase{"BecomingReadyBlocksToc",
                  "becoming-ready=2500",
                  {TocHeader(0).Within(1900, 15000), Status(CDS_DISC_OK), ReadOk(0)}},
        FaultCase{"MediumChanged",
                  "medium-changed",
                  {Event(2), Event(0), ReadCdFails(100, kChanged), ReadCdOk(100), ReadOk(100)}},
        // The kernel retries its own TOC command after a unit attention.
        FaultCase{"MediumChangeSwallowedByKernel", "medium-changed", {TocHeader(0), ReadCdOk(100)}},
        FaultCase{"Unreadable",
                  "unreadable=1000-1009",
                  {ReadOk(974), ReadFails(990, kUnreadable), ReadFails(1009, kUnreadable, 1), ReadOk(1010),
                   ReadFails(1000, kUnreadable)}},
        FaultCase{"UnreadableClears",
                  "unreadable=1000-1009x2",
                  {ReadFails(995, kUnreadable), ReadFails(995, kUnreadable), ReadOk(995)}},
        FaultCase{"EioWithoutSense",
                  "eio=500-500",
                  {ReadFails(490, kNoSense), ReadOk(501), ReadFails(500, kNoSense, 1)}},
        FaultCase{"RemoveAt",
                  "remove-at=600",
                  {ReadOk(0), ReadOk(574), Event(0), ReadFails(590, kTrayOpen), ReadFails(0, kTrayOpen),
                   Event(3), Tray(1), Status(CDS_TRAY_OPEN), TocHeader(ENOMEDIUM)}},
        FaultCase{"RemoveAfter",
                  "remove-after=2",
                  {ReadOk(0), ReadOk(26), ReadFails(52, kTrayOpen), Status(CDS_TRAY_OPEN)}},
        FaultCase{"NoPermission", "eacces", {Open(EACCES), Open(EACCES)}},
        FaultCase{"RefusesAudio",
                  "no-audio",
                  {ReadFails(0, kRefused), ReadCdFails(2000, kRefused), Tracks(3), Status(CDS_DISC_OK)}},
        // A slowed command takes 2 s; the next one, which it must not slow
        // down, answers within a quarter of that, room for a loaded machine.
        FaultCase{"SlowRead",
                  "slow-read=2000",
                  {ReadOk(0, 1).Within(1900, 10000), Status(CDS_DISC_OK).Within(0, 500)}},
        FaultCase{"SectorRate",
                  "sector-us=80000",
                  {ReadOk(0, 26).Within(1900, 10000), ReadOk(0, 1).Within(0, 500)}},
        FaultCase{"SlowToc",
                  "slow-toc=2000",
                  {TocHeader(0).Within(1900, 10000), Status(CDS_DISC_OK).Within(0, 500)}},
        FaultCase{"SlowStatus",
                  "slow-status=2000",
                  {Status(CDS_DISC_OK).Within(1900, 10000), TocHeader(0).Within(0, 500)}},
        // Audio 0-299, data (its pregap first) 300-649, audio 650-949, lead-out 950.
        FaultCase{"DataSectorsAndLeadOut",
                  "",
                  {ReadOk(274), ReadFails(275, kIllegalMode), ReadFails(300, kIllegalMode, 1),
                   ReadFails(449, kIllegalMode, 1), ReadFails(640, kIllegalMode), ReadOk(650), ReadOk(924),
                   ReadFails(925, kOutOfRange), ReadFails(950, kOutOfRange, 1), Tracks(3)},
                  "audio:300:noise=1 data:200:pregap=150 audio:300:noise=2"},
        FaultCase{"SlowInquiry",
                  "slow-inquiry=2000",
                  {Inquiry().Within(1900, 10000), Status(CDS_DISC_OK).Within(0, 500)}}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return p.param.name; });

TEST_F(DriveTest, NoPermissionDropsTheDriveFromLibcdio)
{
    OneDrive("eacces");
    EXPECT_EQ(cdio_open("/dev/sr0", DRIVER_DEVICE), nullptr);
    EXPECT_EQ(::access("/dev/sr0", R_OK), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(::access("/dev/sr0", F_OK), 0);
}

TEST_F(DriveTest, ReplacingTheTrayFileChangesTheDisc)
{
    const std::string tray = OneDrive();
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);
    std::vector<uint8_t> buffer(kSectorBytes);
    ASSERT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 10, 1), DRIVER_OP_SUCCESS);
    EXPECT_EQ(buffer, FileBytes(Bin(tray), 10, 1));

    // A different disc appears at the tray path, written beside it and renamed in.
    const std::string other = MakeDisc("other", "audio:500:noise=7 audio:400:noise=8");
    fs::rename(Bin(other), Bin(tray));
    fs::rename(other, tray);

    EXPECT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 10, 1), DRIVER_OP_ERROR);
    EXPECT_EQ(LastSense(cdio.get()), kChanged);
    ASSERT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 10, 1), DRIVER_OP_SUCCESS);
    EXPECT_EQ(buffer, FileBytes(Bin(tray), 10, 1));
    EXPECT_EQ(cdio_get_num_tracks(Open().get()), 2);

    // Taking the image away empties the drive.
    fs::remove(tray);
    EXPECT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 10, 1), DRIVER_OP_ERROR);
    EXPECT_EQ(LastSense(cdio.get()), kChanged);
    EXPECT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 10, 1), DRIVER_OP_ERROR);
    EXPECT_EQ(LastSense(cdio.get()), kNoDisc);
}

TEST_F(DriveTest, RewritingTheFaultFileRestoresTheDisc)
{
    const std::string tray = OneDrive("remove-after=1");
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);
    std::vector<uint8_t> buffer(kSectorBytes);
    EXPECT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 0, 1), DRIVER_OP_SUCCESS);
    EXPECT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 0, 1), DRIVER_OP_ERROR);
    SetFaults(tray, "slow-read=1");
    EXPECT_EQ(cdio_read_audio_sectors(cdio.get(), buffer.data(), 0, 1), DRIVER_OP_SUCCESS);
}

// Threads share a drive one command at a time, as behind the kernel's lock:
// two reads of one drive take at least the two reads' time; two drives work
// in parallel, in less than that.
struct ParallelCase {
    const char* name;
    bool same_drive;
};

void PrintTo(const ParallelCase& c, std::ostream* os) { *os << c.name; }

class Parallel : public DriveTest, public ::testing::WithParamInterface<ParallelCase> {};

TEST_P(Parallel, ReadsFromTwoThreads)
{
    const std::string a = MakeDisc("tray0", "audio:300:noise=1");
    const std::string b = MakeDisc("tray1", "audio:300:noise=2");
    SetFaults(a, "slow-read=1000");
    SetFaults(b, "slow-read=1000");
    UseDrives("/dev/sr0=" + a + ";/dev/sr1=" + b);
    const char* second = GetParam().same_drive ? "/dev/sr0" : "/dev/sr1";
    Cdio one = Open("/dev/sr0"), two = Open(second);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);

    const Clock::time_point start = Clock::now();
    driver_return_code_t results[2] = {DRIVER_OP_ERROR, DRIVER_OP_ERROR};
    std::thread worker([&] {
        std::vector<uint8_t> buffer(kSectorBytes);
        results[1] = cdio_read_audio_sectors(two.get(), buffer.data(), 0, 1);
    });
    std::vector<uint8_t> buffer(kSectorBytes);
    results[0] = cdio_read_audio_sectors(one.get(), buffer.data(), 0, 1);
    worker.join();
    const long ms = MsSince(start);
    EXPECT_EQ(results[0], DRIVER_OP_SUCCESS);
    EXPECT_EQ(results[1], DRIVER_OP_SUCCESS);
    const long serialMs = 2 * 1000;
    if (GetParam().same_drive)
        EXPECT_GE(ms, serialMs);
    else
        EXPECT_LT(ms, serialMs);
}

INSTANTIATE_TEST_SUITE_P(Drives, Parallel,
                         ::testing::Values(ParallelCase{"SameDriveTakesTurns", true},
                                           ParallelCase{"TwoDrivesAtOnce", false}),
                         [](const ::testing::TestParamInfo<ParallelCase>& p) { return p.param.name; });

}  // namespace
