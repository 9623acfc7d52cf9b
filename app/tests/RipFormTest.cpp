#include "HintTiming.h"
#include "TestProfile.h"
#include "fRipper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

QString TextOf(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(w))
        return group->title();
    return {};
}

QWidget* Control(const TRipForm& form, const char* name)
{
    auto* w = form.findChild<QWidget*>(QString::fromLatin1(name));
    if (!w)
        ADD_FAILURE() << "no control " << name;
    return w;
}

QString Text(const TRipForm& form, const char* name)
{
    const QWidget* w = Control(form, name);
    return w ? TextOf(w) : QString();
}

enum class TPicture { None, German, English };

// The test profile's German picture is red, the English one blue.
TPicture PictureShown(const TRipForm& form)
{
    auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
    const QPixmap pixmap = image->pixmap();
    if (pixmap.isNull())
        return TPicture::None;
    EXPECT_EQ(pixmap.size(), QSize(95, 510));
    const QRgb c = pixmap.toImage().pixel(47, 255);
    return qRed(c) > qBlue(c) ? TPicture::German : TPicture::English;
}

struct TLayoutCase {
    const char* Name;
    const char* Parent;
    QRect Geometry;
    const char* Text;
    bool Enabled;
    bool GrowsWithText = false;  // an auto-size label: only its width may grow
};

void PrintTo(const TLayoutCase& c, std::ostream* os) { *os << c.Name; }

const TLayoutCase kLayout[] = {
    {"JvGradient1", "RipForm", {0, 0, 762, 538}, "", true},
    {"Label13", "RipForm", {120, 8, 617, 16}, "Musik / Ton von CD einlesen", true},
    {"Label1",
     "RipForm",
     {120, 40, 625, 13},
     "1. Bitte legen Sie eine Audio-CD in Ihr CD-ROM Laufwerk ein.",
     true,
     true},
    {"Label2",
     "RipForm",
     {120, 56, 633, 13},
     "2. Wählen Sie das CD-ROM Laufwerk aus, in dem sich Ihre Audio-CD befindet.",
     true,
     true},
    {"Label3",
     "RipForm",
     {120, 72, 633, 13},
     "3. Wählen Sie den Titel aus, welchen Sie für die Diashow wünschen.",
     true,
     true},
    {"Label4",
     "RipForm",
     {120, 88, 633, 13},
     "4. Drücken Sie \"Einlesen starten\" (Das Einlesen kann ein paar Minuten dauern)",
     true,
     true},
    {"Image1", "RipForm", {5, 5, 95, 510}, "", true},
    {"GroupBox1", "RipForm", {120, 120, 625, 329}, "Titel von CD einlesen", true},
    {"Label10", "GroupBox1", {8, 24, 105, 13}, "Auswahl CD-Laufwerk", true, true},
    {"Label11", "GroupBox1", {8, 72, 63, 13}, "Auswahl Titel", true, true},
    {"Label6", "GroupBox1", {192, 88, 3, 13}, "", true},
    {"JvGradient2", "GroupBox1", {2, 15, 621, 312}, "", true},
    {"DriveComboBox", "GroupBox1", {8, 40, 281, 21}, "", true},
    {"TrackListBox", "GroupBox1", {8, 88, 145, 225}, "", true},
    {"MP3CheckBox", "GroupBox1", {176, 88, 433, 17}, "MP3  (besser für eine PC- oder CD-ROM-Diashow)", true},
    {"WavCheckBox", "GroupBox1", {176, 112, 433, 17}, "Wave  (besser für eine DVD Diashow)", true},
    {"StartBitBtn", "GroupBox1", {176, 256, 145, 25}, "Einlesen starten", false},
    {"AbortBitBtn", "GroupBox1", {176, 288, 145, 25}, "Abbrechen", false},
    {"ProgressBar1", "RipForm", {120, 481, 625, 16}, "", true},
    {"CloseBitBtn", "RipForm", {576, 504, 169, 25}, "Zurück zur Diashow", true},
};

