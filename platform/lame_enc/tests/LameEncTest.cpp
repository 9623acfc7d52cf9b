// liblame_enc on real PCM: its MP3 must equal the lame command line's for the
// same samples and settings, decode to the right length and carry the right
// frame header; misuse must come back as result codes.
#include <ripper/LameEnc.h>

#include <gtest/gtest.h>

#ifdef HAVE_MPG123
#include <mpg123.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Pcm = std::vector<int16_t>;

constexpr uint32_t kUntouched = 0xDEADBEEF;

// The record as the encoder component fills it with its defaults.
TBEConfig DefaultConfig(uint32_t rate = 44100, int32_t mode = 0)
{
    TBEConfig c{};
    c.ConfigKind = BE_CONFIG_KIND_LAME;
    c.StructVersion = 1;
    c.StructSize = sizeof(TBEConfig);
    c.SampleRate = rate;
    c.Mode = mode;
    c.Bitrate = 128;
    c.MaxBitrate = 320;
    c.MpegVersion = 1;
    c.CRC = -1;
    c.VBRQuality = 4;
    return c;
}

// A sine per channel (440 Hz left, 660 Hz right), not a whole number of chunks long.
Pcm Sine(uint32_t rate, int channels, double seconds)
{
    const std::size_t frames = static_cast<std::size_t>(rate * seconds) + 100;
    Pcm pcm(frames * channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            pcm[i * channels + ch] =
                static_cast<int16_t>(12000 * std::sin(2 * M_PI * (440.0 + 220 * ch) * i / rate));
    return pcm;
}

struct Opened {
    uint32_t result = kUntouched;
    uint32_t samples = kUntouched;
    uint32_t bufferSize = kUntouched;
    uint32_t handle = kUntouched;
};

Opened Open(TBEConfig config)
{
    Opened o;
    o.result = beInitStream(&config, &o.samples, &o.bufferSize, &o.handle);
    return o;
}

// Whole chunks, then the rest as one short chunk, then the flush.
Bytes Encode(const TBEConfig& config, const Pcm& pcm)
{
    const Opened o = Open(config);
    EXPECT_EQ(o.result, 0u);
    if (o.result != 0)
        return {};
    Bytes mp3, out(o.bufferSize);
    uint32_t n = 0;
    for (std::size_t at = 0; at < pcm.size(); at += o.samples) {
        const auto count = static_cast<uint32_t>(std::min<std::size_t>(o.samples, pcm.size() - at));
        EXPECT_EQ(beEncodeChunk(o.handle, count, &pcm[at], out.data(), &n), 0u);
        mp3.insert(mp3.end(), out.begin(), out.begin() + n);
    }
    EXPECT_EQ(beDeinitStream(o.handle, out.data(), &n), 0u);
    mp3.insert(mp3.end(), out.begin(), out.begin() + n);
    EXPECT_EQ(beCloseStream(o.handle), 0u);
    return mp3;
}

bool HaveLameCli() { return std::system("command -v lame >/dev/null 2>&1") == 0; }

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "lame_enc_test_" + name; }

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes EncodeWithCli(const Pcm& pcm, const std::string& args, const std::string& name)
{
    const std::string raw = TempPath(name + ".raw"), mp3 = TempPath(name + ".mp3");
    {
        std::ofstream out(raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
    }
    const std::string cmd = "lame --quiet -r --bitwidth 16 --signed --little-endian -p -t " + args + " '" +
                            raw + "' '" + mp3 + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    Bytes bytes = ReadFile(mp3);
    std::remove(raw.c_str());
    std::remove(mp3.c_str());
    return bytes;
}

// ---- the same MP3 as the command line ------------------------------------------

struct CliCase {
    const char* name;
    uint32_t rate;
    int32_t mode;
    std::function<void(TBEConfig&)> setup;
    std::string args;
};

template <class T>
std::string CaseName(const ::testing::TestParamInfo<T>& p)
{
    return p.param.name;
}

class CliTest : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliTest, OutputIsByteIdenticalToTheCommandLine)
{
    if (!HaveLameCli())
        GTEST_SKIP() << "lame is not on PATH";
    const CliCase& c = GetParam();
    TBEConfig config = DefaultConfig(c.rate, c.mode);
    c.setup(config);
    const Pcm pcm = Sine(c.rate, c.mode == 3 ? 1 : 2, 2.5);
    const Bytes ours = Encode(config, pcm);
    const Bytes cli = EncodeWithCli(pcm, c.args, c.name);
    ASSERT_FALSE(cli.empty());
    EXPECT_EQ(ours.size(), cli.size());
    EXPECT_TRUE(ours == cli);
}

