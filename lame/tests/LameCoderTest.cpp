// The component's call contract, checked against a recording stand-in for the
// encoder library: which calls it makes, with which arguments and bytes.
#include "LameCoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string name;
    std::vector<uint32_t> args;        // handles and counts, in argument order
    std::vector<const void*> buffers;  // addresses, in argument order
    std::vector<uint8_t> config;       // the record handed to InitStream
};

// What the recording library answers and what it saw.
struct Script {
    uint32_t result = BE_ERR_SUCCESSFUL;
    uint32_t samplesPerChunk = 2304;
    uint32_t outputBufferSize = 10080;
    uint32_t handle = 7;
    uint32_t outputBytes = 417;
    TBEVersion version{};
    std::vector<Call> calls;
};
Script gScript;

void RecVersion(TBEVersion* v)
{
    gScript.calls.push_back({"Version", {}, {v}, {}});
    *v = gScript.version;
}

uint32_t RecInitStream(TBEConfig* config, uint32_t* samples, uint32_t* bufferSize, uint32_t* handle)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(config);
    gScript.calls.push_back({"InitStream", {}, {config}, {bytes, bytes + sizeof(TBEConfig)}});
    if (gScript.result == BE_ERR_SUCCESSFUL) {
        *samples = gScript.samplesPerChunk;
        *bufferSize = gScript.outputBufferSize;
        *handle = gScript.handle;
    }
    return gScript.result;
}

uint32_t RecEncodeChunk(uint32_t handle, uint32_t samples, const int16_t* pcm, uint8_t* out,
                        uint32_t* outBytes)
{
    gScript.calls.push_back({"EncodeChunk", {handle, samples}, {pcm, out}, {}});
    *outBytes = gScript.outputBytes;
    return gScript.result;
}

uint32_t RecDeinitStream(uint32_t handle, uint8_t* out, uint32_t* outBytes)
{
    gScript.calls.push_back({"DeinitStream", {handle}, {out}, {}});
    *outBytes = gScript.outputBytes;
    return gScript.result;
}

uint32_t RecCloseStream(uint32_t handle)
{
    gScript.calls.push_back({"CloseStream", {handle}, {}, {}});
    return gScript.result;
}

const lame::TLameEncApi kRecorder{RecVersion, RecInitStream, RecEncodeChunk, RecDeinitStream, RecCloseStream};

class LameCoderTest : public ::testing::Test {
protected:
    void SetUp() override { gScript = Script{}; }

    std::vector<std::string> CallNames() const
    {
        std::vector<std::string> names;
        for (const Call& c : gScript.calls)
            names.push_back(c.name);
        return names;
    }

    const Call& LastInit() const
    {
        for (auto it = gScript.calls.rbegin(); it != gScript.calls.rend(); ++it)
            if (it->name == "InitStream")
                return *it;
        throw std::logic_error("no InitStream call");
    }
};

// The 331 bytes of the record: the nineteen little-endian words, then zeros.
std::vector<uint8_t> RecordBytes(const std::vector<int64_t>& words)
{
    std::vector<uint8_t> bytes(331, 0);
    for (std::size_t i = 0; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<uint8_t>(static_cast<uint64_t>(words[i]) >> (8 * b));
    return bytes;
}

template <class T>
std::string CaseName(const ::testing::TestParamInfo<T>& p)
{
    return p.param.name;
}

// ---- the configuration record ------------------------------------------------

struct RecordCase {
    const char* name;
    std::function<void(TLameCoder&)> setup;
    std::vector<int64_t> words;
};

class RecordTest : public LameCoderTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordTest, OpenStreamHandsTheLibraryTheRecordByteForByte)
{
    TLameCoder coder(kRecorder);
    GetParam().setup(coder);
    ASSERT_EQ(coder.OpenStream(), 0u);
    EXPECT_EQ(LastInit().config, RecordBytes(GetParam().words));
    EXPECT_EQ(LastInit().buffers[0], &coder.EncoderConfig());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RecordTest,
    ::
        testing::Values(RecordCase{"Defaults",
                                   [](TLameCoder&) {},
                                   {256, 1, 331, 44100, 0, 0, 128, 320, 0, 1, 0, 0, 0, -1, 0, 0, 0, 0, 4}},
                        RecordCase{"Mono22050",
                                   [](TLameCoder& c) {
                                       c.SetMode(TLameMode::MONO);
                                       c.SetSampleRate(22050);
                                   },
                                   {256, 1, 331, 22050, 0, 3, 128, 320, 0, 1, 0, 0, 0, -1, 0, 0, 0, 0, 4}},
                        RecordCase{"VoiceQuality",
                                   [](TLameCoder& c) { c.SetQuality(VOICE_QUALITY); },
                                   {256, 1, 331, 44100, 0, 0, 128, 320, 3, 1, 0, 0, 0, -1, 0, 0, 0, 0, 4}},
                        RecordCase{
                            "EveryOtherField",
                            [](TLameCoder& c) {
                                c.SetMode(TLameMode::DUALCHANNEL);
                                c.SetBitrate(64);
                                c.SetMaxBitrate(256);
                                c.SetQuality(HIGH_QUALITY);
                                c.SetPrivate(-1);
                                c.SetCRC(0);
                                c.SetCopyright(-1);
                                c.SetOriginal(-1);
                                c.SetEnableVBR(-1);
                                c.SetVBRQuality(9);
                            },
                            {256, 1, 331, 44100, 0, 2, 64, 256, 2, 1, 0, 0, -1, 0, -1, -1, -1, -1, 9}}),
    CaseName<RecordCase>);

