#include "Colors.h"

#include <QApplication>
#include <QPalette>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The dialog's gradient stops.
constexpr TColor kTop = 16246494;
constexpr TColor kBottom = 15051662;

// Sets a palette for the lifetime of the object and restores the old one.
class PaletteScope {
public:
    explicit PaletteScope(const QPalette& p) : FOld(QApplication::palette()) { QApplication::setPalette(p); }
    ~PaletteScope() { QApplication::setPalette(FOld); }

private:
    QPalette FOld;
};

// Test names allow letters, digits and underscores only.
std::string SignedName(int value)
{
    return value < 0 ? "Minus" + std::to_string(-static_cast<long long>(value)) : std::to_string(value);
}

std::string HexName(TColor color)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(color));
    return text;
}

struct RgbCase {
    TColor color;
    int r, g, b;
};

void PrintTo(const RgbCase& c, std::ostream* os)
{
    *os << c.color << " -> " << c.r << "," << c.g << "," << c.b;
}

class ColorToRGBTest : public ::testing::TestWithParam<RgbCase> {};

TEST_P(ColorToRGBTest, SwapsColorrefToQtOrder)
{
    const RgbCase& c = GetParam();
    EXPECT_EQ(ColorToRGB(c.color), qRgb(c.r, c.g, c.b));
    EXPECT_EQ(RGBToColor(c.r, c.g, c.b), c.color);
}

INSTANTIATE_TEST_SUITE_P(DialogColours, ColorToRGBTest,
                         ::testing::Values(RgbCase{0x0000FF, 255, 0, 0}, RgbCase{0x00FF00, 0, 255, 0},
                                           RgbCase{16711680, 0, 0, 255}, RgbCase{kTop, 222, 230, 247},
                                           RgbCase{kBottom, 142, 171, 229}, RgbCase{16046269, 189, 216, 244},
                                           RgbCase{clNavy, 0, 0, 128}),
                         [](const auto& p) { return "Colour" + HexName(p.param.color); });

struct SysCase {
    int index;
    TColor color;
    QPalette::ColorRole role;
};

void PrintTo(const SysCase& c, std::ostream* os) { *os << "index " << c.index; }

class SysColorTest : public ::testing::TestWithParam<SysCase> {};

TEST_P(SysColorTest, ComesFromTheApplicationPalette)
{
    const SysCase& c = GetParam();
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Active, c.role, QColor(11, 22, 33));
    PaletteScope scope(p);

    EXPECT_EQ(GetSysColor(c.index), static_cast<uint32_t>(RGBToColor(11, 22, 33)));
    EXPECT_EQ(ColorToRGB(c.color), qRgb(11, 22, 33));
    EXPECT_EQ(ResolveColor(c.color), RGBToColor(11, 22, 33));
}

INSTANTIATE_TEST_SUITE_P(Indices, SysColorTest,
                         ::testing::Values(SysCase{COLOR_BTNFACE, clBtnFace, QPalette::Button},
                                           SysCase{COLOR_WINDOWTEXT, clWindowText, QPalette::WindowText},
                                           SysCase{COLOR_WINDOW, clWindow, QPalette::Base},
                                           SysCase{COLOR_HIGHLIGHT, clHighlight, QPalette::Highlight}),
                         [](const auto& p) { return "Index" + std::to_string(p.param.index); });

TEST(SysColor, UnknownIndexIsBlackAndSystemColoursAreNegative)
{
    EXPECT_EQ(GetSysColor(25), 0u);
    EXPECT_EQ(GetSysColor(200), 0u);
    EXPECT_LT(clBtnFace, 0);
    EXPECT_LT(clWindowText, 0);
}

struct WalkCase {
    int row;
    int height;
    TColor expected;
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << "row " << c.row << " of " << c.height; }

class DialogWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(DialogWalkTest, MatchesTheDialogsTable)
{
    const WalkCase& c = GetParam();
    EXPECT_EQ(GetGradientColor({kTop, kBottom}, c.row, c.height), c.expected);
}

INSTANTIATE_TEST_SUITE_P(DesignSize, DialogWalkTest,
                         ::testing::Values(WalkCase{0, 538, kTop}, WalkCase{537, 538, kBottom},
                                           WalkCase{135, 538, RGBToColor(201, 215, 242)},
                                           // outside the gradient: clamped
                                           WalkCase{-7, 538, kTop}, WalkCase{538, 538, kBottom},
                                           WalkCase{100000, 538, kBottom},
                                           // a single row: n = 0 must not divide
                                           WalkCase{0, 1, kTop}, WalkCase{0, 0, kTop}, WalkCase{3, -5, kTop}),
                         [](const auto& p) {
                             return "Row" + SignedName(p.param.row) + "Of" + SignedName(p.param.height);
                         });

TEST(GradientColor, FewerThanTwoStops)
{
    EXPECT_EQ(GetGradientColor({}, 10, 100), 0);
    EXPECT_EQ(GetGradientColor({kBottom}, 10, 100), kBottom);

    QPalette p = QApplication::palette();
    p.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
    PaletteScope scope(p);
    EXPECT_EQ(GetGradientColor({clBtnFace}, 0, 100), RGBToColor(1, 2, 3));
}

TEST(GradientColor, SystemStopsAreResolvedFirst)
{
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Active, QPalette::Button, QColor(100, 150, 200));
    PaletteScope scope(p);

    // t = 50/100: half-way from the palette colour to black.
    EXPECT_EQ(GetGradientColor({clBtnFace, clBlack}, 50, 101), RGBToColor(50, 75, 100));
    EXPECT_EQ(GetGradientColor({clBlack, clBtnFace}, 100, 101), RGBToColor(100, 150, 200));
}

// Three stops over 9 rows: L = Round(4.5) = 4 (half to even), so segment 0 is
// rows 0..4 and the last segment rows 4..8 (n = 9 - 4 - 1 = 4).
TEST(GradientColor, ThreeStopsUseEvenRoundedSegments)
{
    const TColor red = RGBToColor(255, 0, 0);
    const TColor green = RGBToColor(0, 255, 0);
    const TColor blue = RGBToColor(0, 0, 255);
    const std::vector<TColor> stops{red, green, blue};

    EXPECT_EQ(GetGradientColor(stops, 0, 9), red);
    EXPECT_EQ(GetGradientColor(stops, 4, 9), green);
    EXPECT_EQ(GetGradientColor(stops, 8, 9), blue);
    // t = 2/4: Trunc(127.5) in both moving channels.
    EXPECT_EQ(GetGradientColor(stops, 6, 9), RGBToColor(0, 127, 127));
    // t = 1/4 in segment 0: red Trunc(191.25), green Trunc(63.75).
    EXPECT_EQ(GetGradientColor(stops, 1, 9), RGBToColor(191, 63, 0));
}

TEST(GradientColor, SegmentsOfNoLengthDoNotDivideByZero)
{
    const std::vector<TColor> stops{RGBToColor(10, 0, 0), RGBToColor(20, 0, 0), RGBToColor(30, 0, 0),
                                    RGBToColor(40, 0, 0)};
    // Height 1: L = Round(1/3) = 0, every segment is one row in its first stop.
    EXPECT_EQ(GetGradientColor(stops, 0, 1), RGBToColor(10, 0, 0));
    // Height 2, two segments of L = 1; the last has n = 0 but row 1 is met first
    // as the end of segment 0.
    EXPECT_EQ(GetGradientColor({stops[0], stops[1], stops[2]}, 1, 2), RGBToColor(20, 0, 0));
}

}  // namespace