const auto kNothing = [](TBEConfig&) {};

INSTANTIATE_TEST_SUITE_P(
    Settings, CliTest,
    ::testing::Values(CliCase{"Stereo44100", 44100, 0, kNothing, "-s 44.1 -m s -b 128 -o"},
                      CliCase{"Mono22050", 22050, 3, kNothing, "-s 22.05 -m m -b 128 -o"},
                      CliCase{"Mono11025", 11025, 3, kNothing, "-s 11.025 -m m -b 128 -o"},
                      CliCase{"Stereo22050", 22050, 0, kNothing, "-s 22.05 -m s -b 128 -o"},
                      CliCase{"JointStereo", 44100, 1, kNothing, "-s 44.1 -m j -b 128 -o"},
                      CliCase{"LowQuality", 44100, 0, [](TBEConfig& c) { c.Quality = LOW_QUALITY; },
                              "-s 44.1 -m s -b 128 -q 7 -o"},
                      CliCase{"HighQuality", 44100, 0, [](TBEConfig& c) { c.Quality = HIGH_QUALITY; },
                              "-s 44.1 -m s -b 128 -q 2 -o"},
                      CliCase{"VoiceQuality", 22050, 3, [](TBEConfig& c) { c.Quality = VOICE_QUALITY; },
                              "-s 22.05 -m m -b 128 -q 5 --lowpass 8 -o"},
                      CliCase{"Bitrate192CopyrightOriginal", 44100, 0,
                              [](TBEConfig& c) {
                                  c.Bitrate = 192;
                                  c.Copyright = 1;
                                  c.Original = -1;
                              },
                              "-s 44.1 -m s -b 192 -c"},
                      CliCase{"Vbr", 44100, 1,
                              [](TBEConfig& c) {
                                  c.EnableVBR = -1;
                                  c.WriteVBRHeader = -1;
                                  c.VBRQuality = 2;
                              },
                              "-s 44.1 -m j -V 2 -b 128 -B 320 -o"}),
    CaseName<CliCase>);

// ---- the stream itself ---------------------------------------------------------

struct FrameHeader {
    int versionBits;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layerBits;    // 1 Layer III
    bool crc;
    int bitrateIndex;
    int rateIndex;
    bool padding;
    int modeBits;  // 0 stereo, 1 joint, 2 dual, 3 mono
    bool copyright;
    bool original;
};

FrameHeader ParseHeader(const uint8_t* h)
{
    return {(h[1] >> 3) & 3, (h[1] >> 1) & 3,        (h[1] & 1) == 0,
            h[2] >> 4,       (h[2] >> 2) & 3,        ((h[2] >> 1) & 1) != 0,
            h[3] >> 6,       ((h[3] >> 3) & 1) != 0, ((h[3] >> 2) & 1) != 0};
}

// Frame lengths of a Layer III stream without free format, from each header.
std::vector<std::size_t> FrameLengths(const Bytes& mp3)
{
    static constexpr int kMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr int kMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    static constexpr int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    std::vector<std::size_t> lengths;
    for (std::size_t at = 0; at + 4 <= mp3.size();) {
        if (mp3[at] != 0xFF || (mp3[at + 1] & 0xE0) != 0xE0)
            break;
        const FrameHeader h = ParseHeader(&mp3[at]);
        const bool mpeg1 = h.versionBits == 3;
        const int kbps = (mpeg1 ? kMpeg1 : kMpeg2)[h.bitrateIndex];
        const int rate = h.rateIndex < 3 ? kRates[h.versionBits][h.rateIndex] : 0;
        if (kbps == 0 || rate == 0)
            break;
        const std::size_t length =
            static_cast<std::size_t>((mpeg1 ? 144 : 72) * kbps * 1000 / rate) + h.padding;
        lengths.push_back(length);
        at += length;
    }
    return lengths;
}

