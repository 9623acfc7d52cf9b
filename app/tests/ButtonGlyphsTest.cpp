#include "ButtonGlyphs.h"

#include <QPixmap>

#include <gtest/gtest.h>

namespace {

bool IsGreen(QRgb c) { return qGreen(c) > 100 && qRed(c) < 60 && qBlue(c) < 60 && qAlpha(c) == 255; }
bool IsWhite(QRgb c) { return qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 255 && qAlpha(c) == 255; }
bool IsRed(QRgb c) { return qRed(c) > 150 && qGreen(c) < 60 && qBlue(c) < 60 && qAlpha(c) == 255; }
bool IsLightGrey(QRgb c)
{
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) >= 170 && qRed(c) < 255 &&
           qAlpha(c) == 255;
}

// Which way an arrow points: its white pixels lean to the side of the head.
int WhiteBalance(const QImage& frame)
{
    int balance = 0;
    for (int y = 0; y < kGlyphSize; ++y)
        for (int x = 0; x < kGlyphSize; ++x)
            if (IsWhite(frame.pixel(x, y)))
                balance += x < kGlyphSize / 2 ? -1 : 1;
    return balance;
}

TEST(ButtonGlyphs, StartIsAWhiteRightArrowOnGreen)
{
    const QImage frame = ButtonGlyphFrame(TButtonGlyph::Start, false);
    EXPECT_TRUE(IsGreen(frame.pixel(2, 2)));
    EXPECT_TRUE(IsWhite(frame.pixel(10, 7)));
    EXPECT_GT(WhiteBalance(frame), 0);
    EXPECT_EQ(qAlpha(frame.pixel(0, 0)), 0);
}

TEST(ButtonGlyphs, AbortIsARedCrossOnWhite)
{
    const QImage frame = ButtonGlyphFrame(TButtonGlyph::Abort, false);
    EXPECT_TRUE(IsRed(frame.pixel(7, 7)));
    EXPECT_TRUE(IsRed(frame.pixel(4, 4)));
    EXPECT_TRUE(IsRed(frame.pixel(11, 4)));
    EXPECT_TRUE(IsWhite(frame.pixel(7, 2)));
    EXPECT_TRUE(IsWhite(frame.pixel(2, 7)));
}

TEST(ButtonGlyphs, CloseIsAWhiteLeftArrowOnGreenWithALightGreyRim)
{
    const QImage frame = ButtonGlyphFrame(TButtonGlyph::Close, false);
    for (int i = 0; i < kGlyphSize; ++i) {
        EXPECT_TRUE(IsLightGrey(frame.pixel(i, 0))) << i;
        EXPECT_TRUE(IsLightGrey(frame.pixel(0, i))) << i;
        EXPECT_TRUE(IsLightGrey(frame.pixel(kGlyphSize - 1, i))) << i;
    }
    EXPECT_TRUE(IsGreen(frame.pixel(13, 2)));
    EXPECT_LT(WhiteBalance(frame), 0);
}

class DisabledFrameTest : public testing::TestWithParam<TButtonGlyph> {};

TEST_P(DisabledFrameTest, IsTheSameShapeInGreyAndIsWhatTheIconShowsWhenDisabled)
{
    const QImage normal = ButtonGlyphFrame(GetParam(), false);
    const QImage grey = ButtonGlyphFrame(GetParam(), true);
    ASSERT_EQ(grey.size(), QSize(kGlyphSize, kGlyphSize));
    for (int y = 0; y < kGlyphSize; ++y) {
        for (int x = 0; x < kGlyphSize; ++x) {
            const QRgb c = grey.pixel(x, y);
            EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << x << "," << y;
            EXPECT_EQ(qAlpha(c), qAlpha(normal.pixel(x, y))) << x << "," << y;
        }
    }
    EXPECT_NE(grey, normal);

    const QIcon icon = ButtonGlyphIcon(GetParam());
    const QImage shownDisabled = icon.pixmap(QSize(kGlyphSize, kGlyphSize), QIcon::Disabled).toImage();
    const QImage shownNormal = icon.pixmap(QSize(kGlyphSize, kGlyphSize), QIcon::Normal).toImage();
    EXPECT_EQ(shownDisabled.convertToFormat(QImage::Format_ARGB32), grey);
    EXPECT_EQ(shownNormal.convertToFormat(QImage::Format_ARGB32), normal);
}

INSTANTIATE_TEST_SUITE_P(Glyphs, DisabledFrameTest,
                         testing::Values(TButtonGlyph::Start, TButtonGlyph::Abort, TButtonGlyph::Close),
                         [](const testing::TestParamInfo<TButtonGlyph>& p) {
                             switch (p.param) {
                             case TButtonGlyph::Start: return "Start";
                             case TButtonGlyph::Abort: return "Abort";
                             case TButtonGlyph::Close: return "Close";
                             }
                             return "Unknown";
                         });

}  // namespace
