// CD-Text read from cue sheets (libcdio's parser) and from emulated drives
// (READ TOC format 5, decoded by us).  The drive cases run in the ctest test
// that preloads libfakedrive.
#include "CdRipTestSupport.h"

#include "DiscText.h"

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

using namespace cdriptest;

namespace {

struct TextCase {
    const char* name;
    uint8_t preferred;
    uint8_t language;          // of the block read
    const char* texts;         // album title|performer|track 1 title|performer|...; "" without text
    const char* description;   // for mkdiscimage
    const char* companion;     // the emulator's TRAY.cdtext
    const char* faults;        // the emulator's TRAY.drive
    const char* cueText = "";  // in the cue, replaced by cueBytes
    const char* cueBytes = "";
    bool drive = false;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

std::string Joined(const cdrip::DiscText& text)
{
    if (text.Empty())
        return "";
    std::string joined = text.title + "|" + text.performer;
    for (const cdrip::TrackText& t : text.tracks)
        joined += "|" + t.title + "|" + t.performer;
    return joined;
}

constexpr uint8_t kGerman = cdrip::kCdTextGerman, kEnglish = cdrip::kCdTextEnglish, kFrench = 0x0F;

// Both sources: a cue sheet holds one English block.
const TextCase kBoth[] = {
    {"NoText", kGerman, 0, "", "audio:75:noise=1 audio:75:noise=2", "", ""},
    {"AlbumOnly", kGerman, kEnglish, "Lieder: Sommer|Die Ärzte||||",
     "album=\"Lieder: Sommer\" performer=\" Die Ärzte \" audio:75 audio:75", "", ""},
    {"SomeTracksUntitledFromTrack3", kEnglish, kEnglish, "Sommer||A||||Über den Wolken|Chor: Süd|Daten|",
     "first=3 album=Sommer audio:75:title=A audio:75 "
     "audio:75:title=\"Über den Wolken\":performer=\"Chor: Süd\" data:75:title=Daten",
     "", ""},
};

const TextCase kCueOnly[] = {
    {"Utf8BeyondLatin1", kGerman, kEnglish, "Preis: 5 € für Ōsaka|||",
     "album=\"Preis: 5 € für Ōsaka\" audio:75", "", ""},
    {"Latin1Cue", kGerman, kEnglish, "||Käse|", "audio:75:title=Käse", "", "", "Käse", "K\xE4se"},
};

const TextCase kDriveOnly[] = {
    {"TwoBlocksPreferredGerman", kGerman, kGerman, "Sommer||Eins|||",
     "album=Summer audio:75:title=One audio:75:title=Two", "block=8\ntitle=Sommer\ntitle1=Eins\n", ""},
    {"TwoBlocksPreferredAbsent", kGerman, kEnglish, "Summer||One|", "album=Summer audio:75:title=One",
     "block=15\ntitle=L'été\n", ""},
    {"NeitherPreferredNorEnglishTakesTheFirst", kGerman, kFrench, "Été|||", "album=Été audio:75",
     "language=15\nblock=0x1D\ntitle=Zomer\n", ""},
    // Pack 0 holds "Sommer\0Über "; pack 1 goes on 5 characters into that title.
    {"BadCrcDropsTheStringsItCuts", kGerman, kEnglish, "||||Zwei||Drei|",
     "album=Sommer audio:75:title=\"Über den Wolken\" audio:75:title=Zwei audio:75:title=Drei", "",
     "cdtext-bad-crc=0"},
    {"SizePacksLostKeepsTheText", kGerman, 0, "Sommer||Eins|", "album=Sommer audio:75:title=Eins", "",
     "cdtext-bad-crc=1 cdtext-bad-crc=2 cdtext-bad-crc=3"},
    {"AsciiBlockReplacesWhatItCannotHoldAndTabRepeats", kGerman, kEnglish,
     "||K\uFFFD\uFFFDse|Chor|A\uFFFDB|Chor", "audio:75:title=Käse audio:75",
     "charset=1\ntitle2=A\x01"
     "B\nperformer1=Chor\nperformer2=\t\n",
     ""},
};

struct CdioCloser {
    void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};

class DiscTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(DiscTextTest, ReadsTheChosenBlock)
{
    const TextCase& c = GetParam();
    CR_Init();  // the library's log handler, before libcdio opens anything
    ScratchDir dir;
    const std::string cue = dir.File("tray0.cue");
    discimage::WriteImage(discimage::ParseDescription(c.description), cue);
    if (*c.cueText) {
        std::stringstream text;
        text << std::ifstream(cue).rdbuf();
        std::string bytes = text.str();
        std::ofstream(cue) << bytes.replace(bytes.find(c.cueText), std::strlen(c.cueText), c.cueBytes);
    }
    std::ofstream(cue + ".cdtext") << c.companion;
    std::ofstream(cue + ".drive") << c.faults;
    ScopedEnv drives("FAKEDRIVE", "/dev/sr0=" + cue);
    const std::unique_ptr<CdIo_t, CdioCloser> cdio(c.drive ? cdio_open("/dev/sr0", DRIVER_DEVICE)
                                                           : cdio_open(cue.c_str(), DRIVER_BINCUE));
    ASSERT_NE(cdio, nullptr) << (c.drive ? "run through ctest, which preloads libfakedrive" : cue);

    const cdrip::DiscText text = cdrip::ReadDiscText(cdio.get(), c.preferred);
    EXPECT_EQ(Joined(text), c.texts);
    EXPECT_EQ(text.language, c.language);
}

template <size_t N>
std::vector<TextCase> Cases(bool drive, const TextCase (&more)[N])
{
    std::vector<TextCase> cases(std::begin(kBoth), std::end(kBoth));
    cases.insert(cases.end(), std::begin(more), std::end(more));
    for (TextCase& c : cases)
        c.drive = drive;
    return cases;
}

std::string CaseName(const testing::TestParamInfo<TextCase>& p) { return p.param.name; }

INSTANTIATE_TEST_SUITE_P(Cue, DiscTextTest, testing::ValuesIn(Cases(false, kCueOnly)), CaseName);
INSTANTIATE_TEST_SUITE_P(FakeDrive, DiscTextTest, testing::ValuesIn(Cases(true, kDriveOnly)), CaseName);

}  // namespace
