// Parsing descriptions and the recomputable contents, without writing files.
#include "DiscImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

using namespace discimage;

namespace {

std::string ParseError(const std::string& text)
{
    try {
        ParseDescription(text);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(Description, ReadsEveryItemKind)
{
    const Disc d = ParseDescription(
        "# a CD-Extra numbered from 2\n"
        "first=2\n"
        "audio:1500:title=\"  Über: den # Wolken \":performer=\"Die Ärzte\":sine=1000.5  "
        "audio:20s:noise=9:pregap=150   # two on a line\n"
        "audio:1m30s:counter audio:2.52s:silence audio:75:melody audio:1m:melody=4:pregap=2s\n"
        "\tdata:600:pregap=1s:title=Daten  album=\"Lieder: Sommer # 1\" performer=Chor\n");
    ASSERT_EQ(d.firstTrack, 2);
    ASSERT_EQ(d.tracks.size(), 7u);
    EXPECT_EQ(d.tracks[0].content, Content::Sine);
    EXPECT_EQ(d.tracks[0].frequency, 1000.5);
    EXPECT_EQ(d.tracks[0].sectors, 1500);
    EXPECT_EQ(d.tracks[0].title, "  Über: den # Wolken ");
    EXPECT_EQ(d.tracks[0].performer, "Die Ärzte");
    EXPECT_NE(CueText(d, "x.bin")
                  .find("  TRACK 02 AUDIO\n    TITLE \"  Über: den # Wolken \"\n"
                        "    PERFORMER \"Die Ärzte\"\n"),
              std::string::npos);
    EXPECT_EQ(d.tracks[1].content, Content::Noise);
    EXPECT_EQ(d.tracks[1].seed, 9u);
    EXPECT_EQ(d.tracks[1].sectors, 1500);
    EXPECT_EQ(d.tracks[1].pregap, 150);
    EXPECT_EQ(d.tracks[2].content, Content::Counter);
    EXPECT_EQ(d.tracks[2].sectors, 90 * 75);
    EXPECT_EQ(d.tracks[3].content, Content::Silence);
    EXPECT_EQ(d.tracks[3].sectors, 189);
    EXPECT_EQ(d.tracks[4].content, Content::Melody);
    EXPECT_EQ(d.tracks[4].seed, 1u);
    EXPECT_EQ(d.tracks[5].seed, 4u);
    EXPECT_EQ(d.tracks[5].pregap, 150);
    EXPECT_FALSE(d.tracks[6].audio);
    EXPECT_EQ(d.tracks[6].sectors, 600);
    EXPECT_EQ(d.tracks[6].pregap, 75);
    EXPECT_EQ(d.tracks[6].title, "Daten");
    EXPECT_EQ(d.title, "Lieder: Sommer # 1");
    EXPECT_EQ(d.performer, "Chor");
    EXPECT_TRUE(d.tracks[0].audio);
}

TEST(Description, DefaultsAreTrackOneAndA440HzSine)
{
    const Disc d = ParseDescription("audio:10");
    EXPECT_EQ(d.firstTrack, 1);
    ASSERT_EQ(d.tracks.size(), 1u);
    EXPECT_EQ(d.tracks[0].content, Content::Sine);
    EXPECT_EQ(d.tracks[0].frequency, 440.0);
    EXPECT_EQ(d.tracks[0].pregap, 0);
}

TEST(Description, FormatParsesBackToTheSameDisc)
{
    Disc d;
    d.firstTrack = 97;
    d.tracks.resize(3);
    d.tracks[0] = {true, 7, Content::Sine, 261.625565, 1, 3, "Ä: #1", ""};
    d.tracks[1] = {true, 9, Content::Noise, 440.0, 4000000000u, 0, "", "B b"};
    d.title = "Album: Ö";
    d.tracks[2].audio = false;
    d.tracks[2].sectors = 11;
    d.tracks[2].pregap = 150;
    EXPECT_EQ(ParseDescription(FormatDescription(d)), d);
}

// The description as a test name: letters and digits kept, the rest spelt out.
std::string TestName(const std::string& text)
{
    std::string name;
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            name += c;
        else if (c == ':')
            name += '_';
        else if (c == '=')
            name += "Eq";
        else if (c == '-')
            name += "Minus";
        else if (c == '.')
            name += "Dot";
        else if (c == ' ')
            name += "__";
        else if (c == '#')
            name += "Comment";
        else if (c == '"')
            name += "Q";
        else if (c < 0)
            name += "X";
    }
    return name.empty() ? "Empty" : name;
}

struct BadCase {
    const char* text;
    const char* message;  // a fragment the error must contain
};

class BadDescription : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadDescription, IsRefusedWithAClearMessage)
{
    const std::string error = ParseError(GetParam().text);
    EXPECT_NE(error.find(GetParam().message), std::string::npos)
        << "input: " << GetParam().text << "\nerror: " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadDescription,
    ::testing::Values(BadCase{"", "no tracks"}, BadCase{"# only a comment\n", "no tracks"},
                      BadCase{"first=2", "no tracks"}, BadCase{"audio", "missing length"},
                      BadCase{"audio:", "bad length"}, BadCase{"audio:ten", "'audio:ten'"},
                      BadCase{"audio:-5", "bad length"}, BadCase{"audio:0", "at least one sector"},
                      BadCase{"audio:1.5", "bad length"}, BadCase{"audio:3.3s", "whole number"},
                      BadCase{"audio:99999999999", "bad length"}, BadCase{"audio:10:pregap=-1", "bad length"},
                      BadCase{"audio:10:pregap", "pregap needs a length"},
                      BadCase{"audio:10:pregap=1:pregap=2", "twice"}, BadCase{"audio:10:sine=0", "frequency"},
                      BadCase{"audio:10:sine=22050", "frequency"}, BadCase{"audio:10:sine=abc", "frequency"},
                      BadCase{"audio:10:noise=x", "seed"}, BadCase{"audio:10:noise=4294967296", "seed"},
                      BadCase{"audio:10:counter=3", "unknown option"},
                      BadCase{"audio:10:sine:noise", "more than one content"},
                      BadCase{"audio:10:square", "unknown option 'square'"},
                      BadCase{"data:10:noise", "only pregap, title"}, BadCase{"video:10", "unknown item"},
                      BadCase{"audiox:10", "unknown item"}, BadCase{"first=0 audio:1", "1..99"},
                      BadCase{"first=100 audio:1", "1..99"}, BadCase{"first=1 first=2 audio:1", "twice"},
                      BadCase{"audio:1 first=2", "before the tracks"},
                      BadCase{"first=99 audio:1 audio:1", "ends at 99"},
                      BadCase{"audio:10000m", "a CD holds at most 449850"},
                      BadCase{"audio:99m audio:57s:pregap=2s", "449925 sectors"}),
    [](const auto& p) { return TestName(p.param.text); });

INSTANTIATE_TEST_SUITE_P(
    Texts, BadDescription,
    ::testing::Values(BadCase{"audio:1:title=\"open", "no closing"}, BadCase{"album=a\"b\"c", "double quote"},
                      BadCase{"audio:1:title", "title needs a text"},
                      BadCase{"audio:1:title=a:title=b", "twice"},
                      BadCase{"album=a album=b", "album given twice"},
                      BadCase{"audio:1:performer=\"\t\"", "control"}, BadCase{"performer=\xC3(", "not UTF-8"},
                      BadCase{"audio:1:title=\"12345678901234567890123456789012345678901234567890"
                              "1234567890123456789012345678901\"",
                              "81 characters"}),
    [](const auto& p) { return TestName(p.param.message); });

TEST(Validate, RefusesDiscsTheParserCannotProduce)
{
    Disc d;
    d.tracks.resize(1);
    d.tracks[0].sectors = 10;
    EXPECT_NO_THROW(Validate(d));
    d.tracks[0].pregap = -1;
    EXPECT_THROW(Validate(d), std::invalid_argument);
    d.tracks[0].pregap = 0;
    d.tracks[0].frequency = -1;
    EXPECT_THROW(Validate(d), std::invalid_argument);
    d.tracks[0].content = Content::Counter;  // frequency only matters to a sine
    EXPECT_NO_THROW(Validate(d));
    d.tracks[0].sectors = INT32_MAX / 2;
    d.tracks.push_back(d.tracks[0]);
    EXPECT_THROW(Validate(d), std::invalid_argument);

    // The last sector a CD can address, with the pregap counted; one more is too many.
    d.tracks = {d.tracks[0], d.tracks[0]};
    d.tracks[0].sectors = kMaxDiscSectors - 160;
    d.tracks[1].sectors = 10;
    d.tracks[1].pregap = 150;
    EXPECT_NO_THROW(Validate(d));
    ++d.tracks[1].pregap;
    EXPECT_THROW(Validate(d), std::invalid_argument);

    // One CD-Text block holds 256 packs: 37 titles of 80 characters (81 bytes
    // with the NUL) and an album title of 38 fill it to the last byte.
    Disc full;
    full.tracks.assign(37, Track{true, 1, Content::Silence, 440, 1, 0, std::string(80, 'x'), ""});
    full.title = std::string(38, 'y');
    EXPECT_EQ(TextPacks(full), 256u);
    EXPECT_NO_THROW(Validate(full));
    full.title += "\u00E4";  // two bytes of UTF-8, one in the packs
    EXPECT_EQ(TextPacks(full), 257u);
    EXPECT_THROW(Validate(full), std::invalid_argument);
}

// Addressing: pregaps belong before INDEX 01 and count towards the lead-out.
TEST(Layout, StartsAndRangesFollowPregaps)
{
    const Disc d = ParseDescription("audio:10:pregap=5 audio:20 data:30:pregap=7");
    EXPECT_EQ(PregapStart(d, 0), 0);
    EXPECT_EQ(TrackStart(d, 0), 5);
    EXPECT_EQ(TrackEnd(d, 0), 14);
    EXPECT_EQ(TrackStart(d, 1), 15);
    EXPECT_EQ(PregapStart(d, 2), 35);
    EXPECT_EQ(TrackStart(d, 2), 42);
    EXPECT_EQ(LeadOut(d), 72);
    EXPECT_EQ(SectorBytes(d, 72, 0).size(), 0u);
    EXPECT_THROW(SectorBytes(d, 71, 2), std::out_of_range);
    EXPECT_THROW(SectorBytes(d, -1, 1), std::out_of_range);
    EXPECT_THROW(TrackStart(d, 3), std::out_of_range);

    // A range across a track boundary is the two tracks' bytes joined.
    const auto across = SectorBytes(d, 12, 6);
    const auto first = TrackBytes(d, 0);
    const auto second = TrackBytes(d, 1);
    EXPECT_TRUE(std::equal(first.end() - 3 * kSectorBytes, first.end(), across.begin()));
    EXPECT_TRUE(
        std::equal(second.begin(), second.begin() + 3 * kSectorBytes, across.begin() + 3 * kSectorBytes));
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return s;
}

TEST(Content, CounterRunDetectsEveryKindOfSlip)
{
    const Disc d = ParseDescription("audio:200:counter");
    const std::vector<uint8_t> pcm = TrackBytes(d, 0);
    ASSERT_EQ(CounterRunStart(pcm.data(), pcm.size()), 0u);
    // A read starting one frame late, or one sector in.
    EXPECT_EQ(CounterRunStart(pcm.data() + 4, pcm.size() - 4), 1u);
    EXPECT_EQ(CounterRunStart(pcm.data() + kSectorBytes, kSectorBytes), 588u);
    // Past 65536 frames the run continues through the high half.
    EXPECT_EQ(CounterRunStart(pcm.data() + 4 * 65535, 8), 65535u);

    std::vector<uint8_t> dropped = pcm;
    dropped.erase(dropped.begin() + 4 * 1000, dropped.begin() + 4 * 1001);
    EXPECT_FALSE(CounterRunStart(dropped.data(), dropped.size()));

    std::vector<uint8_t> repeated = pcm;
    repeated.insert(repeated.begin() + 4 * 1000, pcm.begin() + 4 * 999, pcm.begin() + 4 * 1000);
    EXPECT_FALSE(CounterRunStart(repeated.data(), repeated.size()));

    std::vector<uint8_t> swappedBytes = pcm;
    for (size_t i = 0; i < swappedBytes.size(); i += 2)
        std::swap(swappedBytes[i], swappedBytes[i + 1]);
    EXPECT_FALSE(CounterRunStart(swappedBytes.data(), swappedBytes.size()));

    std::vector<uint8_t> swappedChannels = pcm;
    for (size_t i = 0; i < swappedChannels.size(); i += 4) {
        std::swap(swappedChannels[i], swappedChannels[i + 2]);
        std::swap(swappedChannels[i + 1], swappedChannels[i + 3]);
    }
    EXPECT_FALSE(CounterRunStart(swappedChannels.data(), swappedChannels.size()));

    EXPECT_FALSE(CounterRunStart(pcm.data() + 2, pcm.size() - 4));  // half a frame off
    EXPECT_FALSE(CounterRunStart(pcm.data(), 0));
}

TEST(Content, SineIsHalfScaleWithDistinctChannels)
{
    const Disc d = ParseDescription("audio:75:sine=441");  // exactly 100 frames a period
    const std::vector<int16_t> s = Samples(TrackBytes(d, 0));
    int peakLeft = 0, peakRight = 0, differ = 0;
    for (size_t i = 0; i < s.size(); i += 2) {
        peakLeft = std::max(peakLeft, std::abs(int{s[i]}));
        peakRight = std::max(peakRight, std::abs(int{s[i + 1]}));
        differ += s[i] != s[i + 1];
    }
    EXPECT_NEAR(peakLeft, 16384, 10);
    EXPECT_NEAR(peakRight, 16384, 10);
    EXPECT_GT(differ, static_cast<int>(s.size() / 2) * 9 / 10);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[2 * 25], s[2 * 125]);  // periodic
    EXPECT_NEAR(s[2 * 25], 16384, 3);  // quarter period: the crest
}

