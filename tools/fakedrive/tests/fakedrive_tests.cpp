// The drive emulator seen through unmodified libcdio and libcdio-paranoia:
// what they find, read and report must be what a real drive behind the
// Linux kernel gives them.  The executable re-runs itself with the emulator
// preloaded (main.cpp).
#include "DriveTest.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace fakedrive_test;

// ---- enumeration ----

struct EnumerationCase {
    const char* name;
    int drives;              // /dev/sr0 .. /dev/sr(N-1), each with a disc
    const char* links;       // FAKEDRIVE_LINKS
    const char* faults_sr0;  // fault items of /dev/sr0
    bool sr0_empty;          // no image in /dev/sr0's tray
    std::vector<std::string> expected;
};

void PrintTo(const EnumerationCase& c, std::ostream* os) { *os << c.name; }

class Enumeration : public DriveTest, public ::testing::WithParamInterface<EnumerationCase> {};

TEST_P(Enumeration, LibcdioListsEachDriveOnce)
{
    const EnumerationCase& c = GetParam();
    std::string drives;
    for (int i = 0; i < c.drives; ++i) {
        const std::string tray = (dir_ / ("tray" + std::to_string(i) + ".cue")).string();
        if (!(i == 0 && c.sr0_empty))
            MakeDisc("tray" + std::to_string(i), "audio:300:noise=" + std::to_string(i + 1));
        if (i == 0 && *c.faults_sr0)
            SetFaults(tray, c.faults_sr0);
        drives += "/dev/sr" + std::to_string(i) + "=" + tray + ";";
    }
    UseDrives(drives, c.links);

    EXPECT_EQ(Devices(), c.expected);
    driver_id_t driver = DRIVER_LINUX;
    char* fallback = cdio_get_default_device_driver(&driver);
    EXPECT_EQ(fallback ? std::string(fallback) : std::string(),
              c.expected.empty() ? std::string() : c.expected.front());
    std::free(fallback);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, Enumeration,
    ::testing::Values(
        EnumerationCase{"OneDrive", 1, "", "", false, {"/dev/sr0"}},
        EnumerationCase{"CdromLink", 1, "/dev/cdrom=/dev/sr0", "", false, {"/dev/cdrom"}},
        EnumerationCase{"LinkToSecondDrive", 2, "/dev/cdrom=/dev/sr1", "", false, {"/dev/cdrom", "/dev/sr0"}},
        EnumerationCase{"EmptyDriveListed", 1, "", "", true, {"/dev/sr0"}},
        EnumerationCase{"TrayOpenListed", 1, "", "tray-open", false, {"/dev/sr0"}},
        EnumerationCase{"NoPermissionDropped", 2, "", "eacces", false, {"/dev/sr1"}},
        EnumerationCase{"NoDrives", 0, "", "", false, {}}),
    [](const ::testing::TestParamInfo<EnumerationCase>& p) { return p.param.name; });

// ---- the device node ----

