// CD-Text read with the table of contents, from cue sheets (libcdio's parser)
// and from emulated drives (READ TOC format 5, decoded by us, read by the
// drive's reader thread), as CR_GetCDText hands it out.  The drive cases run
// in the ctest test that preloads libfakedrive.
#include "CdRipTestSupport.h"

#include <cddrives/CdDrives.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

using namespace cdriptest;

namespace {

struct TextCase {
    const char* name;
    uint8_t preferred;
    const char* texts;         // album title|performer|track 1 title|performer|...; "" without text
    const char* description;   // for mkdiscimage
    const char* companion;     // the emulator's TRAY.cdtext
    const char* faults;        // the emulator's TRAY.drive
    const char* cueText = "";  // in the cue, replaced by cueBytes
    const char* cueBytes = "";
    bool drive = false;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

std::string Text(int32_t track, int32_t field, uint8_t language)
{
    char text[256];
    return CR_GetCDText(track, field, language, text, sizeof text) == CDRIP_OK ? text : "";
}

// album title|performer|track 1 title|performer|...; "" when all are empty.
std::string Joined(uint8_t language)
{
    std::string joined;
    for (int32_t t = 0; t <= CR_GetNumTocEntries(); ++t)
        joined += (t ? "|" : "") + Text(t, CDRIP_TEXT_TITLE, language) + "|" +
                  Text(t, CDRIP_TEXT_PERFORMER, language);
    return joined.find_first_not_of('|') == std::string::npos ? "" : joined;
}

constexpr uint8_t kGerman = CDRIP_TEXT_GERMAN, kEnglish = CDRIP_TEXT_ENGLISH;

// Both sources: a cue sheet holds one English block.
const TextCase kBoth[] = {
    {"AlbumOnly", kGerman, "Lieder: Sommer|Die Ärzte||||",
     "album=\"Lieder: Sommer\" performer=\" Die Ärzte \" audio:75 audio:75", "", ""},
    {"SomeTracksUntitledFromTrack3", kEnglish, "Sommer||A||||Über den Wolken|Chor: Süd|Daten|",
     "first=3 album=Sommer audio:75:title=A audio:75 "
     "audio:75:title=\"Über den Wolken\":performer=\"Chor: Süd\" data:75:title=Daten",
     "", ""},
};

const TextCase kCueOnly[] = {
    {"Utf8BeyondLatin1", kGerman, "Preis: 5 € für Ōsaka|||", "album=\"Preis: 5 € für Ōsaka\" audio:75", "",
     ""},
    {"Latin1Cue", kGerman, "||Käse|", "audio:75:title=Käse", "", "", "Käse", "K\xE4se"},
};

const TextCase kDriveOnly[] = {
    {"TwoBlocksPreferredAbsent", kGerman, "Summer||One|", "album=Summer audio:75:title=One",
     "block=15\ntitle=L'été\n", ""},
    {"NeitherPreferredNorEnglishTakesTheFirst", kGerman, "Été|||", "album=Été audio:75",
     "language=15\nblock=0x1D\ntitle=Zomer\n", ""},
    // Pack 0 holds "Sommer\0Über "; pack 1 goes on 5 characters into that title.
    {"BadCrcDropsTheStringsItCuts", kGerman, "||||Zwei||Drei|",
     "album=Sommer audio:75:title=\"Über den Wolken\" audio:75:title=Zwei audio:75:title=Drei", "",
     "cdtext-bad-crc=0"},
    {"SizePacksLostKeepsTheText", kGerman, "Sommer||Eins|", "album=Sommer audio:75:title=Eins", "",
     "cdtext-bad-crc=1 cdtext-bad-crc=2 cdtext-bad-crc=3"},
    {"AsciiBlockReplacesWhatItCannotHoldAndTabRepeats", kGerman, "||K\uFFFD\uFFFDse|Chor|A\uFFFDB|Chor",
     "audio:75:title=Käse audio:75",
     "charset=1\ntitle2=A\x01"
     "B\nperformer1=Chor\nperformer2=\t\n",
     ""},
};

class DiscTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(DiscTextTest, ReadsTheChosenBlock)
{
    const TextCase& c = GetParam();
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
    if (!c.drive) {
        UseTrays({cue});
        ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    } else {
        // The drive in the dialog's way: its reader thread reads the text.
        ScopedEnv drives("FAKEDRIVE", "/dev/sr0=" + cue), shown("CDRIP_IMAGES_ONLY", "0"),
            none("CDRIP_IMAGES", "");
        ASSERT_EQ(CR_Init(), CDRIP_OK);
        const std::vector<cddrives::Drive> listed = cddrives::ListDrives();
        ASSERT_TRUE(!listed.empty() && listed[0].path == "/dev/sr0") << "run through ctest (libfakedrive)";
        ASSERT_EQ(CR_SetDriveReading(CDRIP_READ_IN_BACKGROUND), CDRIP_OK);
        const Stopwatch clock;
        while (CR_ReadToc() != CDRIP_OK && clock.Seconds() < 20) {
        }
        CR_SetDriveReading(CDRIP_READ_ON_CALL);
        ASSERT_GT(CR_GetNumTocEntries(), 0);
    }
    EXPECT_EQ(Joined(c.preferred), c.texts);
}

// A text is cut where it fits, never inside a character.
TEST(DiscText, CutAtACharacterBoundaryAndRefusedOutsideTheRanges)
{
    ScratchDir dir;
    discimage::WriteImage(discimage::ParseDescription("audio:75:title=Über"), dir.File("t.cue"));
    UseTrays({dir.File("t.cue")});
    ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    char text[8] = "xxxxxxx";
    EXPECT_EQ(CR_GetCDText(1, CDRIP_TEXT_TITLE, kGerman, text, 3), CDRIP_OK);
    EXPECT_STREQ(text, "Ü");
    EXPECT_EQ(CR_GetCDText(1, CDRIP_TEXT_TITLE, kGerman, text, 2), CDRIP_OK);
    EXPECT_STREQ(text, "");
    const std::pair<int32_t, int32_t> outside[] = {
        {0, CDRIP_TEXT_TITLE}, {2, CDRIP_TEXT_TITLE}, {1, 2}, {-1, 0}};
    for (const auto& [track, field] : outside)
        EXPECT_EQ(CR_GetCDText(track, field, kGerman, text, sizeof text), CDRIP_ERROR)
            << track << " " << field;
    EXPECT_EQ(CR_GetCDText(1, CDRIP_TEXT_TITLE, kGerman, nullptr, 8), CDRIP_ERROR);
    EXPECT_EQ(CR_GetCDText(1, CDRIP_TEXT_TITLE, kGerman, text, 0), CDRIP_ERROR);
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