TEST(Content, NoiseIsFullScaleAndSeeded)
{
    const Disc d = ParseDescription("audio:20:noise=1 audio:20:noise=2 audio:20:noise=1");
    const std::vector<int16_t> s = Samples(TrackBytes(d, 0));
    EXPECT_EQ(TrackBytes(d, 0), TrackBytes(d, 2));
    EXPECT_NE(TrackBytes(d, 0), TrackBytes(d, 1));
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    EXPECT_LT(*lo, -30000);
    EXPECT_GT(*hi, 30000);
}

TEST(Content, MelodyIsAudibleQuietAndEndsSoftly)
{
    const Disc d = ParseDescription("audio:10s:melody=3 audio:10s:melody=4 audio:10s:silence");
    const std::vector<int16_t> s = Samples(TrackBytes(d, 0));
    int peak = 0;
    for (int16_t v : s)
        peak = std::max(peak, std::abs(int{v}));
    EXPECT_GT(peak, 4000);
    EXPECT_LT(peak, 32767 / 2);
    EXPECT_LT(std::abs(int{s.back()}), 64);  // faded out, no click at the end
    EXPECT_NE(TrackBytes(d, 0), TrackBytes(d, 1));
    const std::vector<uint8_t> silence = TrackBytes(d, 2);
    EXPECT_EQ(std::count(silence.begin(), silence.end(), 0), static_cast<long>(silence.size()));
}

}  // namespace

