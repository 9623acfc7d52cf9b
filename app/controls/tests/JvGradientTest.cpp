#include "JvGradient.h"

#include <QApplication>
#include <QPalette>
#include <QPixmap>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr TColor kTop = 16246494;
constexpr TColor kBottom = 15051662;

std::unique_ptr<TJvGradient> makeVertical(int w, int h, TColor start, TColor end)
{
    auto g = std::make_unique<TJvGradient>();
    g->SetStyle(TJvGradientStyle::grVertical);
    g->SetStartColor(start);
    g->SetEndColor(end);
    g->resize(w, h);
    return g;
}

template <class Case>
std::string caseName(const testing::TestParamInfo<Case>& p)
{
    return p.param.name;
}

// Checks rows first..last on the left, middle and right column of an image.
void expectRows(const QImage& img, int first, int last, int r, int g, int b)
{
    const int xs[] = {0, img.width() / 2, img.width() - 1};
    for (int y = first; y <= last; ++y)
        for (int x : xs)
            ASSERT_EQ(img.pixel(x, y), qRgb(r, g, b)) << "row " << y << " column " << x;
}

struct Band {
    int first, last;
    int r, g, b;
};

struct SizeCase {
    const char* name;
    int width, height;
    TColor start;
    std::vector<Band> bands;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name << " " << c.width << "x" << c.height; }

class DialogGradientTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DialogGradientTest, BandsMatchTheDesignTable)
{
    const SizeCase& c = GetParam();
    auto g = makeVertical(c.width, c.height, c.start, kBottom);
    g->Render();
    const QImage bitmap = g->Bitmap();
    const QImage grabbed = g->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(bitmap.size(), QSize(c.width, c.height));
    ASSERT_EQ(grabbed.size(), QSize(c.width, c.height));