TEST_F(DriveTest, NodesLookLikeUdevMadeThem)
{
    const std::string tray = MakeDisc("tray1", "audio:300:noise=1");
    UseDrives("/dev/sr1=" + tray, "/dev/cdrom=/dev/sr1");

    struct stat st {};
    ASSERT_EQ(::stat("/dev/cdrom", &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 11u);
    EXPECT_EQ(minor(st.st_rdev), 1u);
    ASSERT_EQ(::lstat("/dev/cdrom", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char target[64] = {};
    EXPECT_EQ(::readlink("/dev/cdrom", target, sizeof target - 1), 3);
    EXPECT_STREQ(target, "sr1");
    char* real = ::realpath("/dev/cdrom", nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_STREQ(real, "/dev/sr1");
    std::free(real);
    EXPECT_EQ(::access("/dev/sr1", R_OK), 0);
    struct statx sx {};
    ASSERT_EQ(::statx(AT_FDCWD, "/dev/cdrom", 0, STATX_BASIC_STATS, &sx), 0);  // as Qt asks
    EXPECT_TRUE(S_ISBLK(sx.stx_mode));
    EXPECT_EQ(sx.stx_rdev_major, 11u);
    EXPECT_TRUE(fs::is_block_file("/dev/sr1"));
    EXPECT_TRUE(fs::is_symlink("/dev/cdrom"));

    // The machine's own drives are hidden while the emulator is in use.
    errno = 0;
    EXPECT_EQ(::stat("/dev/sr0", &st), -1);
    EXPECT_EQ(errno, ENOENT);

    // A descriptor survives dup and close of the original.
    int fd = ::open("/dev/sr1", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_rdev, makedev(11, 1));
    int copy = ::dup(fd);
    ::close(fd);
    EXPECT_EQ(::ioctl(copy, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_DISC_OK);
    ::close(copy);
}

TEST_F(DriveTest, UnsetChangesNothing)
{
    ::unsetenv("FAKEDRIVE");
    for (const char* path : {"/dev/sr0", "/dev/cdrom", "/dev/null", "/nonexistent"}) {
        struct stat ours {
        }, kernel{};
        errno = 0;
        const int r = ::stat(path, &ours);
        const int e = errno;
        const long k = ::syscall(SYS_newfstatat, AT_FDCWD, path, &kernel, 0);
        EXPECT_EQ(r, k) << path;
        if (r == 0) {
            EXPECT_EQ(ours.st_rdev, kernel.st_rdev) << path;
        } else {
            EXPECT_EQ(e, errno) << path;
        }
    }
}

// ---- identification ----

struct HwCase {
    const char* name;
    const char* faults;
    const char* vendor;
    const char* model;
    const char* revision;
};

void PrintTo(const HwCase& c, std::ostream* os) { *os << c.name; }

class Identification : public DriveTest, public ::testing::WithParamInterface<HwCase> {};

TEST_P(Identification, InquiryStringsArriveBlankPadded)
{
    OneDrive(GetParam().faults);
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);
    cdio_hwinfo_t hw{};
    ASSERT_TRUE(cdio_get_hwinfo(cdio.get(), &hw));
    EXPECT_STREQ(hw.psz_vendor, GetParam().vendor);
    EXPECT_STREQ(hw.psz_model, GetParam().model);
    EXPECT_STREQ(hw.psz_revision, GetParam().revision);
}

// libcdio parses MODE SENSE(10) page 2Ah expecting no block descriptor.
TEST_F(DriveTest, CapabilitiesPageReadsAsACdDaReader)
{
    OneDrive();
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);
    cdio_drive_read_cap_t read = 0;
    cdio_drive_write_cap_t write = 0;
    cdio_drive_misc_cap_t misc = 0;
    cdio_get_drive_cap(cdio.get(), &read, &write, &misc);
    EXPECT_EQ(read & (CDIO_DRIVE_CAP_READ_AUDIO | CDIO_DRIVE_CAP_READ_CD_DA | CDIO_DRIVE_CAP_READ_C2_ERRS |
                      CDIO_DRIVE_CAP_READ_CD_R | CDIO_DRIVE_CAP_READ_DVD_ROM),
              CDIO_DRIVE_CAP_READ_AUDIO | CDIO_DRIVE_CAP_READ_CD_DA | CDIO_DRIVE_CAP_READ_CD_R);
    EXPECT_EQ(write & CDIO_DRIVE_CAP_WRITE, 0u);
    EXPECT_NE(misc & CDIO_DRIVE_CAP_MISC_MULTI_SESSION, 0u);
    EXPECT_NE(misc & CDIO_DRIVE_CAP_MISC_EJECT, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Inquiry, Identification,
    ::testing::Values(HwCase{"Default", "", "ACME    ", "CDR-4711        ", "1.02"},
                      HwCase{"Configured", "vendor=PLEXTOR model=PX-W4012A revision=1.07", "PLEXTOR ",
                             "PX-W4012A       ", "1.07"},
                      HwCase{"TooLongCut", "vendor=VERYLONGVENDOR revision=12345", "VERYLONG",
                             "CDR-4711        ", "1234"},
                      HwCase{"EmptyDriveAnswers", "no-disc", "ACME    ", "CDR-4711        ", "1.02"}),
    [](const ::testing::TestParamInfo<HwCase>& p) { return p.param.name; });

// ---- table of contents ----

struct TocCase {
    const char* name;
    const char* description;
    const char* faults;
    bool second_session;  // the last track opens session 2
};

void PrintTo(const TocCase& c, std::ostream* os) { *os << c.name; }

class Toc : public DriveTest, public ::testing::WithParamInterface<TocCase> {};

TEST_P(Toc, MatchesTheImage)
{
    const TocCase& c = GetParam();
    const std::string tray = MakeDisc("tray0", c.description);
    if (*c.faults)
        SetFaults(tray, c.faults);
    UseDrives("/dev/sr0=" + tray);
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);

    const int n = int(disc_.tracks.size());
    EXPECT_EQ(cdio_get_first_track_num(cdio.get()), disc_.firstTrack);
    EXPECT_EQ(cdio_get_num_tracks(cdio.get()), n);
    for (int i = 0; i < n; ++i) {
        const track_t track = track_t(disc_.firstTrack + i);
        EXPECT_EQ(cdio_get_track_lsn(cdio.get(), track), TrackStart(disc_, size_t(i))) << int(track);
        EXPECT_EQ(cdio_get_track_format(cdio.get(), track) == TRACK_FORMAT_AUDIO,
                  disc_.tracks[size_t(i)].audio)
            << int(track);
    }
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK), LeadOut(disc_));
    // READ TOC format 2: the disc type of the first session, all these discs start with audio.
    EXPECT_EQ(cdio_get_discmode(cdio.get()), CDIO_DISC_MODE_CD_DA);
    msf_t msf{};
    ASSERT_TRUE(cdio_get_track_msf(cdio.get(), track_t(disc_.firstTrack), &msf));
    EXPECT_EQ(cdio_msf_to_lba(&msf), TrackStart(disc_, 0) + CDIO_PREGAP_SECTORS);

    lsn_t last_session = -1;
    ASSERT_EQ(cdio_get_last_session(cdio.get(), &last_session), DRIVER_OP_SUCCESS);
    EXPECT_EQ(last_session, c.second_session ? TrackStart(disc_, size_t(n - 1)) : 0);

    // Paranoia ends the last audio track of a CD-Extra disc before the gap
    // to session 2; on a one-session disc at the next track.
    cdrom_drive_t* d = cdio_cddap_identify_cdio(cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(cdio_cddap_open(d), 0);
    for (int i = 0; i < n; ++i)
        if (disc_.tracks[size_t(i)].audio) {
            const track_t track = track_t(disc_.firstTrack + i);
            const bool before_gap = c.second_session && i == n - 2;
            const int32_t end =
                i + 1 < n && !before_gap ? TrackStart(disc_, size_t(i + 1)) - 1 : TrackEnd(disc_, size_t(i));
            EXPECT_EQ(cdio_cddap_track_lastsector(d, track), end) << int(track);
        }
    cdio_cddap_close_no_free_cdio(d);
}

INSTANTIATE_TEST_SUITE_P(
    Discs, Toc,
    ::testing::Values(
        TocCase{"ThreeAudioTracks", "audio:1000:noise=1 audio:777:noise=2 audio:1500:noise=3", "", false},
        TocCase{"FirstTrackFive", "first=5 audio:300:noise=1 audio:301:noise=2", "", false},
        TocCase{"Pregap", "audio:500:noise=1 audio:400:noise=2:pregap=150", "", false},
        TocCase{"Mixed", "audio:500:noise=1 data:300", "", false},
        TocCase{"CdExtra", "audio:1000:noise=1 audio:800:noise=2 data:600:pregap=11400", "cd-extra", true}),
    [](const ::testing::TestParamInfo<TocCase>& p) { return p.param.name; });

// ---- CD-Text ----

// CRC-16-CCITT as CD-Text uses it: divisor 0x11021, start 0, inverted.
uint16_t PackCrc(const uint8_t* data, size_t len)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < len; ++i)
        for (int bit = 7; bit >= 0; --bit)
            crc = uint16_t(((crc >> 15) ^ ((data[i] >> bit) & 1)) ? (crc << 1) ^ 0x1021 : crc << 1);
    return uint16_t(~crc);
}