TEST_F(LameCoderTest, SettingsWrittenWhileOpenReachOnlyTheNextOpen)
{
    TLameCoder coder(kRecorder);
    ASSERT_EQ(coder.OpenStream(), 0u);
    const std::vector<uint8_t> first = LastInit().config;
    coder.SetBitrate(320);
    coder.SetMode(TLameMode::JSTEREO);

    std::vector<int16_t> pcm(2304);
    std::vector<uint8_t> out(10080);
    uint32_t bytes = 0;
    coder.EncodeChunk(pcm.data(), out.data(), bytes);
    coder.FlushStream(out.data(), bytes);
    coder.CloseStream();
    EXPECT_EQ(0, std::memcmp(&coder.EncoderConfig(), first.data(), first.size()));

    ASSERT_EQ(coder.OpenStream(), 0u);
    EXPECT_EQ(LastInit().config,
              RecordBytes({256, 1, 331, 44100, 0, 1, 320, 320, 0, 1, 0, 0, 0, -1, 0, 0, 0, 0, 4}));
}

// ---- the stream operations ---------------------------------------------------

TEST_F(LameCoderTest, StreamOperationsCallTheLibraryInOrderWithItsOwnOutputs)
{
    TLameCoder coder(kRecorder);
    gScript.handle = 42;
    gScript.samplesPerChunk = 1152;
    gScript.outputBufferSize = 8640;
    ASSERT_EQ(coder.OpenStream(), 0u);
    EXPECT_EQ(coder.StreamHandle(), 42u);
    EXPECT_EQ(coder.SamplesPerChunk(), 1152u);
    EXPECT_EQ(coder.OutputBufferSize(), 8640u);

    std::vector<int16_t> pcm(1152);
    std::vector<uint8_t> out(8640);
    uint32_t bytes = 0;
    coder.EncodeChunk(pcm.data(), out.data(), bytes);
    EXPECT_EQ(bytes, gScript.outputBytes);
    gScript.outputBytes = 99;
    coder.FlushStream(out.data(), bytes);
    EXPECT_EQ(bytes, 99u);
    coder.CloseStream();

    EXPECT_EQ(CallNames(), (std::vector<std::string>{"Version", "InitStream", "EncodeChunk", "DeinitStream",
                                                     "CloseStream"}));
    const Call& encode = gScript.calls[2];
    EXPECT_EQ(encode.args, (std::vector<uint32_t>{42, 1152}));
    EXPECT_EQ(encode.buffers, (std::vector<const void*>{pcm.data(), out.data()}));
    EXPECT_EQ(gScript.calls[3].args, std::vector<uint32_t>{42});
    EXPECT_EQ(gScript.calls[3].buffers, std::vector<const void*>{out.data()});
    EXPECT_EQ(gScript.calls[4].args, std::vector<uint32_t>{42});
    // Closing keeps the last reported sizes.
    EXPECT_EQ(coder.SamplesPerChunk(), 1152u);
    EXPECT_EQ(coder.OutputBufferSize(), 8640u);
}

