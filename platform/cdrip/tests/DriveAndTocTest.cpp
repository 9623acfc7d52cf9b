// Drive table, parameter record and table of contents on virtual drives.
#include "CdRipTestSupport.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace cdriptest;
using discimage::Content;
using discimage::Disc;
using discimage::Track;

namespace {

Disc MixedDisc()
{
    Disc disc;
    disc.firstTrack = 3;
    disc.tracks = {Track{true, 300, Content::Counter}, Track{true, 213, Content::Noise, 440, 7, 32},
                   Track{false, 400, Content::Silence, 440, 1, 150}};
    return disc;
}

Disc ShortDisc()
{
    Disc disc;
    disc.tracks = {Track{true, 120, Content::Sine}};
    return disc;
}

int32_t DiscStatus()
{
    int32_t status = -1;
    EXPECT_EQ(CR_GetDiscStatus(&status), CDRIP_OK);
    return status;
}

void ExpectTocOf(const Disc& disc)
{
    ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    const int32_t n = CR_GetNumTocEntries();
    ASSERT_EQ(n, static_cast<int32_t>(disc.tracks.size()));
    for (int32_t i = 0; i < n; ++i) {
        const TTocEntry entry = CR_GetTocEntry(i);
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(entry.StartSector, discimage::TrackStart(disc, static_cast<size_t>(i)));
        EXPECT_EQ(entry.Flags, disc.tracks[static_cast<size_t>(i)].audio ? 0x10 : 0x14);
        EXPECT_EQ(entry.TrackNumber, disc.firstTrack + i);
    }
    EXPECT_EQ(CR_GetTocEntry(n).StartSector, discimage::LeadOut(disc));
    EXPECT_EQ(DiscStatus(), CDRIP_DISC_READY);
}


class CdRipDriveNumber : public ::testing::TestWithParam<int32_t> {};

TEST_P(CdRipDriveNumber, OutsideTheTableIsRefusedAndChangesNothing)
{
    ScratchDir dir;
    const int32_t first = UseTrays({dir.File("a.cue"), dir.File("b.cue")});
    const int32_t count = first + 2;
    ASSERT_EQ(CR_SetActiveCDROM(first + 1), CDRIP_OK);
    const int32_t bad = GetParam() == -2 ? count : GetParam();
    EXPECT_EQ(CR_SetActiveCDROM(bad), CDRIP_ERROR);
    EXPECT_EQ(CR_GetActiveCDROM(), first + 1);
}

INSTANTIATE_TEST_SUITE_P(BadNumbers, CdRipDriveNumber,
                         ::testing::Values(-1, 256, INT32_MIN, -2 /* the drive count */), [](const auto& p) {
                             return p.param == -2 ? std::string("DriveCount")
                                    : p.param < 0 ? "Minus" + std::to_string(-static_cast<int64_t>(p.param))
                                                  : std::to_string(p.param);
                         });

TEST(CdRipToc, MatchesTheImageWithDataTrackAndFirstTrackThree)
{
    ScratchDir dir;
    const Disc disc = MixedDisc();
    discimage::WriteImage(disc, dir.File("mixed.cue"));
    UseTrays({dir.File("mixed.cue")});
    ExpectTocOf(disc);
    // The audio before the data track ends before the data's pregap.
    int32_t last = 0;
    ASSERT_EQ(CR_GetTrackLastSector(1, &last), CDRIP_OK);
    EXPECT_EQ(last, discimage::TrackEnd(disc, 1));
    EXPECT_EQ(CR_GetTrackLastSector(3, &last), CDRIP_ERROR);
}

TEST(CdRipToc, MissingImageIsNoDiscAndAnUnreadableOneToo)
{
    ScratchDir dir;
    {
        std::ofstream junk(dir.File("junk.cue"));
        junk << "this is not a cue sheet\n";
    }
    const int32_t first = UseTrays({dir.File("absent.cue"), dir.File("junk.cue")});
    EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
    EXPECT_EQ(CR_GetNumTocEntries(), 0);
    EXPECT_EQ(DiscStatus(), CDRIP_DISC_NONE);
    ASSERT_EQ(CR_SetActiveCDROM(first + 1), CDRIP_OK);
    EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
    EXPECT_EQ(DiscStatus(), CDRIP_DISC_UNREADABLE);
}

enum class Swap { ReplaceFile, RepointSymlink };

class CdRipTray : public ::testing::TestWithParam<Swap> {};

// The tray is read again on every CR_ReadToc: inserting, changing and
// removing the disc all show at the next read.
TEST_P(CdRipTray, ChangingTheDiscShowsAtTheNextRead)
{
    ScratchDir dir;
    const std::string tray = dir.File("tray.cue");
    UseTrays({tray});
    EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);

