// The extraction loop and its output files against a scripted library and encoder.
#include "Scripted.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using scripted::Bytes;
using scripted::CdRip;
using scripted::LE16;
using scripted::LE32;
using scripted::Read;
using scripted::ReadFile;
using scripted::Toc;
using testing::ElementsAre;

namespace {

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<uint8_t> Tail(const std::vector<uint8_t>& file, size_t from)
{
    return file.size() < from ? std::vector<uint8_t>{}
                              : std::vector<uint8_t>(file.begin() + from, file.end());
}

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

class RipTest : public testing::Test {
protected:
    RipTest()
    {
        cd.drives[0].params = scripted::Params("D", 1, STEREO44100, -1, 0);
        cd.drives[0].toc = Toc({0, 100, 350});
        cd.readSize = 16;
        ripper = std::make_unique<TCDRIP>(cd.Api(), files);
        ripper->OnBeginTrack = [this](void* s, uint16_t n) {
            events.push_back("begin " + Who(s) + std::to_string(n));
        };
        ripper->OnEndTrack = [this](void* s, uint16_t n) {
            events.push_back("end " + Who(s) + std::to_string(n));
        };
        ripper->OnProgress = [this](void*, uint16_t p) { events.push_back("progress " + std::to_string(p)); };
    }

    std::string Who(void* sender) const { return sender == ripper.get() ? "" : "?"; }

    void Encode(uint32_t samplesPerChunk)
    {
        lameLib.samples = samplesPerChunk;
        ripper->SetCoder(&coder);
        ripper->SetEncode(true);
    }

    int Progress() const
    {
        return static_cast<int>(std::count_if(
            events.begin(), events.end(), [](const std::string& e) { return e.rfind("progress", 0) == 0; }));
    }

    void ExpectError(const std::function<void()>& rip, const std::string& message)
    {
        try {
            rip();
            ADD_FAILURE() << "no exception, expected " << message;
        } catch (const std::exception& e) {
            EXPECT_EQ(e.what(), message);
        }
    }

