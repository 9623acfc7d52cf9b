#include "RipperRules.h"

#include <gtest/gtest.h>

namespace {

struct TReplaceCase {
    const char* Name;
    const char* Text;
    const char* Expected;
};

void PrintTo(const TReplaceCase& c, std::ostream* os) { *os << c.Name; }

class ReplaceProductNameTest : public testing::TestWithParam<TReplaceCase> {};

TEST_P(ReplaceProductNameTest, ReplacesTheFirstPlaceholderInAnyCase)
{
    EXPECT_EQ(ripper::ReplaceProductName(GetParam().Text, "Fotaria"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReplaceProductNameTest,
    testing::Values(TReplaceCase{"LowerCase", "Zurück zu $prg_name$", "Zurück zu Fotaria"},
                    TReplaceCase{"MixedCase", "$Prg_Name$-Diashow", "Fotaria-Diashow"},
                    TReplaceCase{"OnlyFirstOfTwo", "$PRG_NAME$ und $PRG_NAME$", "Fotaria und $PRG_NAME$"},
                    TReplaceCase{"SharpSBefore", "Größe: $PRG_NAME$!", "Größe: Fotaria!"},
                    TReplaceCase{"ManySharpS", "ßßß$prg_name$ßß", "ßßßFotariaßß"},
                    TReplaceCase{"OnlyPlaceholder", "$PRG_NAME$", "Fotaria"},
                    TReplaceCase{"NoPlaceholder", "Auswahl Titel", "Auswahl Titel"},
                    TReplaceCase{"CutShort", "Pro $PRG_NAME", "Pro $PRG_NAME"}, TReplaceCase{"Empty", "", ""},
                    TReplaceCase{"RestKeepsItsCase", "$PRG_NAME$ Pro: Audio-CD", "Fotaria Pro: Audio-CD"}),
    [](const testing::TestParamInfo<TReplaceCase>& param) { return std::string(param.param.Name); });

struct TProgramDirCase {
    const char* Name;
    const char* ProgramFile;
    const char* Expected;
};

void PrintTo(const TProgramDirCase& c, std::ostream* os) { *os << c.Name; }

class ProgramDirTest : public testing::TestWithParam<TProgramDirCase> {};

TEST_P(ProgramDirTest, EndsInExactlyOneSeparator)
{
    EXPECT_EQ(ripper::ProgramDirOf(GetParam().ProgramFile), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProgramDirTest,
    testing::Values(TProgramDirCase{"LinuxSubFolder", "/usr/lib/ripper/Ripper", "/usr/lib/ripper/"},
                    TProgramDirCase{"LinuxRoot", "/Ripper", "/"},
                    TProgramDirCase{"LinuxBlanks", "/opt/Fotaria Pro/bin/Ripper", "/opt/Fotaria Pro/bin/"},
                    TProgramDirCase{"DriveRoot", "C:\\Ripper.exe", "C:\\"},
                    TProgramDirCase{"DriveSubFolder", "C:\\Programme\\Fotaria\\Ripper.exe",
                                    "C:\\Programme\\Fotaria\\"},
                    TProgramDirCase{"DriveWithoutSlash", "C:Ripper.exe", "C:\\"},
                    TProgramDirCase{"NetworkShare", "\\\\server\\share\\Ripper.exe", "\\\\server\\share\\"}),
    [](const testing::TestParamInfo<TProgramDirCase>& param) { return std::string(param.param.Name); });

}  // namespace
