#include "IniFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct TIniCase {
    const char* Name;
    std::string Content;
    std::string Section;
    std::string Key;
    std::string Expected;  // "<default>" when the default must come back
};

class IniFileRead : public ::testing::TestWithParam<TIniCase> {};

TEST_P(IniFileRead, ReadsWithWindowsSemantics)
{
    testsupport::TTempDir dir;
    const std::string path = dir.Write("Language.ini", GetParam().Content);
    const os::TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(GetParam().Section, GetParam().Key, "<default>"), GetParam().Expected);
}

const TIniCase kIniCases[] = {
    {"ExactMatch", "[GERMAN]\r\n20000=Musik\r\n", "GERMAN", "20000", "Musik"},
    {"SectionAnyCase", "[GERMAN]\r\n20000=Musik\r\n", "German", "20000", "Musik"},
    {"KeyAnyCase", "[Settings]\r\ndiashowdir=/data/show\r\n", "SETTINGS", "DiashowDir", "/data/show"},
    {"BlanksAroundNamesAndValues", "  [  ENGLISH \t]  \n \t20001 =  Insert a CD \t\n", "ENGLISH", "20001",
     "Insert a CD"},
    {"BlanksInsideValueKept", "[S]\nk=a  b\n", "S", "k", "a  b"},
    {"BlanksAroundRequestedNames", "[S]\nk=v\n", " S ", " k", "v"},
    {"FirstKeyWins", "[S]\nk=first\nK=second\n", "S", "k", "first"},
    {"FirstSectionWins", "[S]\nk=first\n[s]\nk=second\n", "S", "k", "first"},
    {"LaterDuplicateSectionNotSearched", "[S]\na=1\n[S]\nk=second\n", "S", "k", "<default>"},
    {"MissingSection", "[GERMAN]\n20000=Musik\n", "ENGLISH", "20000", "<default>"},
    {"MissingKey", "[GERMAN]\n20000=Musik\n", "GERMAN", "20001", "<default>"},
    {"KeyOfOtherSectionNotFound", "[A]\nk=a\n[B]\nx=b\n", "B", "k", "<default>"},
    {"EmptyValueIsNotDefault", "[S]\nk=\n", "S", "k", ""},
    {"CommentLineIgnored", "[S]\n;k=commented\nk=real\n", "S", "k", "real"},
    {"CommentOnlyKey", "[S]\n;k=commented\n", "S", ";k", "<default>"},
    {"KeyBeforeAnySectionIgnored", "k=orphan\n[S]\n", "S", "k", "<default>"},
    {"LineWithoutEqualsIgnored", "[S]\nk\nk=v\n", "S", "k", "v"},
    {"EqualsInValueKept", "[S]\nk=a=b\n", "S", "k", "a=b"},
    {"DoubleQuotesDropped", "[SETTINGS]\nDiashowDir=\"/home/u/Show\"\n", "SETTINGS", "DiashowDir",
     "/home/u/Show"},
    {"SingleQuotesDropped", "[S]\nk='C:\\Show'\n", "S", "k", "C:\\Show"},
    {"BlanksOutsideQuotesDroppedInsideKept", "[S]\nk =  \" a b \"  \n", "S", "k", " a b "},
    {"OnlyOnePairDropped", "[S]\nk=\"\"a\"\"\n", "S", "k", "\"a\""},
    {"InnerQuotesKept", "[S]\nk=\"a\" \"b\"\n", "S", "k", "a\" \"b"},
    {"EmptyQuotesGiveEmptyValue", "[S]\nk=''\n", "S", "k", ""},
    {"MismatchedQuotesKept", "[S]\nk=\"a'\n", "S", "k", "\"a'"},
    {"LeadingQuoteOnlyKept", "[S]\nk=\"/home/u/Show\n", "S", "k", "\"/home/u/Show"},
    {"TrailingQuoteOnlyKept", "[S]\nk=/home/u/Show'\n", "S", "k", "/home/u/Show'"},
    {"LoneQuoteKept", "[S]\nk=\"\n", "S", "k", "\""},
    {"QuotesInsideValueKept", "[S]\nk=say \"hi\"\n", "S", "k", "say \"hi\""},
    {"NoEscapesOrLists", "[S]\nk=a\\nb, c; d\n", "S", "k", "a\\nb, c; d"},
    {"Windows1252Byte", "[GERMAN]\r\n20002=W\xE4hlen Sie\r\n", "GERMAN", "20002", "W\u00e4hlen Sie"},
    {"Windows1252Euro", "[S]\nk=5 \x80\n", "S", "k", "5 \u20ac"},
    {"Windows1252SectionName", "[GR\xDC\x4E]\nk=v\n", "GR\u00dcN", "k", "v"},
    {"Utf8Kept", "[GERMAN]\n20002=W\u00e4hlen \u00df\n", "GERMAN", "20002", "W\u00e4hlen \u00df"},
    {"Utf8BomSkipped", "\xEF\xBB\xBF[GERMAN]\r\n20000=Musik\r\n", "GERMAN", "20000", "Musik"},
    {"Utf8BomBeforeWindows1252Text", "\xEF\xBB\xBF[GERMAN]\r\n20002=W\xE4hlen\r\n", "GERMAN", "20002",
     "W\u00e4hlen"},
    {"CrOnlyLineEnds", "[S]\rk=v\rx=y\r", "S", "x", "y"},
    {"LastLineWithoutBreak", "[S]\nk=v", "S", "k", "v"},
    {"EmptyFile", "", "S", "k", "<default>"},
};

INSTANTIATE_TEST_SUITE_P(Cases, IniFileRead, ::testing::ValuesIn(kIniCases),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(IniFile, MissingFileReadsAsEmpty)
{
    testsupport::TTempDir dir;
    const std::string path = dir.Path() + "/no/such/Ripper.ini";
    const os::TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("SETTINGS", "DiashowDir", ""), "");
    EXPECT_EQ(ini.ReadString("SETTINGS", "DiashowDir", "fallback"), "fallback");
    EXPECT_EQ(ini.FileName(), path);
}

TEST(IniFile, FolderReadsAsEmpty)
{
    testsupport::TTempDir dir;
    const os::TIniFile ini(dir.Path());
    EXPECT_EQ(ini.ReadString("S", "k", "d"), "d");
}

TEST(IniFile, ReadsTheFileOnlyOnce)
{
    testsupport::TTempDir dir;
    const std::string path = dir.Write("a.ini", "[S]\nk=old\n");
    const os::TIniFile ini(path);
    dir.Write("a.ini", "[S]\nk=new\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "old");
}

}  // namespace