    CdRip cd;
    scripted::LameEnc lameLib;
    TLameCoder coder{lameLib.Api()};
    scripted::RecordingFiles files;
    scripted::TempDir dir;
    std::unique_ptr<TCDRIP> ripper;
    std::vector<std::string> events;
};

TEST_F(RipTest, RawPcmHoldsExactlyTheDeliveredBytesOfEveryNonFailedRead)
{
    const auto a = Bytes(16, 0), b = Bytes(10, 50), c = Bytes(7, 100), junk = Bytes(16, 200);
    cd.reads = {{0, a}, {CDRIP_ERROR, junk}, {CDRIP_JITTER_ERROR, b}, {CDRIP_RIPPING_DONE, c}};
    cd.log.clear();
    ripper->RipSectors(10, 20, dir.Path("t.raw"));
    EXPECT_EQ(ReadFile(dir.Path("t.raw")), Cat({a, b, c}));
    EXPECT_EQ(Progress(), 4);  // failed reads report progress too
    EXPECT_THAT(cd.log, ElementsAre("SetCDROMParameters", "OpenRipper 10 20", "RipChunk",
                                    "GetPercentCompleted", "RipChunk", "GetPercentCompleted", "RipChunk",
                                    "GetLastJitterErrorPosition", "GetPercentCompleted", "RipChunk",
                                    "GetPercentCompleted", "GetNumberOfJitterErrors", "CloseRipper"));
}

TEST_F(RipTest, ReadsGoOnWhileNoneReportsDone)
{
    for (int i = 0; i < 30; ++i)
        cd.reads.push_back({i % 2 ? 0 : CDRIP_JITTER_ERROR, Bytes(2, static_cast<uint8_t>(i))});
    cd.reads.push_back({CDRIP_RIPPING_DONE, {}});
    ripper->RipSectors(0, 1, dir.Path("t.raw"));
    EXPECT_EQ(ReadFile(dir.Path("t.raw")).size(), 60u);
    EXPECT_EQ(ripper->JitterPositions().size(), 15u);
}

TEST_F(RipTest, EventsAndPumpFollowEveryReadInOrder)
{
    std::vector<std::string> order;
    cd.reads = {{0, Bytes(4, 0)}, {CDRIP_RIPPING_DONE, Bytes(4, 4)}};
    cd.percent = 42;
    ripper->OnProgress = [&](void*, uint16_t p) { order.push_back("progress " + std::to_string(p)); };
    ripper->ProcessMessages = [&] { order.push_back("pump after " + std::to_string(cd.Count("RipChunk"))); };
    ripper->RipTrack(2, dir.Path("t.raw"));
    EXPECT_THAT(order, ElementsAre("progress 42", "pump after 1", "progress 42", "pump after 2"));
    EXPECT_THAT(events, ElementsAre("begin 2", "end 2"));
    EXPECT_EQ(cd.Count("OpenRipper 100 349"), 1);
}

TEST_F(RipTest, NoHandlersNoPercentQuery)
{
    ripper->OnProgress = nullptr;
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    ripper->RipSectors(0, 1, dir.Path("t.raw"));
    EXPECT_EQ(cd.Count("GetPercentCompleted"), 0);
}

// ---- WAV header ----

struct WavCase {
    TOutputFormat format;
    int32_t sectors;
};

class WavHeaderTest : public RipTest, public testing::WithParamInterface<WavCase> {};

TEST_P(WavHeaderTest, HeaderStartsWithTheFullRangeAndEndsWithTheTrueSize)
{
    const WavCase c = GetParam();
    const TFormatSpec shape = FormatSpec(c.format);
    const uint32_t perSector = 2352u * shape.SampleRate / 44100 * shape.Channels / 2;
    ripper->SetOutputFormat(c.format);
    ripper->SetWriteWAV(true);
    const auto pcm = Bytes(12, 1);
    cd.reads = {{CDRIP_RIPPING_DONE, pcm}};
    ripper->RipSectors(500, 500 + c.sectors - 1, dir.Path("t.wav"));

    ASSERT_GE(files.ops.size(), 1u);
    const std::vector<uint8_t>& first = files.ops.front().bytes;
    ASSERT_EQ(first.size(), 44u);
    EXPECT_EQ(Text({first.begin(), first.begin() + 4}), "RIFF");
    EXPECT_EQ(Text({first.begin() + 8, first.begin() + 16}), "WAVEfmt ");
    EXPECT_EQ(Text({first.begin() + 36, first.begin() + 40}), "data");
    EXPECT_EQ(LE32(first, 40), perSector * static_cast<uint32_t>(c.sectors));
    EXPECT_EQ(LE32(first, 4), LE32(first, 40) + 36);
    EXPECT_EQ(LE32(first, 16), 16u);
    EXPECT_EQ(LE16(first, 20), 1u);
    EXPECT_EQ(LE16(first, 22), shape.Channels);
    EXPECT_EQ(LE32(first, 24), shape.SampleRate);
    EXPECT_EQ(LE32(first, 28), shape.SampleRate * shape.Channels * 2);
    EXPECT_EQ(LE16(first, 32), shape.Channels * 2);
    EXPECT_EQ(LE16(first, 34), 16u);

    const auto file = ReadFile(dir.Path("t.wav"));
    ASSERT_EQ(file.size(), 44u + pcm.size());
    EXPECT_EQ(LE32(file, 40), pcm.size());
    EXPECT_EQ(LE32(file, 4), pcm.size() + 36);
    EXPECT_EQ(Tail(file, 44), pcm);
}

INSTANTIATE_TEST_SUITE_P(FormatsAndLengths, WavHeaderTest,
                         testing::Values(WavCase{STEREO44100, 1}, WavCase{STEREO44100, 101},
                                         WavCase{MONO44100, 1}, WavCase{STEREO22050, 75},
                                         WavCase{MONO22050, 3}, WavCase{STEREO11025, 7},
                                         WavCase{MONO11025, 1000}, WavCase{STEREO44100, 0}),
                         [](const auto& p) {
                             return scripted::FormatName(p.param.format) + "_" +
                                    std::to_string(p.param.sectors) + "Sectors";
                         });

// A complete rip's header is true as first written, so an output that cannot
// seek (a pipe) still takes a whole WAV; a short one cannot be mended there.
TEST_F(RipTest, CompleteWavNeedsNoSeekButAShortOneDoes)
{
    files.seekable = false;
    ripper->SetWriteWAV(true);
    cd.readSize = 2352;
    const auto pcm = Bytes(2352, 7);
    cd.reads = {{CDRIP_RIPPING_DONE, pcm}};
    ripper->RipSectors(7, 7, dir.Path("t.wav"));
    const auto file = ReadFile(dir.Path("t.wav"));
    ASSERT_EQ(file.size(), 44u + pcm.size());
    EXPECT_EQ(LE32(file, 40), pcm.size());
    EXPECT_EQ(LE32(file, 4), pcm.size() + 36);
    EXPECT_EQ(Tail(file, 44), pcm);

    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(100, 0)}};
    ExpectError([&] { ripper->RipSectors(7, 7, dir.Path("u.wav")); }, "Write error");
    EXPECT_FALSE(scripted::FileExists(dir.Path("u.wav")));
}