#include <fstream>
#include <sstream>

namespace {

// The demo command burns this description into the demo's virtual drive;
// the dialog shows its titles.
TEST(DemoDisc, HasAFewShortTitledTunesAndADataTrackLast)
{
    std::ifstream in(DEMO_DISC_PATH);
    ASSERT_TRUE(in) << DEMO_DISC_PATH;
    std::ostringstream text;
    text << in.rdbuf();
    const Disc d = ParseDescription(text.str());
    ASSERT_GE(d.tracks.size(), 4u);
    ASSERT_LE(d.tracks.size(), 6u);
    EXPECT_FALSE(d.tracks.back().audio);
    EXPECT_FALSE(d.title.empty());
    EXPECT_TRUE(std::any_of(d.tracks.begin(), d.tracks.end(), [](const Track& t) {
        return t.title.find("\u00FC") != std::string::npos;
    })) << "an umlaut in a title";
    for (size_t i = 0; i + 1 < d.tracks.size(); ++i) {
        SCOPED_TRACE(i);
        const Track& t = d.tracks[i];
        EXPECT_TRUE(t.audio);
        EXPECT_FALSE(t.title.empty());
        EXPECT_TRUE(t.content == Content::Melody || t.content == Content::Sine);
        EXPECT_GE(t.sectors, 20 * kSectorsPerSecond);
        EXPECT_LE(t.sectors, 60 * kSectorsPerSecond);
    }
}

}  // namespace