// The cue's TITLE/PERFORMER lines are block 0 (English), TRAY.cdtext adds a
// German block; libcdio decodes both from the packs, whose CRCs are right
// except for the pack that the fault item names.
TEST_F(DriveTest, CdTextPacksCarryTheCueAndTheCompanionBlocks)
{
    ASSERT_EQ(PackCrc(reinterpret_cast<const uint8_t*>("123456789"), 9), uint16_t(~0x31C3));
    const std::string tray =
        MakeDisc("tray0", "album=\"Lieder: Sommer\" performer=Chor audio:300:noise=1:title=A:performer=X "
                          "audio:300:noise=2:title=Bc:performer=\"Die Ärzte\"");
    std::ofstream(tray + ".cdtext") << "# German\nblock=8\ntitle=Sommerlieder\ntitle2=Zwei: \u00DCber\n";
    SetFaults(tray, "cdtext-bad-crc=2");
    UseDrives("/dev/sr0=" + tray);
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);

    uint8_t* raw = cdio_get_cdtext_raw(cdio.get());
    ASSERT_NE(raw, nullptr);
    // Block 0: "Lieder: Sommer", "A", "Bc" with their NULs fill 2 packs;
    // "Chor", "X", "Die Ärzte" (ISO-8859-1) 2 more; 3 packs of size
    // information.  Block 1: 25 bytes of titles in 3 packs, and 3.
    const size_t packs = (size_t(raw[0] << 8 | raw[1]) - 2) / 18;
    ASSERT_EQ(packs, 13u);
    for (size_t i = 0; i < packs; ++i) {
        const uint8_t* pack = raw + 4 + 18 * i;
        const bool good = PackCrc(pack, 16) == (pack[16] << 8 | pack[17]);
        EXPECT_EQ(good, i != 2) << "pack " << i;
        EXPECT_EQ(pack[3] >> 4, i < 7 ? 0 : 1) << "block of pack " << i;
        EXPECT_EQ(pack[2], i < 7 ? i : i - 7) << "sequence number of pack " << i;
    }
    // "Chor\0X\0Die \xC4" fill the first performer pack; the second begins in
    // track 2's text, 5 characters in.
    const uint8_t* performers = raw + 4 + 18 * 2;
    EXPECT_EQ(performers[15], 0xC4);
    EXPECT_EQ(std::vector<int>(performers + 18, performers + 24),
              (std::vector<int>{0x81, 2, 3, 5, 'r', 'z'}));
    const uint8_t* size = raw + 4 + 18 * 4;
    // Size information: character code 0, tracks 1..2, copyright 0, 2 packs
    // of titles, 2 of performers; 3 of size; last sequence numbers 6 and 5;
    // languages English and German.
    const std::vector<int> info = {0x8F, 0, 4, 0, 0, 1, 2, 0, 2, 2, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<int>(size, size + 16), info);
    EXPECT_EQ(std::vector<int>(size + 18 + 11, size + 18 + 14), (std::vector<int>{3, 6, 5}));
    EXPECT_EQ(std::vector<int>(size + 36 + 8, size + 36 + 11), (std::vector<int>{9, 8, 0}));
    cdio_free(raw);

    cdtext_t* text = cdio_get_cdtext(cdio.get());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 0), "Lieder: Sommer");
    EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 1), "A");
    EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_PERFORMER, 2), "Die Ärzte");
    ASSERT_TRUE(cdtext_select_language(text, CDTEXT_LANGUAGE_GERMAN));
    EXPECT_STREQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 2), "Zwei: Über");
    EXPECT_EQ(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 1), nullptr);
}