// A range too long for a WAV gives the largest sizes the header can hold,
// not a RIFF size that wrapped around.
TEST_F(RipTest, HugeRangeCapsTheHeaderSizesWithoutWrapping)
{
    ripper->SetWriteWAV(true);
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(12, 1)}};
    files.seekable = false;  // the short data cannot be mended: a write error
    EXPECT_THROW(ripper->RipSectors(-5, INT32_MAX, dir.Path("t.wav")), ECDRIPError);
    ASSERT_FALSE(files.ops.empty());
    const std::vector<uint8_t>& header = files.ops.front().bytes;
    ASSERT_EQ(header.size(), 44u);
    EXPECT_EQ(LE32(header, 4), UINT32_MAX);
    EXPECT_EQ(LE32(header, 40), UINT32_MAX - 36);
}

// Data shorter than the range and of odd size: the LIST chunk follows the
// data's pad byte, and both sizes are mended to cover what was written.
TEST_F(RipTest, TitledWavShorterThanItsRangeKeepsItsChunkFindable)
{
    ripper->SetWriteWAV(true);
    ripper->Tracks().Object(1)->Title = "Zwei";
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(13, 1)}};
    ripper->RipTrack(2, dir.Path("t.wav"));
    const auto file = ReadFile(dir.Path("t.wav"));
    ASSERT_GT(file.size(), 58u);
    EXPECT_EQ(LE32(file, 40), 13u);
    EXPECT_EQ(file[57], 0) << "pad byte";
    EXPECT_EQ(LE32(file, 4), file.size() - 8);
    const scripted::RiffWalk walk = scripted::WalkRiff(file);
    EXPECT_TRUE(walk.EndsAtFileEnd);
    EXPECT_EQ(walk.Info, (scripted::Texts{{"INAM", "Zwei"}, {"ITRK", "2"}}));
}

TEST_F(RipTest, AbortInTheFirstPumpEndsBeforeTheSecondRead)
{
    ripper->SetWriteWAV(true);
    const auto a = Bytes(16, 3);
    cd.reads = {{0, a}, {0, Bytes(16, 9)}, {CDRIP_RIPPING_DONE, Bytes(16, 9)}};
    ripper->ProcessMessages = [this] { ripper->Abort(); };
    ripper->RipTrack(1, dir.Path("t.wav"));
    EXPECT_EQ(cd.Count("RipChunk"), 1);
    EXPECT_TRUE(ripper->Aborted());
    EXPECT_THAT(events, ElementsAre("begin 1", "progress 0", "end 1"));
    ASSERT_EQ(files.ops.size(), 2u);  // header and the first read, under a temporary name
    EXPECT_EQ(files.ops[1].bytes, a);
    EXPECT_TRUE(files.committed.empty());
    EXPECT_TRUE(scripted::FolderNames(dir.Root()).empty());
    EXPECT_EQ(cd.log.back(), "CloseRipper");
}

