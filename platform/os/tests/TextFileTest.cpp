#include "Rtl.h"
#include "TestSupport.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

using Lines = std::vector<std::string>;

struct TSplitCase {
    const char* Name;
    std::string Text;
    Lines Expected;
};

class SplitLinesCase : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitLinesCase, SplitsAtEveryKindOfBreak)
{
    EXPECT_EQ(os::SplitLines(GetParam().Text), GetParam().Expected);
}

const TSplitCase kSplitCases[] = {
    {"Empty", "", {}},
    {"OneLineNoBreak", "GERMAN", {"GERMAN"}},
    {"FinalCrLfAddsNoLine", "GERMAN\r\n", {"GERMAN"}},
    {"CrLf", "a\r\nb", {"a", "b"}},
    {"Lf", "a\nb\n", {"a", "b"}},
    {"Cr", "a\rb\r", {"a", "b"}},
    {"Mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"EmptyLineKept", "a\n\nb", {"a", "", "b"}},
    {"LfThenCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
    {"OnlyBreak", "\r\n", {""}},
    {"TwoFinalBreaks", "a\r\n\r\n", {"a", ""}},
    {"BlanksKept", " a \n", {" a "}},
};

INSTANTIATE_TEST_SUITE_P(Cases, SplitLinesCase, ::testing::ValuesIn(kSplitCases),
                         [](const auto& p) { return std::string(p.param.Name); });

struct TDecodeCase {
    const char* Name;
    std::string Bytes;
    std::string Expected;
};

class DecodeCase : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(DecodeCase, DecodesUtf8OrWindows1252)
{
    EXPECT_EQ(os::DecodeSettingsText(GetParam().Bytes), GetParam().Expected);
}

const TDecodeCase kDecodeCases[] = {
    {"Ascii", "GERMAN", "GERMAN"},
    {"Utf8Kept", "Gr\xC3\xBC\xC3\x9F", "Gr\u00fc\u00df"},
    {"Utf8FourBytes", "\xF0\x9F\x8E\xB5", "\U0001F3B5"},
    {"Utf8BomDropped", "\xEF\xBB\xBFGERMAN", "GERMAN"},
    {"LatinByte", "\xE4", "\u00e4"},
    {"SpecialRange", "\x80\x84\x8A\x9F", "\u20ac\u201e\u0160\u0178"},
    {"UnassignedByteToControl", "\x81", "\u0081"},
    {"TruncatedSequence", "Gr\xC3", "Gr\u00c3"},
    {"Overlong", "\xC0\xAF", "\u00c0\u00af"},
    {"Surrogate", "\xED\xA0\x80", "\u00ed\u00a0\u20ac"},
    {"AboveUnicode", "\xF4\x90\x80\x80", "\u00f4\u0090\u20ac\u20ac"},
    {"BomDroppedBeforeLatinText", "\xEF\xBB\xBFGr\xFC\xDF", "Gr\u00fc\u00df"},
    {"BomOnlyAtTheStart", "a\xEF\xBB\xBF\xE4", "a\u00ef\u00bb\u00bf\u00e4"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DecodeCase, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(LoadTextLines, ReadsDecodesAndSplits)
{
    testsupport::TTempDir dir;
    const std::string path = dir.Write("LanguageIsSet.ini", "GERMAN\r\nGr\xFC\xDF\r\n");
    EXPECT_EQ(os::LoadTextLines(path), (Lines{"GERMAN", "Gr\u00fc\u00df"}));
}

TEST(LoadTextLines, EmptyFileGivesNoLines)
{
    testsupport::TTempDir dir;
    EXPECT_TRUE(os::LoadTextLines(dir.Write("empty.ini", "")).empty());
}

class LoadTextLinesFailure : public ::testing::TestWithParam<const char*> {};

TEST_P(LoadTextLinesFailure, RaisesTheLibraryOpenError)
{
    testsupport::TTempDir dir;
    dir.Write("sub/placeholder", "");
    ::mkfifo((dir.Path() + "/fifo.ini").c_str(), 0644);                      // would block a reader for good
    std::filesystem::create_symlink("/dev/zero", dir.Path() + "/zero.ini");  // would never end
    const std::string path = dir.Path() + GetParam();
    try {
        os::LoadTextLines(path);
        FAIL() << "no error for " << path;
    } catch (const rtl::EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + path + " kann nicht ge\u00f6ffnet werden");
    }
}

const char* const kFailureNames[] = {"MissingFile", "MissingFolder", "Folder", "Fifo", "LinkToADevice"};

INSTANTIATE_TEST_SUITE_P(Paths, LoadTextLinesFailure,
                         ::testing::Values("/LanguageIsSet.ini", "/missing/LanguageIsSet.ini", "/sub",
                                           "/fifo.ini", "/zero.ini"),
                         [](const auto& p) { return std::string(kFailureNames[p.index]); });

}  // namespace
