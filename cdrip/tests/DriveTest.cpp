// TCDRIP's drives, parameter record and table of contents against a scripted library.
#include "Scripted.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using scripted::CdRip;
using scripted::Toc;
using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

// The packed field by value: gtest would bind a reference to it.
int32_t Jitter(const TCDRIP& r) { return r.Parameters().JitterCorrection; }

class DriveTest : public testing::Test {
protected:
    DriveTest()
    {
        cd.active = 0;
        cd.drives[0].params = scripted::Params("DRIVE ZERO", 24, MONO22050, 0, 100);
        cd.drives[0].toc = Toc({0, 1000, 2500});
        cd.drives[1].params = scripted::Params("DRIVE ONE", 8, STEREO11025, 0, 200);
        cd.drives[1].toc = Toc({150, 400, 900, 1600});
    }

    std::unique_ptr<TCDRIP> Make() { return std::make_unique<TCDRIP>(cd.Api()); }

    static std::vector<std::string> Names(const TCDRIP& r)
    {
        std::vector<std::string> names;
        for (int32_t i = 0; i < r.Tracks().Count(); ++i)
            names.push_back(r.Tracks().Name(i));
        return names;
    }

    CdRip cd;
    scripted::LameEnc lameLib;
};

TEST_F(DriveTest, ConstructionAsksTheLibraryInOrderAndMirrorsTheRecord)
{
    auto r = Make();
    EXPECT_THAT(cd.log,
                ElementsAre("GetCDRipVersion", "Init", "GetCDROMParameters", "GetActiveCDROM", "ReadToc",
                            "GetNumTocEntries", "GetTocEntry 0", "GetTocEntry 1", "GetTrackLastSector 0",
                            "GetTocEntry 1", "GetTocEntry 2", "GetTrackLastSector 1"));
    EXPECT_EQ(r->Version(), "111");
    EXPECT_EQ(r->CDRomName(), "DRIVE ZERO");
    EXPECT_EQ(r->CDRomNum(), 0);
    EXPECT_EQ(r->Speed(), 24);
    EXPECT_EQ(r->OutputFormat(), MONO22050);
    EXPECT_EQ(r->DriveTable().DriveType, 100);
    EXPECT_EQ(r->DriveTable().EnableMode, 104);
    EXPECT_EQ(r->DriveTable().Atapi, 106);
    EXPECT_TRUE(r->JitterCorrect());
    EXPECT_EQ(Jitter(*r), -1);
    EXPECT_EQ(r->TrackCount(), 2);
    EXPECT_EQ(r->JitterErrorCount(), 0);
    // Bytes the component does not own come back as the library wrote them.
    EXPECT_EQ(r->Parameters().Reserved4[0], 0xA5);
}

TEST_F(DriveTest, UnknownFormatByteIsTakenAsTheFirstFormatAndKeptInTheRecord)
{
    CR_SetParamOutputFormat(&cd.drives[0].params, 0x0109);
    auto r = Make();
    EXPECT_EQ(r->OutputFormat(), STEREO44100);
    EXPECT_EQ(CR_ParamOutputFormat(&r->Parameters()), 0x0109);
}

TEST_F(DriveTest, NegativeVersionIsShownSigned)
{
    cd.version = -5;
    EXPECT_EQ(Make()->Version(), "-5");
}

TEST_F(DriveTest, FailedInitLeavesAnEmptyComponent)
{
    cd.initResult = CDRIP_ERROR;
    auto r = Make();
    EXPECT_THAT(cd.log, ElementsAre("GetCDRipVersion", "Init"));
    EXPECT_EQ(r->Tracks().Count(), 0);
    EXPECT_EQ(r->TrackCount(), 0);
    EXPECT_EQ(r->CDRomName(), "");
    EXPECT_FALSE(r->JitterCorrect());
    EXPECT_EQ(r->DriveTable().Density, 0);
    EXPECT_EQ(r->DriveTable().DriveType, GENERIC);
}