TEST_F(RipTest, AbortBetweenRipsDoesNotStopTheNext)
{
    ripper->Abort();
    cd.reads = {{0, Bytes(4, 0)}, {CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    ripper->RipSectors(0, 1, dir.Path("t.raw"));
    EXPECT_EQ(cd.Count("RipChunk"), 2);
    EXPECT_FALSE(ripper->Aborted());
}

// ---- encoding ----

TEST_F(RipTest, EncoderGetsWholeChunksAndTheRemainderIsCarriedThenDropped)
{
    Encode(4);  // 8 bytes per chunk
    const auto a = Bytes(5, 0), b = Bytes(13, 5), c = Bytes(7, 18);
    cd.reads = {{0, a}, {CDRIP_ERROR, Bytes(16, 0xEE)}, {0, b}, {CDRIP_RIPPING_DONE, c}};
    ripper->RipTrack(1, dir.Path("t.wav"));
    EXPECT_FALSE(scripted::FileExists(dir.Path("t.wav")));
    const auto mp3 = ReadFile(dir.Path("t.mp3"));
    // 25 PCM bytes: three chunks encoded (24 bytes), the last byte dropped.
    const auto pcm = Bytes(24, 0);
    EXPECT_EQ(mp3, Cat({pcm, {'F', 'L', 'U', 'S', 'H'}}));
    EXPECT_THAT(lameLib.log, ElementsAre("Version", "InitStream", "EncodeChunk 4", "EncodeChunk 4",
                                         "EncodeChunk 4", "DeinitStream", "CloseStream"));
}

TEST_F(RipTest, EncodingWithAChunkLargerThanAReadCarriesAcrossManyReads)
{
    Encode(20);  // 40 bytes per chunk, reads of at most 16
    std::vector<uint8_t> all;
    for (int i = 0; i < 9; ++i) {
        const auto part = Bytes(16, static_cast<uint8_t>(i * 16));
        all.insert(all.end(), part.begin(), part.end());
        cd.reads.push_back({i == 8 ? CDRIP_RIPPING_DONE : 0, part});
    }
    ripper->RipSectors(0, 10, dir.Path("t"));
    const auto mp3 = ReadFile(dir.Path("t.mp3"));
    ASSERT_EQ(mp3.size(), 3u * 40 + 5);  // 144 bytes: three chunks, 24 dropped
    EXPECT_EQ(std::vector<uint8_t>(mp3.begin(), mp3.begin() + 120),
              std::vector<uint8_t>(all.begin(), all.begin() + 120));
}

TEST_F(RipTest, AbortedMp3IsStillFlushedAndClosed)
{
    Encode(4);
    cd.reads = {{0, Bytes(16, 0)}, {CDRIP_RIPPING_DONE, Bytes(16, 0)}};
    ripper->ProcessMessages = [this] { ripper->Abort(); };
    ripper->RipSectors(0, 10, dir.Path("t.mp3"));
    EXPECT_THAT(lameLib.log, ElementsAre("Version", "InitStream", "EncodeChunk 4", "EncodeChunk 4",
                                         "DeinitStream", "CloseStream"));
}

// ---- jitter ----

TEST_F(RipTest, JitterLinesCollectAcrossRipsAndTheFileRepeatsThem)
{
    cd.jitterFirst = 1532;
    cd.jitterLast = 1540;
    cd.jitterCount = 1;
    cd.reads = {{CDRIP_JITTER_ERROR, Bytes(4, 0)}, {CDRIP_RIPPING_DONE, {}}};
    ripper->RipSectors(0, 10, dir.Path("a.wav"));
    EXPECT_EQ(Text(ReadFile(dir.Path("ajitt"))), "1532 1540\r\n");
    EXPECT_EQ(ripper->JitterErrorCount(), 1);

    cd.jitterFirst = -1;  // shown unsigned
    cd.jitterLast = 7;
    cd.jitterCount = 2;
    cd.reads = {{CDRIP_JITTER_ERROR, {}}, {CDRIP_RIPPING_DONE, {}}};
    ripper->SetEncode(true);
    ripper->SetCoder(&coder);
    ripper->RipSectors(0, 10, dir.Path("b.wav"));
    EXPECT_TRUE(scripted::FileExists(dir.Path("b.mp3")));
    EXPECT_EQ(Text(ReadFile(dir.Path("bjitt"))), "1532 1540\r\n4294967295 7\r\n");
    EXPECT_EQ(ripper->JitterErrorCount(), 2);
}

TEST_F(RipTest, NoJitterNoJitterFile)
{
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(4, 0)}};
    ripper->RipSectors(0, 10, dir.Path("a.wav"));
    EXPECT_FALSE(scripted::FileExists(dir.Path("ajitt")));
}

// ---- failures ----

// Also after a complete rip: the refused one ends no track of its own.
TEST_F(RipTest, RefusedParametersOpenNothing)
{
    ripper->RipTrack(1, dir.Path("done.wav"));
    events.clear();
    cd.log.clear();
    files.created.clear();
    cd.setParamsResult = CDRIP_ERROR;
    ExpectError([&] { ripper->RipTrack(1, dir.Path("t.wav")); }, "Invalid CD-ROM parameters");
    EXPECT_EQ(cd.Count("OpenRipper"), 0);
    EXPECT_TRUE(files.created.empty());
    EXPECT_THAT(events, ElementsAre("begin 1"));
}