// A dialog built with no profile at all keeps its design-time layout.
class DesignLayoutTest : public testing::TestWithParam<TLayoutCase> {
protected:
    TTestProfile Profile;
    TBoxRecorder Boxes;
};

TEST_P(DesignLayoutTest, ControlHasItsPlaceTextAndState)
{
    const TRipForm form({&Boxes, Profile.ProgramFile()});
    const TLayoutCase& c = GetParam();
    QWidget* w = Control(form, c.Name);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->parentWidget()->objectName(), c.Parent);
    if (c.GrowsWithText) {
        EXPECT_EQ(w->pos(), c.Geometry.topLeft());
        EXPECT_EQ(w->height(), c.Geometry.height());
        EXPECT_GE(w->width(), c.Geometry.width());
        EXPECT_GE(w->width(), w->sizeHint().width());
    } else {
        EXPECT_EQ(w->geometry(), c.Geometry);
    }
    EXPECT_EQ(TextOf(w), QString::fromUtf8(c.Text));
    EXPECT_EQ(w->isEnabled(), c.Enabled);
}

INSTANTIATE_TEST_SUITE_P(Controls, DesignLayoutTest, testing::ValuesIn(kLayout),
                         [](const testing::TestParamInfo<TLayoutCase>& param) {
                             return std::string(param.param.Name);
                         });

TEST(RipFormLayout, WindowTimerFontsAndTabOrder)
{
    TTestProfile profile;
    profile.WriteComplete("GERMAN");
    TBoxRecorder boxes;
    const TRipForm form({&boxes, profile.ProgramFile()});

    EXPECT_EQ(form.minimumSize(), QSize(762, 538));
    EXPECT_EQ(form.maximumSize(), QSize(762, 538));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    auto* timer = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_TRUE(timer);
    EXPECT_EQ(timer->interval(), 3000);

    EXPECT_EQ(form.font().pixelSize(), 11);
    const QFont title = Control(form, "Label13")->font();
    EXPECT_EQ(title.pixelSize(), 13);
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(Control(form, "Label13")->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_TRUE(Control(form, "Label4")->font().bold());
    EXPECT_EQ(Control(form, "Label4")->font().pixelSize(), 11);
    EXPECT_FALSE(Control(form, "Label10")->font().bold());
    for (const char* name : {"GroupBox1", "MP3CheckBox", "WavCheckBox"}) {
        EXPECT_EQ(Control(form, name)->palette().color(QPalette::Window), QColor(189, 216, 244)) << name;
        EXPECT_TRUE(Control(form, name)->autoFillBackground()) << name;
    }
    EXPECT_FALSE(Control(form, "Label1")->autoFillBackground());
    EXPECT_EQ(form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).first()->objectName(), "JvGradient1");

    const QStringList expected{"DriveComboBox", "TrackListBox", "MP3CheckBox",  "WavCheckBox",
                               "StartBitBtn",   "AbortBitBtn",  "ProgressBar1", "CloseBitBtn"};
    QStringList chain;
    QWidget* w = Control(form, "DriveComboBox");
    for (int i = 0; i < 200 && chain.size() < expected.size(); ++i, w = w->nextInFocusChain())
        if (expected.contains(w->objectName()) && !chain.contains(w->objectName()))
            chain << w->objectName();
    EXPECT_EQ(chain, expected);
}

struct TLanguageCase {
    const char* Name;
    const char* LanguageLine;
    const char* Caption;
    const char* Title;
    const char* CloseText;
    TPicture Picture;
};

void PrintTo(const TLanguageCase& c, std::ostream* os) { *os << c.Name; }

class LanguageChoiceTest : public testing::TestWithParam<TLanguageCase> {};