TEST_F(DriveTest, FailedParameterReadStillReadsTheTableOfContents)
{
    cd.drives[0].paramsResult = CDRIP_ERROR;
    auto r = Make();
    EXPECT_EQ(cd.Count("GetActiveCDROM"), 0);
    EXPECT_EQ(r->CDRomName(), "");
    EXPECT_FALSE(r->JitterCorrect());
    EXPECT_EQ(r->DriveTable().Density, 0);
    EXPECT_EQ(r->OutputFormat(), STEREO44100);
    EXPECT_THAT(Names(*r), ElementsAre("Track01", "Track02"));
}

TEST_F(DriveTest, FailedTocReadGivesNoTracks)
{
    cd.drives[0].tocResult = CDRIP_ERROR;
    auto r = Make();
    EXPECT_EQ(cd.Count("GetNumTocEntries"), 0);
    EXPECT_EQ(r->Tracks().Count(), 0);
    EXPECT_EQ(r->TrackCount(), 0);
}

class ConstructionThrowTest : public DriveTest, public testing::WithParamInterface<const char*> {};

TEST_P(ConstructionThrowTest, AnyExceptionBecomesInitializationFailure)
{
    cd.throwIn = GetParam();
    try {
        Make();
        FAIL() << "no exception";
    } catch (const ECDRIPError& e) {
        EXPECT_STREQ(e.what(), "Initialization failure");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, ConstructionThrowTest,
                         testing::Values("GetCDRipVersion", "Init", "GetCDROMParameters", "GetActiveCDROM",
                                         "ReadToc", "GetNumTocEntries", "GetTocEntry", "GetTrackLastSector"),
                         [](const auto& p) { return std::string(p.param); });

TEST_F(DriveTest, AssigningTheCurrentDriveReadsNothing)
{
    auto r = Make();
    cd.log.clear();
    r->SetCDRomNum(0);
    EXPECT_TRUE(cd.log.empty());
    EXPECT_EQ(r->Tracks().Count(), 2);
}

TEST_F(DriveTest, AssigningAnotherDriveSwitchesAndAppendsItsTracks)
{
    auto r = Make();
    r->SetJitterCorrect(false);
    cd.log.clear();
    r->SetCDRomNum(1);
    EXPECT_THAT(cd.log, ElementsAre("SetActiveCDROM 1", "GetCDROMParameters", "ReadToc", "GetNumTocEntries",
                                    "GetTocEntry 0", "GetTocEntry 1", "GetTrackLastSector 0", "GetTocEntry 1",
                                    "GetTocEntry 2", "GetTrackLastSector 1", "GetTocEntry 2", "GetTocEntry 3",
                                    "GetTrackLastSector 2"));
    EXPECT_EQ(r->CDRomNum(), 1);
    EXPECT_EQ(r->CDRomName(), "DRIVE ONE");
    EXPECT_EQ(r->Speed(), 8);
    EXPECT_EQ(r->OutputFormat(), STEREO11025);
    EXPECT_EQ(r->DriveTable().DriveType, 200);
    EXPECT_FALSE(r->JitterCorrect());  // untouched
    EXPECT_EQ(Jitter(*r), 0);          // the library's value for drive 1
    EXPECT_EQ(r->TrackCount(), 3);
    EXPECT_THAT(Names(*r), ElementsAre("Track01", "Track02", "Track01", "Track02", "Track03"));
    EXPECT_EQ(r->Tracks().Object(2)->StartSector, 150);
}

TEST_F(DriveTest, RejectedSwitchKeepsTheDriveAndReadsTheActiveOne)
{
    auto r = Make();
    r->Tracks().Clear();
    r->SetCDRomNum(256);
    EXPECT_EQ(r->CDRomNum(), 0);
    EXPECT_EQ(cd.Count("GetCDROMParameters"), 1);  // only the constructor's
    EXPECT_THAT(Names(*r), ElementsAre("Track01", "Track02"));
}

TEST_F(DriveTest, UnreadableParametersKeepTheNumberButTheNewDiscIsRead)
{
    cd.drives[1].paramsResult = CDRIP_ERROR;
    auto r = Make();
    r->Tracks().Clear();
    r->SetCDRomNum(1);
    EXPECT_EQ(r->CDRomNum(), 0);
    EXPECT_EQ(r->CDRomName(), "DRIVE ZERO");
    EXPECT_EQ(r->TrackCount(), 3);
    EXPECT_EQ(r->Tracks().Object(0)->StartSector, 150);
}

TEST_F(DriveTest, FailedTocReadKeepsTrackCountAndTracks)
{
    cd.drives[1].tocResult = CDRIP_ERROR;
    auto r = Make();
    r->SetCDRomNum(1);
    EXPECT_EQ(r->CDRomNum(), 1);
    EXPECT_EQ(r->TrackCount(), 2);
    EXPECT_THAT(Names(*r), ElementsAre("Track01", "Track02"));
}

class AssignThrowTest : public DriveTest, public testing::WithParamInterface<const char*> {};

TEST_P(AssignThrowTest, AnyExceptionBecomesInitializationFailureAndEarlierStepsStay)
{
    auto r = Make();
    cd.throwIn = GetParam();
    EXPECT_THROW(
        try { r->SetCDRomNum(1); } catch (const ECDRIPError& e) {
            EXPECT_STREQ(e.what(), "Initialization failure");
            throw;
        },
        ECDRIPError);
    const bool switched = cd.throwIn != "SetActiveCDROM" && cd.throwIn != "GetCDROMParameters";
    EXPECT_EQ(r->CDRomNum(), switched ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, AssignThrowTest,
                         testing::Values("SetActiveCDROM", "GetCDROMParameters", "ReadToc",
                                         "GetNumTocEntries", "GetTocEntry", "GetTrackLastSector"),
                         [](const auto& p) { return std::string(p.param); });

TEST_F(DriveTest, RereadDriveReadsTheCurrentDriveAfresh)
{
    auto r = Make();
    cd.drives[0].params = scripted::Params("NEW DISC", 4, STEREO44100, -1, 0);
    cd.drives[0].toc = Toc({0, 10, 20, 30, 40});
    r->Tracks().Clear();
    cd.log.clear();
    EXPECT_TRUE(r->RereadDrive(0));
    EXPECT_EQ(cd.log.front(), "SetActiveCDROM 0");
    EXPECT_EQ(r->CDRomName(), "NEW DISC");
    EXPECT_EQ(r->TrackCount(), 4);
    EXPECT_THAT(Names(*r), ElementsAre("Track01", "Track02", "Track03", "Track04"));
}

TEST_F(DriveTest, RereadDriveOfAnEmptyTrayLeavesTheClearedListEmpty)
{
    auto r = Make();
    cd.drives[0].tocResult = CDRIP_ERROR;
    r->Tracks().Clear();
    EXPECT_TRUE(r->RereadDrive(0));
    EXPECT_EQ(r->Tracks().Count(), 0);
    EXPECT_EQ(r->CDRomNum(), 0);
}

TEST_F(DriveTest, RereadDriveTellsWhetherTheDriveWasSelected)
{
    auto r = Make();
    EXPECT_FALSE(r->RereadDrive(5));
    cd.drives[1].paramsResult = CDRIP_ERROR;
    EXPECT_FALSE(r->RereadDrive(1));
    EXPECT_EQ(r->CDRomNum(), 0);
}

TEST_F(DriveTest, RereadDriveWrapsExceptions)
{
    auto r = Make();
    cd.throwIn = "ReadToc";
    EXPECT_THROW(r->RereadDrive(0), ECDRIPError);
}

// ---- track list ----

class TrackNameTest : public DriveTest, public testing::WithParamInterface<int> {};

TEST_P(TrackNameTest, NamesCountFromTrack01)
{
    const int n = GetParam();
    std::vector<int32_t> starts;
    for (int i = 0; i <= n; ++i)
        starts.push_back(i * 100);
    cd.drives[0].toc = Toc(starts);
    auto r = Make();
    ASSERT_EQ(r->Tracks().Count(), n);
    const TTrack* last = r->Tracks().Object(n - 1);
    EXPECT_EQ(r->Tracks().Name(n - 1), "Track" + (n < 10 ? "0" + std::to_string(n) : std::to_string(n)));
    EXPECT_EQ(last->TrackNumber, n);
    EXPECT_EQ(last->StartSector, (n - 1) * 100);
    EXPECT_EQ(last->EndSector, n * 100 - 1);  // lead-out entry minus 1
    EXPECT_EQ(r->Tracks().Name(0), "Track01");
}

INSTANTIATE_TEST_SUITE_P(Counts, TrackNameTest, testing::Values(1, 9, 10, 12, 99, 100),
                         [](const auto& p) { return "Track" + std::to_string(p.param); });

TEST(PadTrackNumber, TwoDigitsAtLeast)
{
    EXPECT_EQ(PadTrackNumber(0), "00");
    EXPECT_EQ(PadTrackNumber(7), "07");
    EXPECT_EQ(PadTrackNumber(12), "12");
    EXPECT_EQ(PadTrackNumber(100), "100");
    EXPECT_EQ(PadTrackNumber(65535), "65535");
}

class TrackKindTest : public DriveTest,
                      public testing::WithParamInterface<std::pair<uint8_t, const char*>> {};

TEST_P(TrackKindTest, OnlyFlags0x10IsAudio)
{
    cd.drives[0].toc = Toc({0, 500}, GetParam().first);
    EXPECT_EQ(Make()->Tracks().Object(0)->Kind, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Flags, TrackKindTest,
                         testing::Values(std::make_pair(uint8_t{0x10}, "Audio"),
                                         std::make_pair(uint8_t{0x14}, "Data"),
                                         std::make_pair(uint8_t{0x00}, "Data"),
                                         std::make_pair(uint8_t{0x11}, "Data"),
                                         std::make_pair(uint8_t{0x90}, "Data")),
                         [](const auto& p) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Flags%02X", p.param.first);
                             return std::string(name);
                         });

// A CD-Extra's last audio track ends where its audio does, 11,400 sectors
// before the second session; an end the library puts after the next start
// changes nothing.
TEST_F(DriveTest, TrackEndsAtTheLibrarysLastSectorWhenThatComesFirst)
{
    cd.drives[0].toc = Toc({0, 300, 12150, 14000});
    cd.drives[0].lastSectors = {400, 749, 13999};
    auto r = Make();
    ASSERT_EQ(r->Tracks().Count(), 3);
    EXPECT_EQ(r->Tracks().Object(0)->EndSector, 299);
    EXPECT_EQ(r->Tracks().Object(1)->EndSector, 749);
    EXPECT_EQ(r->Tracks().Object(2)->EndSector, 13999);
}

// Any 32-bit start sector the library reports is taken without overflow
// (the sanitizer run fails on a signed overflow here).
TEST_F(DriveTest, LeadOutAtTheLowestSectorNumberWrapsRound)
{
    cd.drives[0].toc = Toc({-5, INT32_MIN});
    auto r = Make();
    ASSERT_EQ(r->Tracks().Count(), 1);
    EXPECT_EQ(r->Tracks().Object(0)->StartSector, -5);
    EXPECT_EQ(r->Tracks().Object(0)->EndSector, INT32_MAX);
}

TEST_F(DriveTest, ListIndexOutsideRaisesTheListError)
{
    auto r = Make();
    for (int32_t index : {-1, 2, 100}) {
        try {
            r->Tracks().Object(index);
            FAIL() << index;
        } catch (const rtl::EListError& e) {
            EXPECT_EQ(e.what(), rtl::ListIndexErrorMessage(index));
        }
        EXPECT_THROW(r->Tracks().Name(index), rtl::EListError);
    }
    EXPECT_EQ(r->Tracks().IndexOf("Track02"), 1);
    EXPECT_EQ(r->Tracks().IndexOf("Track03"), -1);
}

// ---- output format, jitter flag, coder ----

class FormatTest : public DriveTest, public testing::WithParamInterface<TOutputFormat> {};

TEST_P(FormatTest, WritesOffset327AndSetsTheCoder)
{
    auto r = Make();
    TLameCoder coder(lameLib.Api());
    r->SetCoder(&coder);
    const TOutputFormat f = GetParam();
    const TCDRomParameters before = r->Parameters();
    r->SetOutputFormat(f);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&r->Parameters());
    const auto* old = reinterpret_cast<const uint8_t*>(&before);
    if (f == MONO22050) {
        EXPECT_EQ(std::memcmp(bytes, old, sizeof before), 0) << "equal value leaves the record alone";
    } else {
        EXPECT_EQ(bytes[327], static_cast<uint8_t>(f));
        EXPECT_EQ(bytes[328], 0);
        EXPECT_EQ(bytes[329], 0);
        EXPECT_EQ(bytes[330], 0);
        EXPECT_EQ(std::memcmp(bytes, old, 327), 0);
        EXPECT_EQ(std::memcmp(bytes + 331, old + 331, sizeof before - 331), 0);
    }
    const TFormatSpec shape = FormatSpec(f);
    EXPECT_EQ(coder.Mode(), shape.Channels == 1 ? TLameMode::MONO : TLameMode::STEREO);
    EXPECT_EQ(coder.SampleRate(), shape.SampleRate);
    EXPECT_EQ(r->OutputFormat(), f);
}

INSTANTIATE_TEST_SUITE_P(AllSix, FormatTest,
                         testing::Values(STEREO44100, MONO44100, STEREO22050, MONO22050, STEREO11025,
                                         MONO11025),
                         [](const auto& p) { return scripted::FormatName(p.param); });

TEST(FormatSpecTable, RatesAndChannels)
{
    const std::vector<std::pair<uint32_t, uint16_t>> expected = {{44100, 2}, {44100, 1}, {22050, 2},
                                                                 {22050, 1}, {11025, 2}, {11025, 1}};
    for (int f = 0; f < 6; ++f) {
        const TFormatSpec s = FormatSpec(static_cast<TOutputFormat>(f));
        EXPECT_EQ(s.SampleRate, expected[static_cast<size_t>(f)].first) << f;
        EXPECT_EQ(s.Channels, expected[static_cast<size_t>(f)].second) << f;
    }
}

TEST_F(DriveTest, DriveSelectionDoesNotTouchTheCoder)
{
    auto r = Make();
    TLameCoder coder(lameLib.Api());
    r->SetCoder(&coder);  // MONO22050
    r->SetCDRomNum(1);    // the drive reports STEREO11025
    EXPECT_EQ(r->OutputFormat(), STEREO11025);
    EXPECT_EQ(coder.SampleRate(), 22050u);
    EXPECT_EQ(coder.Mode(), TLameMode::MONO);
}

TEST_F(DriveTest, JitterCorrectWritesTheRecordOnlyOnChange)
{
    auto r = Make();
    r->Parameters().JitterCorrection = 5;
    r->SetJitterCorrect(true);
    EXPECT_EQ(Jitter(*r), 5);
    r->SetJitterCorrect(false);
    EXPECT_EQ(Jitter(*r), 0);
    r->SetJitterCorrect(true);
    EXPECT_EQ(Jitter(*r), -1);
}

TEST_F(DriveTest, ApplyParametersHandsTheRecordOver)
{
    auto r = Make();
    r->SetOutputFormat(STEREO11025);
    EXPECT_TRUE(r->ApplyParameters());
    EXPECT_EQ(std::memcmp(&cd.lastSetParams, &r->Parameters(), sizeof(TCDRomParameters)), 0);
    cd.setParamsResult = CDRIP_ERROR;
    EXPECT_FALSE(r->ApplyParameters());
    cd.setParamsResult = 3;
    EXPECT_TRUE(r->ApplyParameters());
    cd.throwIn = "SetCDROMParameters";
    try {
        r->ApplyParameters();
        FAIL();
    } catch (const ECDRIPError& e) {
        EXPECT_STREQ(e.what(), "Error setting parameters");
    }
}

// ---- stored layout ----

TEST_F(DriveTest, StoredLayoutAssignsInStoredOrderAndTheCoderLast)
{
    cd.version = 222;
    cd.active = 1;
    TLameCoder coder(lameLib.Api());
    int ended = 0;
    int progressed = 0;
    auto r = CreateStoredCDRIP1(
        &coder, [&](void*, uint16_t) { ++ended; }, [&](void*, uint16_t) { ++progressed; }, cd.Api());
    // The constructor read drive 1; the stored CDRomNum 0 selects drive 0.
    EXPECT_EQ(cd.Count("SetActiveCDROM 0"), 1);
    EXPECT_EQ(r->CDRomNum(), 0);
    EXPECT_EQ(r->Tracks().Count(), 5);
    EXPECT_EQ(r->DriveTable().DriveType, GENERIC);
    EXPECT_EQ(r->DriveTable().ReadMethod, READMMC);
    EXPECT_EQ(r->DriveTable().SetSpeed, SPEEDNONE);
    EXPECT_EQ(r->DriveTable().Endian, BIGENDIAN);
    EXPECT_EQ(r->DriveTable().EnableMode, ENABLENONE);
    EXPECT_EQ(r->DriveTable().Density, 16777216);
    EXPECT_NE(r->DriveTable().Atapi, 0);
    EXPECT_TRUE(r->WriteWAV());
    EXPECT_FALSE(r->Encode());
    EXPECT_TRUE(r->JitterCorrect());
    EXPECT_EQ(r->Version(), "111");
    EXPECT_EQ(r->Speed(), 32);
    EXPECT_EQ(r->Coder(), &coder);
    // OutputFormat is not stored: it is drive 0's, and the coder follows it.
    EXPECT_EQ(r->OutputFormat(), MONO22050);
    EXPECT_EQ(coder.Mode(), TLameMode::MONO);
    EXPECT_EQ(coder.SampleRate(), 22050u);
    ASSERT_TRUE(r->OnEndTrack && r->OnProgress);
    EXPECT_FALSE(r->OnBeginTrack);
    r->OnEndTrack(r.get(), 1);
    r->OnProgress(r.get(), 1);
    EXPECT_EQ(ended + progressed, 2);
}

TEST(FileNames, ExtensionAndJitterNames)
{
    EXPECT_EQ(ReplaceExtension("C:\\Audio\\Track03.wav", ".mp3"), "C:\\Audio\\Track03.mp3");
    EXPECT_EQ(ReplaceExtension("/u/a.b/file", ".mp3"), "/u/a.b/file.mp3");
    EXPECT_EQ(ReplaceExtension("C:\\a.b\\file", ".mp3"), "C:\\a.b\\file.mp3");
    EXPECT_EQ(ReplaceExtension("C:file", ".mp3"), "C:file.mp3");
    EXPECT_EQ(ReplaceExtension("x.tar.gz", ".mp3"), "x.tar.mp3");
    EXPECT_EQ(JitterFileName("C:\\Audio\\Track03.wav"), "C:\\Audio\\Track03jitt");
    EXPECT_EQ(JitterFileName("/music/Track03.mp3"), "/music/Track03jitt");
    EXPECT_EQ(JitterFileName("/music/noext"), "/music/noextjitt");
}

}  // namespace
