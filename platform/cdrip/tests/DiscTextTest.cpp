// CD-Text read from cue sheets (libcdio's parser) and from emulated drives
// (READ TOC format 5, decoded by us).  The drive cases run in the ctest test
// that preloads libfakedrive.
#include "CdRipTestSupport.h"

#include "CdDrives.h"
#include "DiscText.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

using namespace cdriptest;

namespace {

struct TextCase {
    const char* name;
    const char* description;  // for mkdiscimage
    const char* companion;    // the emulator's TRAY.cdtext
    const char* faults;       // the emulator's TRAY.drive
    uint8_t preferred;
    uint8_t language;  // of the block read
    // Album title and performer, then title and performer of each track; none: no text.
    std::vector<std::string> texts;
    std::pair<const char*, const char*> cuePatch = {"", ""};  // bytes of the cue replaced
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> Flat(const cdrip::DiscText& text)
{
    if (text.Empty())
        return {};
    std::vector<std::string> flat = {text.title, text.performer};
    for (const cdrip::TrackText& t : text.tracks) {
        flat.push_back(t.title);
        flat.push_back(t.performer);
    }
    return flat;
}

constexpr uint8_t kGerman = cdrip::kCdTextGerman, kEnglish = cdrip::kCdTextEnglish, kFrench = 0x0F;
const std::string kBad = "\uFFFD";

// Both sources: a cue sheet holds one English block.
const std::vector<TextCase> kBoth = {
    {"NoText", "audio:75:noise=1 audio:75:noise=2", "", "", kGerman, 0, {}},
    {"AlbumOnly",
     "album=\"Lieder: Sommer\" performer=\" Die Ärzte \" audio:75 audio:75",
     "",
     "",
     kGerman,
     kEnglish,
     {"Lieder: Sommer", "Die Ärzte", "", "", "", ""}},
    {"SomeTracksUntitledFromTrack3",
     "first=3 album=Sommer audio:75:title=A audio:75 "
     "audio:75:title=\"Über den Wolken\":performer=\"Chor: Süd\" data:75:title=Daten",
     "",
     "",
     kEnglish,
     kEnglish,
     {"Sommer", "", "A", "", "", "", "Über den Wolken", "Chor: Süd", "Daten", ""}},
};

const std::vector<TextCase> kCueOnly = {
    {"Utf8BeyondLatin1",
     "album=\"Preis: 5 € für Ōsaka\" audio:75",
     "",
     "",
     kGerman,
     kEnglish,
     {"Preis: 5 € für Ōsaka", "", "", ""}},
    {"Latin1Cue",
     "audio:75:title=Käse",
     "",
     "",
     kGerman,
     kEnglish,
     {"", "", "Käse", ""},
     {"Käse", "K\xE4se"}},
};

const std::vector<TextCase> kDriveOnly = {
    {"TwoBlocksPreferredGerman",
     "album=Summer audio:75:title=One audio:75:title=Two",
     "block=8\ntitle=Sommer\ntitle1=Eins\n",
     "",
     kGerman,
     kGerman,
     {"Sommer", "", "Eins", "", "", ""}},
    {"TwoBlocksPreferredAbsent",
     "album=Summer audio:75:title=One",
     "block=15\ntitle=L'été\n",
     "",
     kGerman,
     kEnglish,
     {"Summer", "", "One", ""}},
    {"NeitherPreferredNorEnglishTakesTheFirst",
     "album=Été audio:75",
     "language=15\nblock=0x1D\ntitle=Zomer\n",
     "",
     kGerman,
     kFrench,
     {"Été", "", "", ""}},
    // Pack 0 holds "Sommer\0Über "; pack 1 goes on 5 characters into that title.
    {"BadCrcDropsTheStringsItCuts",
     "album=Sommer audio:75:title=\"Über den Wolken\" audio:75:title=Zwei audio:75:title=Drei",
     "",
     "cdtext-bad-crc=0",
     kGerman,
     kEnglish,
     {"", "", "", "", "Zwei", "", "Drei", ""}},
    {"SizePacksLostKeepsTheText",
     "album=Sommer audio:75:title=Eins",
     "",
     "cdtext-bad-crc=1 cdtext-bad-crc=2 cdtext-bad-crc=3",
     kGerman,
     0,
     {"Sommer", "", "Eins", ""}},
    {"AsciiBlockReplacesWhatItCannotHoldAndTabRepeats",
     "audio:75:title=Käse audio:75",
     "charset=1\ntitle2=A\x01"
     "B\nperformer1=Chor\nperformer2=\t\n",
     "",
     kGerman,
     kEnglish,
     {"", "", "K" + kBad + kBad + "se", "Chor", "A" + kBad + "B", "Chor"}},
};

struct CdioCloser {
    void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};

class DiscTextTest : public testing::TestWithParam<std::tuple<bool, TextCase>> {};

TEST_P(DiscTextTest, ReadsTheChosenBlock)
{
    const auto& [drive, c] = GetParam();
    cddrives::InstallLogHandler();
    ScratchDir dir;
    const std::string cue = dir.File("tray0.cue");
    discimage::WriteImage(discimage::ParseDescription(c.description), cue);
    if (*c.cuePatch.first) {
        std::stringstream text;
        text << std::ifstream(cue).rdbuf();
        std::string bytes = text.str();
        bytes.replace(bytes.find(c.cuePatch.first), std::string(c.cuePatch.first).size(), c.cuePatch.second);
        std::ofstream(cue) << bytes;
    }
    std::ofstream(cue + ".cdtext") << c.companion;
    std::ofstream(cue + ".drive") << c.faults;
    ScopedEnv drives("FAKEDRIVE", "/dev/sr0=" + cue);
    const std::unique_ptr<CdIo_t, CdioCloser> cdio(drive ? cdio_open("/dev/sr0", DRIVER_DEVICE)
                                                         : cdio_open(cue.c_str(), DRIVER_BINCUE));
    ASSERT_NE(cdio, nullptr) << (drive ? "run through ctest, which preloads libfakedrive" : cue);

    const cdrip::DiscText text = cdrip::ReadDiscText(cdio.get(), c.preferred);
    EXPECT_EQ(Flat(text), c.texts);
    EXPECT_EQ(text.language, c.language);
}

std::vector<std::tuple<bool, TextCase>> Cases(bool drive, std::vector<TextCase> more)
{
    std::vector<std::tuple<bool, TextCase>> cases;
    for (const TextCase& c : kBoth)
        cases.emplace_back(drive, c);
    for (const TextCase& c : more)
        cases.emplace_back(drive, c);
    return cases;
}

std::string CaseName(const testing::TestParamInfo<std::tuple<bool, TextCase>>& p)
{
    return std::get<1>(p.param).name;
}

INSTANTIATE_TEST_SUITE_P(Cue, DiscTextTest, testing::ValuesIn(Cases(false, kCueOnly)), CaseName);
INSTANTIATE_TEST_SUITE_P(FakeDrive, DiscTextTest, testing::ValuesIn(Cases(true, kDriveOnly)), CaseName);

}  // namespace