// The file's section is "[german]": every German line finds it only by
// letter-case-blind matching, while product name and picture need "GERMAN"
// exactly.
TEST_P(LanguageChoiceTest, ProductNameAndPictureFollowTheExactNameTextsTheSection)
{
    TTestProfile profile;
    profile.WriteComplete(GetParam().LanguageLine);
    TBoxRecorder boxes;
    const TRipForm form({&boxes, profile.ProgramFile()});

    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_EQ(form.Language(), GetParam().LanguageLine);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8(GetParam().Caption));
    EXPECT_EQ(Text(form, "Label13"), QString::fromUtf8(GetParam().Title));
    EXPECT_EQ(Text(form, "CloseBitBtn"), QString::fromUtf8(GetParam().CloseText));
    EXPECT_EQ(PictureShown(form), GetParam().Picture);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageChoiceTest,
    testing::Values(TLanguageCase{"German", "GERMAN", "Fotaria Pro: Audio-CD einlesen", "Titel für Fotaria",
                                  "Zurück zu Fotaria", TPicture::German},
                    TLanguageCase{"GermanMixedCase", "German", "Photaria Pro: Audio-CD einlesen",
                                  "Titel für Photaria", "Zurück zu Photaria", TPicture::English},
                    TLanguageCase{"GermanTrailingBlank", "GERMAN ", "Photaria Pro: Audio-CD einlesen",
                                  "Titel für Photaria", "Zurück zu Photaria", TPicture::English},
                    TLanguageCase{"English", "ENGLISH", "Photaria Pro: Import audio CD", "Title for Photaria",
                                  "Back to Photaria", TPicture::English},
                    TLanguageCase{"UnknownSection", "FRENCH", "", "", "", TPicture::English}),
    [](const testing::TestParamInfo<TLanguageCase>& param) { return std::string(param.param.Name); });

TEST(RipFormStartUp, ReadsEveryFileFromTheProfileAndSetsTheHintTiming)
{
    TTestProfile profile;
    profile.WriteComplete("GERMAN");
    TBoxRecorder boxes;
    const TRipForm form({&boxes, profile.ProgramFile()});

    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_EQ(form.ProgramDir(), profile.ProgramDir());
    EXPECT_EQ(form.DiashowDir(), "/srv/Diashow");
    EXPECT_EQ(form.TranslateText(20015), "Einlesen:");
    EXPECT_EQ(form.TranslateText(20016), "");
    EXPECT_EQ(Text(form, "Label1"), "Schritt eins");
    EXPECT_EQ(Text(form, "GroupBox1"), "Gruppe");
    EXPECT_EQ(Text(form, "MP3CheckBox"), "MP3 deutsch");
    EXPECT_EQ(Text(form, "Label10"), "");  // no key in the file: the caption is emptied
    EXPECT_EQ(Text(form, "StatusLabel"), "Status");

    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 0);
    ASSERT_TRUE(ApplicationHintTiming());
    EXPECT_EQ(ApplicationHintTiming()->HintHidePause(), 10000);
}

// Each failing step shows its error and the later steps still run.
struct TFailureCase {
    const char* Name;
    void (*Spoil)(const TTestProfile&);
    std::string (*Error)(const TTestProfile&);  // empty: no box
    bool ErrorIsPrefix;
    const char* Title;
    TPicture Picture;
    const char* DiashowDir;
};

void PrintTo(const TFailureCase& c, std::ostream* os) { *os << c.Name; }

class StartUpFailureTest : public testing::TestWithParam<TFailureCase> {};

TEST_P(StartUpFailureTest, ShowsTheErrorAndRunsTheLaterSteps)
{
    TTestProfile profile;
    profile.WriteComplete("GERMAN");
    GetParam().Spoil(profile);
    TBoxRecorder boxes;
    const TRipForm form({&boxes, profile.ProgramFile()});

    const std::string error = GetParam().Error(profile);
    if (error.empty()) {
        EXPECT_TRUE(boxes.Shown.empty());
    } else {
        ASSERT_EQ(boxes.Shown.size(), 1u);
        EXPECT_EQ(boxes.Shown[0].Kind, "error");
        if (GetParam().ErrorIsPrefix)
            EXPECT_EQ(boxes.Shown[0].Text.rfind(error, 0), 0u) << boxes.Shown[0].Text;
        else
            EXPECT_EQ(boxes.Shown[0].Text, error);
    }
    EXPECT_EQ(Text(form, "Label13"), QString::fromUtf8(GetParam().Title));
    EXPECT_EQ(PictureShown(form), GetParam().Picture);
    EXPECT_EQ(form.DiashowDir(), GetParam().DiashowDir);
    EXPECT_EQ(form.ProgramDir(), profile.ProgramDir());
}

