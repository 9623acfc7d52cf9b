// The dialog's colours, checked pixel by pixel on the grabbed window against
// the values the slideshow's own dialogs use.
#include "Colors.h"
#include "TestProfile.h"
#include "fRipper.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct TRgb {
    int R, G, B;
};

bool operator==(const TRgb& a, const TRgb& b) { return a.R == b.R && a.G == b.G && a.B == b.B; }

void PrintTo(const TRgb& c, std::ostream* os) { *os << "(" << c.R << ", " << c.G << ", " << c.B << ")"; }

TRgb PixelAt(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return {qRed(p), qGreen(p), qBlue(p)};
}

TRgb RgbOf(TColor color)
{
    const QRgb p = ColorToRGB(color);
    return {qRed(p), qGreen(p), qBlue(p)};
}

// Columns where nothing but the gradients is drawn: between the wizard
// picture and the labels (form), and right of every control in the group.
constexpr int kFormColumn = 110;
constexpr int kGroupColumn = 600;

class DialogLook : public testing::Test {
protected:
    void SetUp() override
    {
        FProfile.WriteComplete("GERMAN");
        FForm = std::make_unique<TRipForm>(TRipFormSeams{&FBoxes, FProfile.ProgramFile()});
        FForm->show();
    }

    QImage Grab() const { return FForm->grab().toImage(); }
    QWidget* Control(const char* name) const { return FForm->findChild<QWidget*>(QString::fromLatin1(name)); }
    // Form coordinates of a point given in the group box's client coordinates.
    QPoint InGroup(int x, int y) const { return Control("GroupBox1")->mapTo(FForm.get(), QPoint(x, y)); }

    TTestProfile FProfile;
    TBoxRecorder FBoxes;
    std::unique_ptr<TRipForm> FForm;
};

TEST_F(DialogLook, OuterGradientBandsAsDesigned)
{
    const QImage image = Grab();
    ASSERT_EQ(image.size(), QSize(762, 538));
    struct TBand {
        int FirstRow, LastRow;
        TRgb Colour;
    };
    for (const TBand& band :
         {TBand{0, 4, {222, 230, 247}}, TBand{134, 139, {202, 215, 243}}, TBand{533, 537, {143, 172, 229}}}) {
        for (int row = band.FirstRow; row <= band.LastRow; ++row)
            EXPECT_EQ(PixelAt(image, kFormColumn, row), band.Colour) << "row " << row;
    }
    // The end colour itself is never reached: the bottom row is one band short.
    EXPECT_FALSE(PixelAt(image, kFormColumn, 537) == RgbOf(15051662));
}

TEST_F(DialogLook, InnerGradientStartsWithTheOuterShadeAtTheGroupBox)
{
    const QImage image = Grab();
    for (int row = 0; row <= 2; ++row) {
        const QPoint p = InGroup(kGroupColumn, 15 + row);
        EXPECT_EQ(PixelAt(image, p.x(), p.y()), (TRgb{201, 215, 242})) << "inner row " << row;
    }
    for (int row = 309; row <= 311; ++row) {
        const QPoint p = InGroup(kGroupColumn, 15 + row);
        EXPECT_EQ(PixelAt(image, p.x(), p.y()), (TRgb{143, 171, 229})) << "inner row " << row;
    }
    // One step apart from the outer band at the same height (202, 215, 243).
    EXPECT_EQ(PixelAt(image, kFormColumn, InGroup(0, 15).y()), (TRgb{202, 215, 243}));
}

TEST_F(DialogLook, EveryShowingRecomputesTheInnerStartColour)
{
    auto* inner = FForm->findChild<TJvGradient*>(QStringLiteral("JvGradient2"));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->StartColor(), RGBToColor(201, 215, 242));
    inner->SetStartColor(0);
    FForm->hide();
    FForm->show();
    EXPECT_EQ(inner->StartColor(), RGBToColor(201, 215, 242));
    EXPECT_EQ(inner->EndColor(), 15051662);
}

TEST_F(DialogLook, GroupBoxCheckBoxesAndTitleColours)
{
    const QImage image = Grab();
    const TRgb group = RgbOf(16046269);
    EXPECT_EQ(group, (TRgb{189, 216, 244}));
    // Above the inner gradient, right of the caption.
    const QPoint top = InGroup(kGroupColumn, 2);
    EXPECT_EQ(PixelAt(image, top.x(), top.y()), group);
    // The part of each check box right of its text.
    for (const char* name : {"MP3CheckBox", "WavCheckBox"}) {
        QWidget* box = Control(name);
        ASSERT_NE(box, nullptr);
        const QPoint p = box->mapTo(FForm.get(), QPoint(box->width() - 3, box->height() / 2));
        EXPECT_EQ(PixelAt(image, p.x(), p.y()), group) << name;
    }
    auto* title = FForm->findChild<QLabel*>(QStringLiteral("Label13"));
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->palette().color(QPalette::WindowText).rgb(), ColorToRGB(clNavy));
}

TEST_F(DialogLook, StaysOnTopAndKeepsTheOuterGradientBehindEverything)
{
    EXPECT_TRUE(FForm->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const QObjectList& children = FForm->children();
    QWidget* firstWidget = nullptr;
    for (QObject* child : children) {
        if ((firstWidget = qobject_cast<QWidget*>(child)))
            break;
    }
    ASSERT_NE(firstWidget, nullptr);
    EXPECT_EQ(firstWidget->objectName(), QStringLiteral("JvGradient1"));
}

struct TGradientColorCase {
    int Row;
    TColor Expected;
};

class GradientColorOfDialog : public testing::TestWithParam<TGradientColorCase> {};

TEST_P(GradientColorOfDialog, RowsOfTheOuterGradient)
{
    EXPECT_EQ(TRipForm::GetGradientColor({16246494, 15051662}, GetParam().Row, 538), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, GradientColorOfDialog,
                         testing::Values(TGradientColorCase{0, 16246494}, TGradientColorCase{537, 15051662},
                                         TGradientColorCase{135, RGBToColor(201, 215, 242)}),
                         [](const auto& p) { return "Row" + std::to_string(p.param.Row); });

}  // namespace