    const Disc first = MixedDisc();
    const Disc second = ShortDisc();
    auto insert = [&](const Disc& disc, const std::string& stem) {
        if (GetParam() == Swap::ReplaceFile) {
            discimage::WriteImage(disc, tray);
        } else {
            discimage::WriteImage(disc, dir.File(stem + ".cue"));
            std::filesystem::remove(tray);
            std::filesystem::create_symlink(dir.File(stem + ".cue"), tray);
        }
    };
    insert(first, "first");
    ExpectTocOf(first);
    insert(second, "second");
    ExpectTocOf(second);
    std::filesystem::remove(tray);
    EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
}

INSTANTIATE_TEST_SUITE_P(Both, CdRipTray, ::testing::Values(Swap::ReplaceFile, Swap::RepointSymlink),
                         [](const auto& p) {
                             return p.param == Swap::ReplaceFile ? "ReplaceFile" : "RepointSymlink";
                         });

TEST(CdRipParameters, FilledForAVirtualDriveAndOtherBytesLeftAlone)
{
    ScratchDir dir;
    UseTrays({dir.File("my-disc.cue")});
    TCDRomParameters params;
    std::memset(&params, 0xAB, sizeof params);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);

    const size_t length = strnlen(params.CDROMID, sizeof params.CDROMID);
    ASSERT_LT(length, sizeof params.CDROMID);
    EXPECT_NE(std::string(params.CDROMID).find("my-disc.cue"), std::string::npos);
    EXPECT_EQ(params.JitterCorrection, -1);
    EXPECT_EQ(CR_ParamOutputFormat(&params), STEREO44100);
    for (size_t i = length + 1; i < sizeof params.CDROMID; ++i)
        ASSERT_EQ(params.CDROMID[i], 0) << "identification padded with zeros";
    const auto* bytes = reinterpret_cast<const uint8_t*>(&params);
    for (size_t offset : {256u, 275u, 280u, 283u, 288u, 291u, 320u, 326u, 331u, 339u})
        EXPECT_EQ(bytes[offset], 0xAB) << "byte " << offset;
}

TEST(CdRipParameters, KeptPerDriveAndBadFormatRefused)
{
    ScratchDir dir;
    const int32_t first = UseTrays({dir.File("a.cue"), dir.File("b.cue")});
    SetFormat(MONO22050, false);

    TCDRomParameters params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);
    CR_SetParamOutputFormat(&params, 6);
    params.JitterCorrection = -1;
    EXPECT_EQ(CR_SetCDROMParameters(&params), CDRIP_ERROR);
    CR_SetParamOutputFormat(&params, -1);
    EXPECT_EQ(CR_SetCDROMParameters(&params), CDRIP_ERROR);

    ASSERT_EQ(CR_SetActiveCDROM(first + 1), CDRIP_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);
    EXPECT_EQ(CR_ParamOutputFormat(&params), STEREO44100);
    EXPECT_EQ(params.JitterCorrection, -1);

    ASSERT_EQ(CR_SetActiveCDROM(first), CDRIP_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);
    EXPECT_EQ(CR_ParamOutputFormat(&params), MONO22050);
    EXPECT_EQ(params.JitterCorrection, 0);
}

// Everything libcdio and paranoia might say goes to our log handler, which
// keeps quiet unless CDRIP_DEBUG asks for it.
TEST(CdRipQuiet, NothingReachesStdoutOrStderr)
{
    ScratchDir dir;
    const Disc disc = MixedDisc();
    discimage::WriteImage(disc, dir.File("mixed.cue"));
    {
        std::ofstream junk(dir.File("junk.cue"));
        junk << "FILE \"nothing.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 99:99:99\n";
    }
    // A cue sheet whose bin is missing makes libcdio complain.
    discimage::WriteImage(ShortDisc(), dir.File("nobin.cue"));
    std::filesystem::remove(dir.File("nobin.bin"));
    ::unsetenv("CDRIP_DEBUG");
    std::fflush(stdout);
    std::fflush(stderr);
    const std::string capture = dir.File("captured.txt");
    const int sink = ::open(capture.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(sink, 0);
    const int savedOut = ::dup(1);
    const int savedErr = ::dup(2);
    ::dup2(sink, 1);
    ::dup2(sink, 2);

    const int32_t first = UseTrays({dir.File("absent.cue"), dir.File("junk.cue"), dir.File("mixed.cue"),
                                    "/dev/null", dir.File("nobin.cue")});
    for (int32_t drive = first; drive < first + 5; ++drive) {
        CR_SetActiveCDROM(drive);
        TCDRomParameters params{};
        CR_GetCDROMParameters(&params);
        CR_ReadToc();
        SetFormat(STEREO22050, true);
        Rip(discimage::TrackStart(disc, 0), discimage::TrackEnd(disc, 1));
        Rip(discimage::TrackStart(disc, 2), discimage::TrackEnd(disc, 2));
    }

    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    ::close(sink);
    EXPECT_EQ(std::filesystem::file_size(capture), 0u);
}

}  // namespace