    for (const Band& band : c.bands) {
        SCOPED_TRACE(testing::Message() << c.name << " rows " << band.first << "-" << band.last);
        expectRows(bitmap, band.first, band.last, band.r, band.g, band.b);
        expectRows(grabbed, band.first, band.last, band.r, band.g, band.b);
        // The rows just outside belong to other bands.
        if (band.first > 0) {
            EXPECT_NE(bitmap.pixel(0, band.first - 1), qRgb(band.r, band.g, band.b));
        }
        if (band.last < c.height - 1) {
            EXPECT_NE(bitmap.pixel(0, band.last + 1), qRgb(band.r, band.g, band.b));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, DialogGradientTest,
    ::testing::Values(SizeCase{"outer",
                               762,
                               538,
                               kTop,
                               {{0, 4, 222, 230, 247}, {134, 139, 202, 215, 243}, {533, 537, 143, 172, 229}}},
                      SizeCase{"inner",
                               621,
                               312,
                               GetGradientColor({kTop, kBottom}, 135, 538),
                               {{0, 2, 201, 215, 242}, {309, 311, 143, 171, 229}}}),
    caseName<SizeCase>);

// The form's .ui sets the colours of a promoted control by property name.
TEST(JvGradient, PropertiesAreReachableByName)
{
    TJvGradient g;
    EXPECT_TRUE(g.setProperty("StartColor", kTop));
    EXPECT_TRUE(g.setProperty("EndColor", kBottom));
    EXPECT_TRUE(g.setProperty("Steps", 50));
    EXPECT_EQ(g.StartColor(), kTop);
    EXPECT_EQ(g.EndColor(), kBottom);
    EXPECT_EQ(g.Steps(), 50);
}

// Black to (200, 100, 40) over 20 rows with 100 steps: s = 20, d = (10, 5, 2).
TEST(JvGradient, StepsBeyondTheHeightGiveOneBandPerRow)
{
    auto g = makeVertical(7, 20, clBlack, RGBToColor(200, 100, 40));
    g->Render();
    EXPECT_EQ(g->Steps(), 100);
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(g->Bitmap().pixel(3, y), qRgb(10 * y, 5 * y, 2 * y)) << "row " << y;
}

// Height 5 in 2 steps towards (5, 3, 1): h = 2.5 and d = (2.5, 1.5, 0.5), so
// every boundary and channel of band 1 is a half, which goes to the even side:
// band 0 covers rows 0..1 (Round(2.5) = 2), band 1 rows 2..4 in (2, 2, 0).
TEST(JvGradient, HalvesRoundToEven)
{
    auto g = makeVertical(3, 5, clBlack, RGBToColor(5, 3, 1));
    g->SetSteps(2);
    g->Render();
    const QImage img = g->Bitmap();
    expectRows(img, 0, 1, 0, 0, 0);
    expectRows(img, 2, 4, 2, 2, 0);
}

TEST(JvGradient, ZeroStepsBehaveAsOne)
{
    auto g = makeVertical(5, 9, RGBToColor(1, 2, 3), clWhite);
    g->SetSteps(0);
    g->Render();
    EXPECT_EQ(g->Steps(), 0);
    for (int y = 0; y < 9; ++y)
        EXPECT_EQ(g->Bitmap().pixel(0, y), qRgb(1, 2, 3)) << "row " << y;
}

TEST(JvGradient, SystemColoursAreResolvedBeforeTheBands)
{
    const QPalette old = QApplication::palette();
    QPalette p = old;
    p.setColor(QPalette::Active, QPalette::Button, QColor(100, 150, 200));
    QApplication::setPalette(p);

    // 100 rows, 100 bands, to black: band 50 is half the palette colour.
    auto g = makeVertical(4, 100, clBtnFace, clBlack);
    g->Render();
    const QImage img = g->Bitmap();
    QApplication::setPalette(old);

    EXPECT_EQ(img.pixel(0, 0), qRgb(100, 150, 200));
    EXPECT_EQ(img.pixel(0, 50), qRgb(50, 75, 100));
}

TEST(JvGradient, HorizontalRunsLeftToRight)
{
    auto g = std::make_unique<TJvGradient>();
    g->SetStartColor(clBlack);
    g->SetEndColor(RGBToColor(200, 100, 40));
    g->resize(20, 3);
    g->Render();
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(g->Bitmap().pixel(x, 2), qRgb(10 * x, 5 * x, 2 * x)) << "column " << x;
}

struct SizeOnly {
    int w, h;
};

void PrintTo(const SizeOnly& c, std::ostream* os) { *os << c.w << "x" << c.h; }

class EmptyGradientTest : public ::testing::TestWithParam<SizeOnly> {};

TEST_P(EmptyGradientTest, PaintsNothingAndRecoversOnResize)
{
    const SizeOnly& c = GetParam();
    auto g = makeVertical(30, 30, kTop, kBottom);
    g->Render();
    ASSERT_EQ(g->RenderCount(), 1);

    g->resize(c.w, c.h);
    EXPECT_NO_THROW(g->Render());
    EXPECT_NO_THROW(g->grab());
    EXPECT_TRUE(g->Bitmap().isNull());
    EXPECT_EQ(g->RenderCount(), 1);
    g->SetStartColor(clNavy);  // stale while empty: still nothing to draw
    g->Render();
    EXPECT_EQ(g->RenderCount(), 1);

    g->resize(30, 30);
    g->Render();
    EXPECT_EQ(g->RenderCount(), 2);
    EXPECT_EQ(g->Bitmap().pixel(0, 0), ColorToRGB(clNavy));
}

INSTANTIATE_TEST_SUITE_P(ZeroSizes, EmptyGradientTest,
                         ::testing::Values(SizeOnly{0, 30}, SizeOnly{30, 0}, SizeOnly{0, 0}),
                         [](const auto& p) {
                             return std::to_string(p.param.w) + "x" + std::to_string(p.param.h);
                         });

struct SetterCase {
    const char* name;
    std::function<void(TJvGradient&)> setSame;
    std::function<void(TJvGradient&)> setOther;
};

void PrintTo(const SetterCase& c, std::ostream* os) { *os << c.name; }

class SetterTest : public ::testing::TestWithParam<SetterCase> {};

TEST_P(SetterTest, OnlyAChangedValueReRenders)
{
    auto g = makeVertical(50, 40, kTop, kBottom);
    g->grab();
    ASSERT_EQ(g->RenderCount(), 1);
    const QImage before = g->Bitmap().copy();

    GetParam().setSame(*g);
    g->grab();
    EXPECT_EQ(g->RenderCount(), 1);

    GetParam().setOther(*g);
    g->grab();
    EXPECT_EQ(g->RenderCount(), 2);
    EXPECT_NE(g->Bitmap(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, SetterTest,
    ::testing::Values(SetterCase{"StartColor", [](TJvGradient& g) { g.SetStartColor(kTop); },
                                 [](TJvGradient& g) { g.SetStartColor(clNavy); }},
                      SetterCase{"EndColor", [](TJvGradient& g) { g.SetEndColor(kBottom); },
                                 [](TJvGradient& g) { g.SetEndColor(clNavy); }},
                      SetterCase{"Style", [](TJvGradient& g) { g.SetStyle(TJvGradientStyle::grVertical); },
                                 [](TJvGradient& g) { g.SetStyle(TJvGradientStyle::grHorizontal); }},
                      SetterCase{"Steps", [](TJvGradient& g) { g.SetSteps(100); },
                                 [](TJvGradient& g) { g.SetSteps(3); }}),
    caseName<SetterCase>);

TEST(JvGradient, RepaintReusesTheBitmapAndResizeRenders)
{
    auto g = makeVertical(40, 30, kTop, kBottom);
    g->grab();
    g->grab();
    g->repaint();
    EXPECT_EQ(g->RenderCount(), 1);

    g->resize(40, 31);
    g->grab();
    EXPECT_EQ(g->RenderCount(), 2);
    EXPECT_EQ(g->Bitmap().size(), QSize(40, 31));
}

TEST(JvGradient, ClientAlignFollowsTheParent)
{
    QWidget parent;
    parent.resize(300, 200);
    auto* g = new TJvGradient(&parent);
    EXPECT_EQ(g->geometry(), QRect(0, 0, 300, 200));

    parent.resize(320, 210);
    parent.show();
    EXPECT_EQ(g->geometry(), QRect(0, 0, 320, 210));

    // A geometry set by the owner stays until the parent's size changes.
    g->setGeometry(2, 15, 100, 50);
    parent.hide();
    parent.show();
    EXPECT_EQ(g->geometry(), QRect(2, 15, 100, 50));
    parent.resize(330, 220);
    EXPECT_EQ(g->geometry(), QRect(0, 0, 330, 220));
}

TEST(JvGradient, NoAlignKeepsTheOwnersGeometry)
{
    QWidget parent;
    parent.resize(300, 200);
    auto* g = new TJvGradient(&parent);
    g->SetAlign(TAlign::alNone);
    g->setGeometry(2, 15, 100, 50);
    parent.show();
    parent.resize(400, 300);
    EXPECT_EQ(g->geometry(), QRect(2, 15, 100, 50));

    g->SetAlign(TAlign::alClient);
    EXPECT_EQ(g->geometry(), QRect(0, 0, 400, 300));
}

TEST(JvGradient, ReparentedControlFillsItsNewParent)
{
    QWidget first;
    first.resize(100, 100);
    QWidget second;
    second.resize(60, 40);
    auto* g = new TJvGradient(&first);
    g->setParent(&second);
    EXPECT_EQ(g->geometry(), QRect(0, 0, 60, 40));
    first.resize(120, 120);  // the old parent no longer moves it
    EXPECT_EQ(g->geometry(), QRect(0, 0, 60, 40));
}

}  // namespace