void Remove(const std::string& path) { std::filesystem::remove(path); }

INSTANTIATE_TEST_SUITE_P(
    Steps, StartUpFailureTest,
    testing::Values(
        TFailureCase{"NoLanguageIsSet",
                     [](const TTestProfile& p) { Remove(p.UserFolder() + "LanguageIsSet.ini"); },
                     [](const TTestProfile& p) {
                         return "Datei " + p.UserFolder() + "LanguageIsSet.ini kann nicht geöffnet werden.";
                     },
                     false, "Musik / Ton von CD einlesen", TPicture::English, "/srv/Diashow"},
        TFailureCase{
            "EmptyLanguageIsSet", [](const TTestProfile& p) { p.WriteUserFile("LanguageIsSet.ini", ""); },
            [](const TTestProfile&) { return std::string("Listenindex überschreitet das Maximum (0)"); },
            false, "Musik / Ton von CD einlesen", TPicture::English, "/srv/Diashow"},
        TFailureCase{"NoPicture",
                     [](const TTestProfile& p) { Remove(p.ProgramDir() + "recom_GR/wizard.jpg"); },
                     [](const TTestProfile& p) {
                         return "Datei " + p.ProgramDir() + "recom_GR/wizard.jpg kann nicht geöffnet werden.";
                     },
                     false, "Titel für Fotaria", TPicture::None, "/srv/Diashow"},
        TFailureCase{
            "CorruptPicture",
            [](const TTestProfile& p) { p.WriteProgramFile("recom_GR/wizard.jpg", "\xFF\xD8\xFF garbage"); },
            [](const TTestProfile& p) {
                return "JPEG-Fehler in Datei " + p.ProgramDir() + "recom_GR/wizard.jpg: ";
            },
            true, "Titel für Fotaria", TPicture::None, "/srv/Diashow"},
        TFailureCase{"NoLanguageIni", [](const TTestProfile& p) { Remove(p.UserFolder() + "Language.ini"); },
                     [](const TTestProfile&) { return std::string(); }, false, "", TPicture::German,
                     "/srv/Diashow"},
        TFailureCase{"NoRipperIni", [](const TTestProfile& p) { Remove(p.UserFolder() + "Ripper.ini"); },
                     [](const TTestProfile&) { return std::string(); }, false, "Titel für Fotaria",
                     TPicture::German, ""}),
    [](const testing::TestParamInfo<TFailureCase>& param) { return std::string(param.param.Name); });

// Runs only in the ctest entries app_tests_120dpi (Qt's high-DPI scaling off:
// Qt reports 120 ppi) and app_tests_120dpi_qtscaling (on: Qt reports 96 ppi
// and a device pixel ratio of 1.25).  Either way the form's logical size and
// geometry are the design's times 92/120.
struct TScaledCase {
    const char* Name;
    QRect Geometry;
};