TEST_F(RipTest, TrackNumberOutsideTheListOpensNothing)
{
    for (int32_t n : {0, 3}) {
        EXPECT_THROW(ripper->RipTrack(n, dir.Path("t.wav")), rtl::EListError);
    }
    EXPECT_EQ(cd.Count("SetCDROMParameters"), 0);
    EXPECT_THAT(events, ElementsAre("begin 0", "begin 3"));
}

TEST_F(RipTest, FailedOpenIsAReadErrorAndLeavesAnExistingFileAlone)
{
    scripted::WriteFile(dir.Path("t.wav"), "old");
    cd.openResult = CDRIP_ERROR;
    ExpectError([&] { ripper->RipTrack(1, dir.Path("t.wav")); }, "Read error");
    EXPECT_EQ(Text(ReadFile(dir.Path("t.wav"))), "old");
    EXPECT_TRUE(files.created.empty());
    EXPECT_EQ(cd.Count("CloseRipper"), 0);
    EXPECT_THAT(events, ElementsAre("begin 1"));
}

class FailedReadsTest : public RipTest, public testing::WithParamInterface<int> {};

TEST_P(FailedReadsTest, AHundredFailedReadsInARowAreAReadError)
{
    const int failures = GetParam();
    ripper->SetWriteWAV(true);
    cd.reads = {{0, Bytes(8, 0)}};
    for (int i = 0; i < failures; ++i)
        cd.reads.push_back({CDRIP_ERROR, {}});
    cd.reads.push_back({CDRIP_RIPPING_DONE, Bytes(8, 8)});
    if (failures < 100) {
        ripper->RipTrack(1, dir.Path("t.wav"));
        EXPECT_EQ(Tail(ReadFile(dir.Path("t.wav")), 44), Bytes(16, 0));
        return;
    }
    ExpectError([&] { ripper->RipTrack(1, dir.Path("t.wav")); }, "Read error");
    EXPECT_EQ(cd.Count("RipChunk"), 101);
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_TRUE(scripted::FolderNames(dir.Root()).empty());
    EXPECT_THAT(events, testing::Not(testing::Contains("end 1")));
}

INSTANTIATE_TEST_SUITE_P(Counts, FailedReadsTest, testing::Values(1, 99, 100),
                         [](const auto& p) { return "Fail" + std::to_string(p.param); });

TEST_F(RipTest, FailuresSeparatedBySuccessAreRetriedForever)
{
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 99; ++i)
            cd.reads.push_back({CDRIP_ERROR, {}});
        cd.reads.push_back({0, Bytes(2, 0)});
    }
    cd.reads.push_back({CDRIP_RIPPING_DONE, {}});
    ripper->RipSectors(0, 1, dir.Path("t.raw"));
    EXPECT_EQ(ReadFile(dir.Path("t.raw")).size(), 6u);
}

TEST_F(RipTest, PersistentFailureEndsWithoutAnEndlessLoop)
{
    cd.whenExhausted = {CDRIP_ERROR, {}};
    ExpectError([&] { ripper->RipSectors(0, 1, dir.Path("t.raw")); }, "Read error");
    EXPECT_EQ(cd.Count("RipChunk"), 100);
}

enum class Short { WavHeader, WavData, RawData, Mp3Chunk, Mp3Flush };

class ShortWriteTest : public RipTest, public testing::WithParamInterface<Short> {};