// ---- rips ----

struct RipCase {
    const char* name;
    bool paranoia;
    size_t track;  // index into the disc's tracks
};

void PrintTo(const RipCase& c, std::ostream* os) { *os << c.name; }

class Rip : public DriveTest, public ::testing::WithParamInterface<RipCase> {};

TEST_P(Rip, EqualsTheImage)
{
    const std::string tray = OneDrive();
    const size_t t = GetParam().track;
    const int32_t first = TrackStart(disc_, t), count = disc_.tracks[t].sectors;
    Cdio cdio = Open();
    ASSERT_NE(cdio, nullptr);

    std::vector<uint8_t> got;
    if (!GetParam().paranoia) {
        std::vector<uint8_t> chunk(26 * kSectorBytes);
        for (int32_t lsn = first; lsn < first + count; lsn += 26) {
            const int32_t n = std::min(26, first + count - lsn);
            ASSERT_EQ(cdio_read_audio_sectors(cdio.get(), chunk.data(), lsn, uint32_t(n)), DRIVER_OP_SUCCESS)
                << lsn;
            got.insert(got.end(), chunk.begin(), chunk.begin() + n * kSectorBytes);
        }
    } else {
        cdrom_drive_t* d = cdio_cddap_identify_cdio(cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(cdio_cddap_open(d), 0);
        d->bigendianp = 0;  // paranoia guesses the byte order from noise; a drive gives little-endian
        cdrom_paranoia_t* p = cdio_paranoia_init(d);
        cdio_paranoia_modeset(p, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        cdio_paranoia_seek(p, first, SEEK_SET);
        for (int32_t i = 0; i < count; ++i) {
            const int16_t* sector = cdio_paranoia_read(p, nullptr);
            ASSERT_NE(sector, nullptr);
            const auto* bytes = reinterpret_cast<const uint8_t*>(sector);
            got.insert(got.end(), bytes, bytes + kSectorBytes);
        }
        cdio_paranoia_free(p);
        cdio_cddap_close_no_free_cdio(d);
    }
    const std::vector<uint8_t> want = FileBytes(Bin(tray), first, count);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << "first difference at byte "
                             << std::distance(got.begin(),
                                              std::mismatch(got.begin(), got.end(), want.begin()).first);
}

INSTANTIATE_TEST_SUITE_P(Modes, Rip,
                         ::testing::Values(RipCase{"PlainFirstTrack", false, 0},
                                           RipCase{"PlainLastTrack", false, 2},
                                           RipCase{"ParanoiaFirstTrack", true, 0},
                                           RipCase{"ParanoiaMiddleTrack", true, 1}),
                         [](const ::testing::TestParamInfo<RipCase>& p) { return p.param.name; });

}  // namespace