struct HeaderCase {
    const char* name;
    uint32_t rate;
    int32_t mode;
    int versionBits;
    int rateIndex;
    int bitrateIndex;  // 128 kbit/s, but LAME's MPEG-2.5 stops at 64
};

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, StreamIsWholeFramesWithTheRightHeaderAndNoTags)
{
    const HeaderCase& c = GetParam();
    const Pcm pcm = Sine(c.rate, c.mode == 3 ? 1 : 2, 1.0);
    const Bytes mp3 = Encode(DefaultConfig(c.rate, c.mode), pcm);
    ASSERT_GE(mp3.size(), 4u);
    const FrameHeader h = ParseHeader(mp3.data());
    EXPECT_EQ(mp3[0], 0xFF);
    EXPECT_EQ(h.versionBits, c.versionBits);
    EXPECT_EQ(h.layerBits, 1);
    EXPECT_TRUE(h.crc);
    EXPECT_EQ(h.bitrateIndex, c.bitrateIndex);
    EXPECT_EQ(h.rateIndex, c.rateIndex);
    EXPECT_EQ(h.modeBits, c.mode);
    EXPECT_FALSE(h.copyright);
    EXPECT_FALSE(h.original);

    // Every byte belongs to a frame: no ID3 tag before or after, and the
    // first frame is audio, not a VBR/Info frame.
    std::size_t total = 0;
    for (std::size_t length : FrameLengths(mp3))
        total += length;
    EXPECT_EQ(total, mp3.size());
    const std::string first(mp3.begin(), mp3.begin() + FrameLengths(mp3).at(0));
    EXPECT_EQ(first.find("Xing"), std::string::npos);
    EXPECT_EQ(first.find("Info"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Formats, HeaderTest,
                         ::testing::Values(HeaderCase{"Stereo44100", 44100, 0, 3, 0, 9},
                                           HeaderCase{"Mono44100", 44100, 3, 3, 0, 9},
                                           HeaderCase{"Stereo22050", 22050, 0, 2, 0, 12},
                                           HeaderCase{"Mono22050", 22050, 3, 2, 0, 12},
                                           HeaderCase{"Mono11025", 11025, 3, 0, 0, 8}),
                         CaseName<HeaderCase>);

struct ChunkCase {
    uint32_t rate;
    int32_t mode;
    uint32_t samples;
};

class ChunkSizeTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkSizeTest, ChunkIsOneFramePerChannelAndTheBufferHoldsTheWorstCase)
{
    const Opened o = Open(DefaultConfig(GetParam().rate, GetParam().mode));
    ASSERT_EQ(o.result, 0u);
    EXPECT_EQ(o.samples, GetParam().samples);
    EXPECT_GE(o.bufferSize, 1.25 * o.samples + 7200);
    EXPECT_NE(o.handle, 0u);
    EXPECT_EQ(beCloseStream(o.handle), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rates, ChunkSizeTest,
                         ::testing::Values(ChunkCase{44100, 0, 2304}, ChunkCase{44100, 3, 1152},
                                           ChunkCase{48000, 1, 2304}, ChunkCase{32000, 3, 1152},
                                           ChunkCase{22050, 0, 1152}, ChunkCase{22050, 3, 576},
                                           ChunkCase{11025, 3, 576}, ChunkCase{8000, 2, 1152}),
                         [](const auto& p) {
                             return "Rate" + std::to_string(p.param.rate) + "Mode" +
                                    std::to_string(p.param.mode);
                         });

#ifdef HAVE_MPG123
// Decodes the whole stream; the samples are interleaved as encoded.
Pcm Decode(const Bytes& mp3)
{
    mpg123_init();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    EXPECT_NE(h, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(h);
    Pcm pcm;
    std::vector<unsigned char> out(1 << 16);
    size_t done = 0;
    int rc = mpg123_decode(h, mp3.data(), mp3.size(), out.data(), out.size(), &done);
    while (rc != MPG123_ERR && rc != MPG123_NEED_MORE) {
        const auto* s = reinterpret_cast<const int16_t*>(out.data());
        pcm.insert(pcm.end(), s, s + done / 2);
        rc = mpg123_decode(h, nullptr, 0, out.data(), out.size(), &done);
    }
    const auto* s = reinterpret_cast<const int16_t*>(out.data());
    pcm.insert(pcm.end(), s, s + done / 2);
    EXPECT_NE(rc, MPG123_ERR) << mpg123_strerror(h);
    mpg123_delete(h);
    return pcm;
}

// Signal-to-noise ratio of the decoded samples against the input, `delay`
// frames later.
double SnrDb(const Pcm& input, const Pcm& decoded, std::size_t delay, int channels)
{
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < input.size() && i + delay * channels < decoded.size(); ++i) {
        const double d = decoded[i + delay * channels] - input[i];
        signal += double(input[i]) * input[i];
        noise += d * d;
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

class DecodeTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(DecodeTest, DecodesToWholeFramesHoldingTheInputAfterLamesDelay)
{
    const HeaderCase& c = GetParam();
    const int channels = c.mode == 3 ? 1 : 2;
    const Pcm pcm = Sine(c.rate, channels, 2.0);
    const Bytes mp3 = Encode(DefaultConfig(c.rate, c.mode), pcm);
    const Pcm decoded = Decode(mp3);

    const std::size_t frameSize = c.rate >= 32000 ? 1152 : 576;
    const std::size_t frames = FrameLengths(mp3).size();
    const std::size_t inFrames = pcm.size() / channels;
    // 576 samples of encoder delay and 529 of decoder delay lead the audio.
    constexpr std::size_t kDelay = 576 + 529;
    EXPECT_EQ(decoded.size(), frames * frameSize * channels);
    EXPECT_GE(frames * frameSize, inFrames + kDelay);
    EXPECT_LT(frames * frameSize, inFrames + kDelay + 2 * frameSize);
    EXPECT_GT(SnrDb(pcm, decoded, kDelay, channels), 23.0);  // one sample off gives < 21
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeTest,
                         ::testing::Values(HeaderCase{"Stereo44100", 44100, 0, 3, 0, 9},
                                           HeaderCase{"Mono22050", 22050, 3, 2, 0, 12},
                                           HeaderCase{"Mono11025", 11025, 3, 0, 0, 8}),
                         CaseName<HeaderCase>);
#endif

// ---- refusals ------------------------------------------------------------------

struct RefusalCase {
    const char* name;
    std::function<void(TBEConfig&)> change;
    uint32_t expected;
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RefusedConfigurationGivesItsCodeAndWritesNothing)
{
    TBEConfig config = DefaultConfig();
    GetParam().change(config);
    const Opened o = Open(config);
    EXPECT_EQ(o.result, GetParam().expected);
    EXPECT_EQ(o.samples, kUntouched);
    EXPECT_EQ(o.bufferSize, kUntouched);
    EXPECT_EQ(o.handle, kUntouched);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RefusalTest,
    ::testing::Values(
        RefusalCase{"KindZero", [](TBEConfig& c) { c.ConfigKind = 0; }, BE_ERR_INVALID_FORMAT},
        RefusalCase{"KindBlade", [](TBEConfig& c) { c.ConfigKind = 1; }, BE_ERR_INVALID_FORMAT},
        RefusalCase{"RateZero", [](TBEConfig& c) { c.SampleRate = 0; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"RateOdd", [](TBEConfig& c) { c.SampleRate = 44000; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"Rate96k", [](TBEConfig& c) { c.SampleRate = 96000; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"ResampleOdd", [](TBEConfig& c) { c.ReSampleRate = 1234; },
                    BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"ModeFour", [](TBEConfig& c) { c.Mode = 4; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"ModeNegative", [](TBEConfig& c) { c.Mode = -1; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"BitrateOffTable", [](TBEConfig& c) { c.Bitrate = 129; },
                    BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"BitrateZero", [](TBEConfig& c) { c.Bitrate = 0; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"BitrateTooHighForMpeg2",
                    [](TBEConfig& c) {
                        c.SampleRate = 22050;
                        c.Bitrate = 320;
                    },
                    BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"QualityFour", [](TBEConfig& c) { c.Quality = 4; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
        RefusalCase{"VbrQualityTen",
                    [](TBEConfig& c) {
                        c.EnableVBR = -1;
                        c.VBRQuality = 10;
                    },
                    BE_ERR_INVALID_FORMAT_PARAMETERS}),
    CaseName<RefusalCase>);

TEST(LameEncTest, MissingRecordOrOutputIsRefused)
{
    uint32_t a = kUntouched, b = kUntouched, h = kUntouched;
    EXPECT_EQ(beInitStream(nullptr, &a, &b, &h), static_cast<uint32_t>(BE_ERR_INVALID_FORMAT));
    TBEConfig config = DefaultConfig();
    EXPECT_NE(beInitStream(&config, nullptr, &b, &h), 0u);
    EXPECT_NE(beInitStream(&config, &a, &b, nullptr), 0u);
    EXPECT_EQ(a, kUntouched);
    EXPECT_EQ(h, kUntouched);
}

TEST(LameEncTest, UnknownClosedAndFlushedHandlesGiveErrorCodes)
{
    Bytes out(20000);
    Pcm pcm(2304);
    uint32_t n = kUntouched;
    for (uint32_t bad : {0u, 0xFFFFFFF0u}) {
        EXPECT_EQ(beEncodeChunk(bad, 2304, pcm.data(), out.data(), &n),
                  static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
        EXPECT_EQ(beDeinitStream(bad, out.data(), &n), static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
        EXPECT_EQ(beCloseStream(bad), static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
    }
    EXPECT_EQ(n, kUntouched);

    const Opened o = Open(DefaultConfig());
    ASSERT_EQ(o.result, 0u);
    EXPECT_EQ(beEncodeChunk(o.handle, o.samples + 2, pcm.data(), out.data(), &n),
              static_cast<uint32_t>(BE_ERR_INVALID_FORMAT_PARAMETERS));
    EXPECT_EQ(beEncodeChunk(o.handle, 3, pcm.data(), out.data(), &n),
              static_cast<uint32_t>(BE_ERR_INVALID_FORMAT_PARAMETERS));
    EXPECT_EQ(beDeinitStream(o.handle, out.data(), &n), 0u);
    EXPECT_EQ(beEncodeChunk(o.handle, 2304, pcm.data(), out.data(), &n),
              static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
    EXPECT_EQ(beDeinitStream(o.handle, out.data(), &n), static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
    EXPECT_EQ(beCloseStream(o.handle), 0u);
    EXPECT_EQ(beCloseStream(o.handle), static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
    EXPECT_EQ(beDeinitStream(o.handle, out.data(), &n), static_cast<uint32_t>(BE_ERR_INVALID_HANDLE));
}

TEST(LameEncTest, StreamsAreIndependentAndHandlesAreNotReused)
{
    const Pcm pcm = Sine(44100, 2, 0.5);
    const Bytes alone = Encode(DefaultConfig(), pcm);

    // Two streams encoding the same PCM turn about: each must equal the lone one.
    const Opened a = Open(DefaultConfig()), b = Open(DefaultConfig());
    ASSERT_EQ(a.result, 0u);
    ASSERT_EQ(b.result, 0u);
    EXPECT_NE(a.handle, b.handle);
    Bytes mp3a, mp3b, out(a.bufferSize);
    uint32_t n = 0;
    for (std::size_t at = 0; at < pcm.size(); at += a.samples) {
        const auto count = static_cast<uint32_t>(std::min<std::size_t>(a.samples, pcm.size() - at));
        ASSERT_EQ(beEncodeChunk(a.handle, count, &pcm[at], out.data(), &n), 0u);
        mp3a.insert(mp3a.end(), out.begin(), out.begin() + n);
        ASSERT_EQ(beEncodeChunk(b.handle, count, &pcm[at], out.data(), &n), 0u);
        mp3b.insert(mp3b.end(), out.begin(), out.begin() + n);
    }
    ASSERT_EQ(beDeinitStream(a.handle, out.data(), &n), 0u);
    mp3a.insert(mp3a.end(), out.begin(), out.begin() + n);
    ASSERT_EQ(beCloseStream(a.handle), 0u);
    ASSERT_EQ(beDeinitStream(b.handle, out.data(), &n), 0u);
    mp3b.insert(mp3b.end(), out.begin(), out.begin() + n);
    ASSERT_EQ(beCloseStream(b.handle), 0u);
    EXPECT_TRUE(mp3a == alone);
    EXPECT_TRUE(mp3b == alone);

    const Opened c = Open(DefaultConfig());
    EXPECT_NE(c.handle, a.handle);
    EXPECT_NE(c.handle, b.handle);
    EXPECT_EQ(beCloseStream(c.handle), 0u);
}

TEST(LameEncTest, TheHandleTableHasALimit)
{
    std::vector<uint32_t> handles;
    Opened o;
    for (int i = 0; i < 1000; ++i) {
        o = Open(DefaultConfig());
        if (o.result != 0)
            break;
        handles.push_back(o.handle);
    }
    EXPECT_EQ(o.result, static_cast<uint32_t>(BE_ERR_NO_MORE_HANDLES));
    EXPECT_EQ(o.handle, kUntouched);
    for (uint32_t h : handles)
        EXPECT_EQ(beCloseStream(h), 0u);
    o = Open(DefaultConfig());
    EXPECT_EQ(o.result, 0u);
    beCloseStream(o.handle);
}

TEST(LameEncTest, VersionNamesOurLayerAndTheEngineTheCommandLineReports)
{
    TBEVersion v{};
    beVersion(&v);
    EXPECT_EQ(v.DLLMajorVersion, LAME_ENC_DLL_MAJOR);
    EXPECT_EQ(v.DLLMinorVersion, LAME_ENC_DLL_MINOR);
    EXPECT_NE(std::string(v.HomePage), "");
    if (!HaveLameCli())
        GTEST_SKIP() << "lame is not on PATH";
    const std::string file = TempPath("version.txt");
    ASSERT_EQ(std::system(("lame --version >'" + file + "' 2>&1").c_str()), 0);
    const Bytes text = ReadFile(file);
    std::remove(file.c_str());
    const std::string expected =
        "version " + std::to_string(v.MajorVersion) + "." + std::to_string(v.MinorVersion) + " ";
    EXPECT_NE(std::string(text.begin(), text.end()).find(expected), std::string::npos) << expected;
}

}  // namespace