TEST_P(ShortWriteTest, IsAWriteErrorAfterCompletionWithoutJitterFileOrEndEvent)
{
    const Short where = GetParam();
    std::string name = dir.Path("t.wav");
    ripper->SetWriteWAV(where == Short::WavHeader || where == Short::WavData);
    if (where == Short::Mp3Chunk || where == Short::Mp3Flush) {
        Encode(4);
        name = dir.Path("t.mp3");
    }
    files.failWrite = where == Short::WavData     ? 3
                      : where == Short::Mp3Flush  ? 5
                      : where == Short::WavHeader ? 1
                                                  : 2;
    cd.reads = {{CDRIP_JITTER_ERROR, Bytes(16, 0)}, {CDRIP_RIPPING_DONE, Bytes(16, 16)}};
    ExpectError([&] { ripper->RipTrack(1, dir.Path("t.wav")); }, "Write error");
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_EQ(cd.Count("GetNumberOfJitterErrors"), 1);
    EXPECT_FALSE(scripted::FileExists(dir.Path("tjitt")));
    EXPECT_THAT(events, testing::Not(testing::Contains("end 1")));
    EXPECT_TRUE(scripted::FolderNames(dir.Root()).empty()) << name;  // nothing partial under any name
    if (where == Short::Mp3Chunk || where == Short::Mp3Flush) {
        EXPECT_EQ(lameLib.log.back(), "CloseStream");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWrite, ShortWriteTest,
                         testing::Values(Short::WavHeader, Short::WavData, Short::RawData, Short::Mp3Chunk,
                                         Short::Mp3Flush),
                         [](const testing::TestParamInfo<Short>& p) -> std::string {
                             switch (p.param) {
                             case Short::WavHeader: return "WavHeader";
                             case Short::WavData: return "WavData";
                             case Short::RawData: return "RawData";
                             case Short::Mp3Chunk: return "Mp3Chunk";
                             case Short::Mp3Flush: return "Mp3Flush";
                             }
                             return "Unknown";
                         });

TEST_F(RipTest, UncreatableFileStillClosesTheExtraction)
{
    const std::string name = dir.Path("missing/t.wav");
    ExpectError([&] { ripper->RipTrack(1, name); }, rtl::FileCreateErrorMessage(name));
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_EQ(cd.Count("RipChunk"), 0);
    EXPECT_THAT(events, ElementsAre("begin 1"));
}

TEST_F(RipTest, FirstErrorWinsOverLaterOnes)
{
    Encode(4);
    cd.whenExhausted = {CDRIP_ERROR, {}};
    cd.reads = {{0, Bytes(8, 0)}};
    files.failWrite = 2;  // the flush's write, after the read error
    cd.throwIn = "CloseRipper";
    ExpectError([&] { ripper->RipSectors(0, 1, dir.Path("t.mp3")); }, "Read error");
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_EQ(lameLib.log.back(), "CloseStream");
}

TEST_F(RipTest, ThrowingLibraryStillGetsClosed)
{
    cd.reads = {{0, Bytes(8, 0)}};
    cd.whenExhausted = {0, {}};
    cd.throwIn = "GetLastJitterErrorPosition";
    cd.reads.push_back({CDRIP_JITTER_ERROR, {}});
    EXPECT_THROW(ripper->RipSectors(0, 1, dir.Path("t.raw")), std::runtime_error);
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
}

struct EncoderFailure {
    uint32_t initResult;
    uint32_t samples;
    uint32_t bufferSize;
    bool streamOpened;
};

class EncoderOpenTest : public RipTest, public testing::WithParamInterface<EncoderFailure> {};

TEST_P(EncoderOpenTest, IsAnInitializationFailureAfterCleanUp)
{
    const EncoderFailure f = GetParam();
    Encode(f.samples);
    lameLib.initResult = f.initResult;
    lameLib.bufferSize = f.bufferSize;
    cd.reads = {{CDRIP_RIPPING_DONE, Bytes(16, 0)}};
    ExpectError([&] { ripper->RipTrack(1, dir.Path("t.wav")); }, "Initialization failure");
    EXPECT_EQ(cd.Count("RipChunk"), 0);
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
    EXPECT_TRUE(scripted::FolderNames(dir.Root()).empty());
    EXPECT_TRUE(files.committed.empty());
    const std::vector<std::string> opened = {"Version", "InitStream", "CloseStream"};
    const std::vector<std::string> refused = {"Version", "InitStream"};
    EXPECT_EQ(lameLib.log, f.streamOpened ? opened : refused);
    EXPECT_THAT(events, ElementsAre("begin 1"));
}

INSTANTIATE_TEST_SUITE_P(Cases, EncoderOpenTest,
                         testing::Values(EncoderFailure{2, 4, 64, false}, EncoderFailure{0, 0, 64, true},
                                         EncoderFailure{0, 4, 0, true}),
                         [](const auto& p) {
                             return p.param.initResult != 0 ? "InitRefused"
                                    : p.param.samples == 0  ? "NoSamples"
                                                            : "NoBuffer";
                         });

TEST_F(RipTest, EncodeWithoutCoderIsAnInitializationFailure)
{
    ripper->SetEncode(true);
    ExpectError([&] { ripper->RipSectors(0, 1, dir.Path("t.wav")); }, "Initialization failure");
    EXPECT_FALSE(scripted::FileExists(dir.Path("t.mp3")));
    EXPECT_EQ(cd.Count("CloseRipper"), 1);
}

}  // namespace