class ResultCodeTest : public LameCoderTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(ResultCodeTest, EveryOperationPassesTheLibraryResultBackUnchanged)
{
    TLameCoder coder(kRecorder);
    gScript.result = GetParam();
    std::vector<int16_t> pcm(2304);
    std::vector<uint8_t> out(10080);
    uint32_t bytes = 0;
    EXPECT_EQ(coder.OpenStream(), GetParam());
    EXPECT_EQ(coder.EncodeChunk(pcm.data(), out.data(), bytes), GetParam());
    EXPECT_EQ(coder.FlushStream(out.data(), bytes), GetParam());
    EXPECT_EQ(coder.CloseStream(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Codes, ResultCodeTest,
                         ::testing::Values(BE_ERR_SUCCESSFUL, BE_ERR_INVALID_FORMAT,
                                           BE_ERR_INVALID_FORMAT_PARAMETERS, BE_ERR_INVALID_HANDLE,
                                           0x80000001u, 0xFFFFFFFFu),
                         [](const auto& p) {
                             char name[24];
                             std::snprintf(name, sizeof name, "Code%08X", static_cast<unsigned>(p.param));
                             return std::string(name);
                         });

// ---- version -----------------------------------------------------------------

TEST_F(LameCoderTest, ConstructionReadsTheVersionOnceAndCopyFromTakesOnlyFourBytes)
{
    gScript.version.DLLMajorVersion = 1;
    gScript.version.DLLMinorVersion = 2;
    gScript.version.MajorVersion = 3;
    gScript.version.MinorVersion = 100;
    gScript.version.Year = 2024;
    std::strcpy(gScript.version.HomePage, "source");
    TLameCoder coder(kRecorder);
    EXPECT_EQ(CallNames(), std::vector<std::string>{"Version"});
    const TLameVersion& v = coder.LameVersion();
    EXPECT_EQ(v.DLLMajorVersion(), 1);
    EXPECT_EQ(v.DLLMinorVersion(), 2);
    EXPECT_EQ(v.MajorVersion(), 3);
    EXPECT_EQ(v.MinorVersion(), 100);

    gScript.version = TBEVersion{};
    std::strcpy(gScript.version.HomePage, "target");
    TLameVersion copy(kRecorder);
    copy.CopyFrom(&v);
    EXPECT_EQ(copy.DLLMajorVersion(), 1);
    EXPECT_EQ(copy.DLLMinorVersion(), 2);
    EXPECT_EQ(copy.MajorVersion(), 3);
    EXPECT_EQ(copy.MinorVersion(), 100);
    EXPECT_EQ(copy.Record().Year, 0);
    EXPECT_STREQ(copy.Record().HomePage, "target");
}

// ---- published properties ----------------------------------------------------

TEST_F(LameCoderTest, ANewCoderHasItsDefaults)
{
    TLameCoder coder(kRecorder);
    EXPECT_EQ(coder.SampleRate(), 44100u);
    EXPECT_EQ(coder.Bitrate(), 128u);
    EXPECT_EQ(coder.MaxBitrate(), 320u);
    EXPECT_EQ(coder.Quality(), NORMAL_QUALITY);
    EXPECT_EQ(coder.CRC(), -1);
    EXPECT_EQ(coder.Private() | coder.Copyright() | coder.Original() | coder.WriteVBRHeader() |
                  coder.EnableVBR(),
              0);
    EXPECT_EQ(coder.VBRQuality(), 4);
    EXPECT_EQ(coder.Mode(), TLameMode::STEREO);
    EXPECT_EQ(coder.DefaultExt(), ".mp3");
    EXPECT_TRUE(coder.InputFiles().empty());
    EXPECT_TRUE(coder.OutputFiles().empty());
    EXPECT_EQ(coder.SamplesPerChunk(), 0u);
    EXPECT_EQ(coder.OutputBufferSize(), 0u);
}

TEST_F(LameCoderTest, EnableVBRAlsoWritesTheHeaderFlagButNotTheOtherWayRound)
{
    TLameCoder coder(kRecorder);
    coder.SetEnableVBR(-1);
    EXPECT_EQ(coder.WriteVBRHeader(), -1);
    coder.SetWriteVBRHeader(0);
    EXPECT_EQ(coder.EnableVBR(), -1);
    coder.SetWriteVBRHeader(-1);
    coder.SetEnableVBR(0);
    EXPECT_EQ(coder.WriteVBRHeader(), 0);
    coder.SetWriteVBRHeader(-1);
    EXPECT_EQ(coder.EnableVBR(), 0);
}

struct FilesCase {
    const char* name;
    std::string ext;
    TStrings input;
    TStrings output;
};

class OutputFilesTest : public LameCoderTest, public ::testing::WithParamInterface<FilesCase> {};

TEST_P(OutputFilesTest, WritingInputFilesRebuildsOutputFiles)
{
    TLameCoder coder(kRecorder);
    coder.SetOutputFiles({"stale.mp3", "older.mp3", "x", "y", "z"});
    coder.SetDefaultExt(GetParam().ext);
    coder.SetInputFiles(GetParam().input);
    EXPECT_EQ(coder.InputFiles(), GetParam().input);
    EXPECT_EQ(coder.OutputFiles(), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputFilesTest,
    ::testing::Values(FilesCase{"WindowsNames",
                                ".mp3",
                                {"C:\\Musik\\Track01.wav", "C:\\a.b\\file", "name.", ".hidden"},
                                {"C:\\Musik\\Track01.mp3", "C:\\a.b\\file.mp3", "name.mp3", ".mp3"}},
                      FilesCase{"PosixFolderWithDot",
                                ".mp3",
                                {"/u/a.b/file", "/u/a.b/x.wav"},
                                {"/u/a.b/file.mp3", "/u/a.b/x.mp3"}},
                      FilesCase{"DriveColon", ".mp3", {"C:file", "D:"}, {"C:file.mp3", "D:.mp3"}},
                      FilesCase{"OnlyTheLastDot", ".mp3", {"a.b.c"}, {"a.b.mp3"}},
                      FilesCase{"ExtWithoutDot", "mp3", {"track.wav"}, {"trackmp3"}},
                      FilesCase{"Empty", ".mp3", {}, {}}),
    CaseName<FilesCase>);

TEST_F(LameCoderTest, ChangingDefaultExtLeavesOutputFilesUntilInputFilesIsWritten)
{
    TLameCoder coder(kRecorder);
    coder.SetInputFiles({"a.wav"});
    coder.SetDefaultExt(".ogg");
    EXPECT_EQ(coder.OutputFiles(), TStrings{"a.mp3"});
    coder.SetOutputFiles({"x", "y"});
    EXPECT_EQ(coder.InputFiles(), TStrings{"a.wav"});
    coder.SetInputFiles(coder.InputFiles());
    EXPECT_EQ(coder.OutputFiles(), TStrings{"a.ogg"});
}

// ---- CopyFrom ----------------------------------------------------------------

TEST_F(LameCoderTest, CopyFromACoderTakesTheStoredSettingsOnly)
{
    TLameCoder source(kRecorder);
    source.SetSampleRate(22050);
    source.SetMode(TLameMode::MONO);
    source.SetBitrate(64);
    source.SetMaxBitrate(160);
    source.SetQuality(LOW_QUALITY);
    source.SetPrivate(-1);
    source.SetCRC(0);
    source.SetCopyright(-1);
    source.SetOriginal(-1);
    source.SetEnableVBR(-1);
    source.SetWriteVBRHeader(0);
    source.SetVBRQuality(2);
    source.SetDefaultExt(".wav");
    source.SetInputFiles({"s.wav"});
    source.SetMp3FileName("s.mp3");

    TLameCoder dest(kRecorder);
    dest.SetDefaultExt(".xyz");
    dest.SetInputFiles({"d.wav"});
    int fired = 0;
    dest.OnEndProcess = [&fired](void*) { ++fired; };
    dest.CopyFrom(&source);

    EXPECT_EQ(dest.SampleRate(), 22050u);
    EXPECT_EQ(dest.Mode(), TLameMode::MONO);
    EXPECT_EQ(dest.Bitrate(), 64u);
    EXPECT_EQ(dest.MaxBitrate(), 160u);
    EXPECT_EQ(dest.Quality(), LOW_QUALITY);
    EXPECT_EQ(dest.Private(), -1);
    EXPECT_EQ(dest.CRC(), 0);
    EXPECT_EQ(dest.Copyright(), -1);
    EXPECT_EQ(dest.Original(), -1);
    EXPECT_EQ(dest.EnableVBR(), -1);
    EXPECT_EQ(dest.WriteVBRHeader(), 0);
    EXPECT_EQ(dest.VBRQuality(), 2);
    EXPECT_EQ(dest.DefaultExt(), ".xyz");
    EXPECT_EQ(dest.InputFiles(), TStrings{"d.wav"});
    EXPECT_EQ(dest.OutputFiles(), TStrings{"d.xyz"});
    EXPECT_EQ(dest.Mp3FileName(), "");
    ASSERT_TRUE(dest.OnEndProcess);
    dest.OnEndProcess(nullptr);
    EXPECT_EQ(fired, 1);
}

TEST_F(LameCoderTest, CopyFromAnotherClassFailsWithTheConversionErrorAndChangesNothing)
{
    TLameCoder coder(kRecorder);
    coder.SetBitrate(96);
    gScript.version.MajorVersion = 9;
    TLameVersion version(kRecorder);

    struct Case {
        rtl::TPersistent* dest;
        const rtl::TPersistent* source;
        const char* message;
    };
    const Case cases[] = {
        {&coder, &version, "TLameVersion kann nicht zu TLameCoder zugewiesen werden"},
        {&coder, nullptr, "nil kann nicht zu TLameCoder zugewiesen werden"},
        {&version, &coder, "TLameCoder kann nicht zu TLameVersion zugewiesen werden"},
        {&version, nullptr, "nil kann nicht zu TLameVersion zugewiesen werden"},
    };
    for (const Case& c : cases) {
        try {
            c.dest->CopyFrom(c.source);
            ADD_FAILURE() << "no error for: " << c.message;
        } catch (const rtl::EConvertError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(coder.Bitrate(), 96u);
    EXPECT_EQ(version.MajorVersion(), 9);
}

}  // namespace