TEST(Scaling120, FormAndControlsAreScaledBy92Over120)
{
    if (!std::getenv("RIPPER_EXPECT_DPI"))
        GTEST_SKIP() << "needs QT_FONT_DPI=120 (ctest: app_tests_120dpi, app_tests_120dpi_qtscaling)";
    TTestProfile profile;
    profile.WriteComplete("GERMAN");
    TBoxRecorder boxes;
    const TRipForm form({&boxes, profile.ProgramFile()});
    const char* qtSetting = std::getenv("QT_ENABLE_HIGHDPI_SCALING");
    const bool qtScaling = !qtSetting || std::string(qtSetting) != "0";
    ASSERT_EQ(form.logicalDpiX(), qtScaling ? 96 : 120);
    ASSERT_DOUBLE_EQ(form.devicePixelRatioF(), qtScaling ? 1.25 : 1.0);
    EXPECT_TRUE(boxes.Shown.empty());

    // Edges scaled and rounded half away from zero: 15 * 92 / 120 = 11.5 -> 12.
    const TScaledCase cases[] = {
        {"JvGradient1", {0, 0, 584, 412}},   {"GroupBox1", {92, 92, 479, 252}},
        {"DriveComboBox", {6, 31, 216, 16}}, {"JvGradient2", {2, 12, 476, 239}},
        {"Image1", {4, 4, 73, 391}},         {"CloseBitBtn", {442, 386, 129, 20}},
    };
    EXPECT_EQ(form.size(), QSize(584, 412));
    for (const TScaledCase& c : cases)
        EXPECT_EQ(Control(form, c.Name)->geometry(), c.Geometry) << c.Name;
    EXPECT_EQ(form.font().pixelSize(), 8);
    EXPECT_EQ(Control(form, "Label13")->font().pixelSize(), 10);
    EXPECT_EQ(Control(form, "Label1")->font().pixelSize(), 8);
    EXPECT_TRUE(Control(form, "Label1")->font().bold());
}

// The wizard picture is taken from beside the program first and from the
// installed data folder (../share/ripper seen from bin/) second, so the
// dialog also starts from an installed tree, wherever it was moved.
struct TPictureLookupCase {
    const char* Name;
    bool BesideProgram;  // red German picture in <bin>/recom_GR
    bool Installed;      // blue picture in <bin>/../share/ripper/recom_GR
    TPicture Shown;
    bool FromInstalled;
};

void PrintTo(const TPictureLookupCase& c, std::ostream* os) { *os << c.Name; }

class PictureLookupTest : public testing::TestWithParam<TPictureLookupCase> {};

TEST_P(PictureLookupTest, ProgramFolderFirstThenInstalledDataFolder)
{
    const TPictureLookupCase& c = GetParam();
    TTestProfile profile;
    profile.WriteComplete("GERMAN");
    const std::string beside = profile.ProgramDir() + "recom_GR/wizard.jpg";
    const std::string installedFolder = std::string(RIPPER_DATA_FROM_BIN) + "/recom_GR";
    const std::string installed = profile.ProgramDir() + installedFolder + "/wizard.jpg";
    if (!c.BesideProgram)
        std::filesystem::remove(beside);
    if (c.Installed)
        profile.WritePicture(installedFolder, 0, 0, 255);
    TBoxRecorder boxes;
    const TRipForm form({&boxes, profile.ProgramFile()});

    EXPECT_EQ(PictureShown(form), c.Shown);
    if (c.Shown == TPicture::None) {
        ASSERT_EQ(boxes.Shown.size(), 1u);
        EXPECT_EQ(boxes.Shown[0].Text, "Datei " + beside + " kann nicht geöffnet werden.");
        EXPECT_EQ(form.WizardPicture(), "");
    } else {
        EXPECT_TRUE(boxes.Shown.empty());
        ASSERT_FALSE(form.WizardPicture().empty());
        EXPECT_TRUE(std::filesystem::equivalent(form.WizardPicture(), c.FromInstalled ? installed : beside))
            << form.WizardPicture();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Places, PictureLookupTest,
    testing::Values(TPictureLookupCase{"BesideProgramOnly", true, false, TPicture::German, false},
                    TPictureLookupCase{"InstalledOnly", false, true, TPicture::English, true},
                    TPictureLookupCase{"BothBesideProgramWins", true, true, TPicture::German, false},
                    TPictureLookupCase{"Neither", false, false, TPicture::None, false}),
    [](const testing::TestParamInfo<TPictureLookupCase>& param) { return std::string(param.param.Name); });

}  // namespace
