// The dialog at work, end to end and offscreen: generated disc images in
// virtual drives (CDRIP_IMAGES), the real extraction library and encoder,
// the dialog driven by clicks, its boxes answered by a recorder.
#include "DiscImage.h"
#include "FileCalls.h"
#include "ReplacingFile.h"
#include "RipDialogFixture.h"
#include "TestProfile.h"
#include "TestSupport.h"
#include "fRipper.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;
using riptest::ReadAll;

namespace {

// Two audio tracks (a counter run, a sine) and a data track.
discimage::Disc ThreeTrackDisc()
{
    discimage::Disc disc;
    disc.tracks = {
        {true, 450, discimage::Content::Counter}, {true, 300, discimage::Content::Sine, 880.0}, {false, 150}};
    return disc;
}

discimage::Disc AudioDisc(int tracks, int32_t sectors = 150)
{
    discimage::Disc disc;
    for (int i = 0; i < tracks; ++i)
        disc.tracks.push_back({true, sectors, discimage::Content::Sine, 220.0 * (i + 1)});
    return disc;
}

bool WaitFor(const std::function<bool()>& done, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class TEnvironmentVariable : public testsupport::TEnvGuard {
public:
    TEnvironmentVariable(const char* name, const std::string& value) : TEnvGuard(name, value) {}
};

class RipDialogTest : public riptest::RipDialogFixture {
protected:
    void SetUp() override
    {
        WriteProfile();
        discimage::WriteImage(ThreeTrackDisc(), Tray);
    }

    void TearDown() override
    {
        Form.reset();
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    // The dialog, shown, on the trays of CDRIP_IMAGES alone (real drives
    // hidden); true when the drive box lists exactly those trays.
    bool Open(const std::string& trays, TRipFormSeams seams = {})
    {
        const TEnvironmentVariable imagesOnly("CDRIP_IMAGES_ONLY", "1");
        const TEnvironmentVariable images("CDRIP_IMAGES", trays);
        Show(seams);
        const int trayCount = static_cast<int>(std::count(trays.begin(), trays.end(), ':')) + 1;
        return Drives()->count() == trayCount;
    }
    bool Open() { return Open(Tray); }

    // Runs `action` once, at the first progress of the next rip.
    void AtFirstProgress(std::function<void()> action)
    {
        auto pending = std::make_shared<std::function<void()>>(std::move(action));
        QObject::connect(Bar(), &QProgressBar::valueChanged, Form.get(), [pending](int value) {
            if (value > 0 && *pending) {
                auto run = std::move(*pending);
                *pending = nullptr;
                run();
            }
        });
    }

    std::string Tray = Temp.path().toStdString() + "/tray1.cue";
};

#define OPEN_TRAYS(...) ASSERT_TRUE(Open(__VA_ARGS__)) << "the drive box lists other drives than our trays"

TEST_F(RipDialogTest, FirstRefreshFillsTheListWithinThreeSecondsStartWaitsForAClick)
{
    OPEN_TRAYS();
    EXPECT_FALSE(Drives()->isEditable());
    EXPECT_EQ(Drives()->currentText(), "Virtual CD drive (tray1.cue)");
    EXPECT_EQ(List()->count(), 0);
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_FALSE(Start()->isEnabled());
    EXPECT_FALSE(Abort()->isEnabled());
    EXPECT_TRUE(Wav()->isChecked());
    EXPECT_FALSE(Mp3()->isChecked());
    EXPECT_EQ(Status(), "Status");
    EXPECT_TRUE(Timer()->isActive());

    ASSERT_TRUE(WaitFor([&] { return List()->count() > 0; }, 10000));
    EXPECT_EQ(Lines(), (QStringList{"Track01 (Audio)  0:06", "Track02 (Audio)  0:04", "Track03 (Data)"}));
    EXPECT_FALSE(Start()->isEnabled());
    EXPECT_TRUE(List()->selectedItems().isEmpty());

    ClickLine(1);
    EXPECT_TRUE(Start()->isEnabled());
    EXPECT_TRUE(Boxes.Shown.empty());
}

TEST_F(RipDialogTest, WavRipCopiesTheTrackAndListsIt)
{
    OPEN_TRAYS();
    Tick();
    struct TSeen {
        int Bar;
        QString Status;
        bool AbortOn, ListOn, CloseOn, Hourglass;
    };
    std::vector<TSeen> seen;
    QObject::connect(Bar(), &QProgressBar::valueChanged, Form.get(), [&](int value) {
        if (value == 0)
            return;  // the bar put back after the rip
        const QCursor* cursor = QApplication::overrideCursor();
        seen.push_back({value, Status(), Abort()->isEnabled(), List()->isEnabled(), Close()->isEnabled(),
                        cursor && cursor->shape() == Qt::WaitCursor});
    });

    Rip(0);

    const std::string bytes = ReadAll(Slideshow + "/Track01.wav");
    const std::vector<uint8_t> pcm = discimage::TrackBytes(ThreeTrackDisc(), 0);
    ASSERT_EQ(bytes.size(), 44 + pcm.size());
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 4), "WAVE");
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reinterpret_cast<const uint8_t*>(bytes.data()) + 44));
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track01.wav"}));

    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().Bar, 100);
    for (const TSeen& s : seen) {
        EXPECT_EQ(s.Status, QStringLiteral("Einlesen: %1%").arg(s.Bar));
        EXPECT_TRUE(s.AbortOn && s.Hourglass);
        EXPECT_FALSE(s.ListOn || s.CloseOn);
    }
    EXPECT_EQ(Status(), "Fertig!");
    ExpectIdle();
    EXPECT_FALSE(Start()->isEnabled());
    EXPECT_TRUE(Boxes.Shown.empty());
}

// Each box's state change runs its handler, also the one made by the other
// handler: one box is always checked, and the file follows it.
TEST_F(RipDialogTest, Mp3RipThenBackToWav)
{
    OPEN_TRAYS();
    Tick();
    ClickBox(Mp3());
    EXPECT_TRUE(Mp3()->isChecked());
    EXPECT_FALSE(Wav()->isChecked());
    Rip(1);

    const std::string mp3 = ReadAll(Slideshow + "/Track02.mp3");
    ASSERT_GT(mp3.size(), 1000u);
    EXPECT_EQ(static_cast<uint8_t>(mp3[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(mp3[1]) & 0xE0, 0xE0);
    EXPECT_EQ(AudioIni(), "Track02.mp3\r\n");

    ClickBox(Mp3());  // unchecking MP3 checks WAV
    EXPECT_TRUE(Wav()->isChecked());
    ClickLine(1);
    QTest::keyClick(List(), Qt::Key_Return);  // as a double-click does
    EXPECT_EQ(ReadAll(Slideshow + "/Track02.wav").substr(0, 4), "RIFF");
    EXPECT_EQ(AudioIni(), "Track02.mp3\r\nTrack02.wav\r\n");
    EXPECT_TRUE(Boxes.Shown.empty());
}

TEST_F(RipDialogTest, OverwriteYesRipsOverTheFileAndListsItTwice)
{
    OPEN_TRAYS();
    Tick();
    Rip(1);
    Boxes.ConfirmAnswer = true;
    QTest::keyClick(List(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "confirm");
    EXPECT_EQ(Boxes.Shown[0].Text,
              "Audiodatei existiert bereits! Soll die bereits bestehende Audiodatei überschrieben werden?");
    EXPECT_EQ(AudioIni(), "Track02.wav\r\nTrack02.wav\r\n");
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track02.wav"}));
    EXPECT_EQ(ReadAll(Slideshow + "/Track02.wav").size(),
              44 + discimage::TrackBytes(ThreeTrackDisc(), 1).size());
}

// Any answer but "&Ja" keeps the file; the numbered name is drawn again
// while it is taken.
TEST_F(RipDialogTest, OverwriteNoKeepsTheFileAndTakesAFreeNumberedName)
{
    std::vector<uint32_t> bounds;
    std::vector<uint32_t> draws{42, 7};
    TRipFormSeams seams;
    seams.RandomDraw = [&](uint32_t bound) {
        bounds.push_back(bound);
        const uint32_t n = draws.front();
        draws.erase(draws.begin());
        return n;
    };
    OPEN_TRAYS(Tray, seams);
    std::ofstream(Slideshow + "/Track01.wav") << "old file";
    std::ofstream(Slideshow + "/42_Track01.wav") << "older file";
    Tick();
    Boxes.ConfirmAnswer = false;
    Rip(0);

    EXPECT_EQ(bounds, (std::vector<uint32_t>{99999999, 99999999}));
    EXPECT_EQ(ReadAll(Slideshow + "/Track01.wav"), "old file");
    EXPECT_EQ(ReadAll(Slideshow + "/42_Track01.wav"), "older file");
    EXPECT_EQ(ReadAll(Slideshow + "/7_Track01.wav").size(),
              44 + discimage::TrackBytes(ThreeTrackDisc(), 0).size());
    EXPECT_EQ(AudioIni(), "7_Track01.wav\r\n");
}

struct TLanguageNotice {
    const char* Language;
    const char* Notice;
};

class DataTrackTest : public RipDialogTest, public testing::WithParamInterface<TLanguageNotice> {};

TEST_P(DataTrackTest, IsRefusedInTheLanguageAndTheRefreshRunsOn)
{
    Profile.WriteUserFile("LanguageIsSet.ini", std::string(GetParam().Language) + "\r\n");
    OPEN_TRAYS();
    Tick();
    Rip(2);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "information");
    EXPECT_EQ(Boxes.Shown[0].Text, GetParam().Notice);
    EXPECT_FALSE(Start()->isEnabled());
    EXPECT_FALSE(Abort()->isEnabled());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(SlideshowFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, DataTrackTest,
    testing::Values(TLanguageNotice{"GERMAN",
                                    "Dies ist kein Audiotrack! Bitte wählen Sie einen Audiotrack aus!"},
                    TLanguageNotice{"ENGLISH", "This is no Audiotrack! Please select a Track!"}),
    [](const testing::TestParamInfo<TLanguageNotice>& param) { return std::string(param.param.Language); });

// The track's kind decides, never a title that says "(Data)".  The box keeps
// its size; a line too long for it shows whole in its tooltip and the list
// scrolls sideways.
TEST_F(RipDialogTest, TitledCueSheetShowsTheTitlesAndCopiesATrackTitledData)
{
    discimage::WriteImage(
        discimage::ParseDescription("album=Live performer=Chor audio:450:title=\"Live (Data) Mix\" "
                                    "audio:300:title=Zwei:performer=Solo data:150:title=Daten"),
        Tray);
    OPEN_TRAYS();
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 3; }));
    EXPECT_EQ(Lines(), (QStringList{"Track01 (Audio)  0:06  Live (Data) Mix",
                                    "Track02 (Audio)  0:04  Zwei – Solo", "Track03 (Data)  Daten"}));
    EXPECT_EQ(List()->size(), QSize(145, 225));
    EXPECT_EQ(List()->item(0)->toolTip(), Lines()[0]);
    EXPECT_TRUE(WaitFor([&] { return List()->horizontalScrollBar()->maximum() > 0; }, 10000));
    Rip(0);
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_NE(ReadAll(Slideshow + "/Track01.wav").find("Live (Data) Mix"), std::string::npos);
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
}

// A double-click before the first refresh, or a start with no line selected
// (the list got shorter), is refused quietly and the refresh goes on.
TEST_F(RipDialogTest, RefusedStartsRestartTheRefresh)
{
    discimage::WriteImage(AudioDisc(4), Tray);
    OPEN_TRAYS();
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(Start()->isEnabled());
    EXPECT_FALSE(Abort()->isEnabled());
    EXPECT_TRUE(Timer()->isActive());

    ASSERT_TRUE(TickUntil([&] { return List()->count() == 4; }));
    ClickLine(3);
    discimage::WriteImage(AudioDisc(2), Tray);
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 2; }));
    EXPECT_TRUE(List()->selectedItems().isEmpty());
    ASSERT_TRUE(Start()->isEnabled());
    QTest::mouseClick(Start(), Qt::LeftButton);
    EXPECT_FALSE(Start()->isEnabled());
    EXPECT_FALSE(Abort()->isEnabled());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_TRUE(SlideshowFiles().empty());
}

TEST_F(RipDialogTest, AbortMidRipLeavesNoFileAndNoLine)
{
    // A jitter report in the first read makes the rip write a jitter file too.
    std::ofstream(Tray + ".faults") << "jitter@" << discimage::TrackStart(ThreeTrackDisc(), 0) + 2 << "\n";
    OPEN_TRAYS();
    Tick();
    EXPECT_FALSE(Abort()->isEnabled());
    bool abortWasOn = false;
    AtFirstProgress([&] {
        abortWasOn = Abort()->isEnabled();
        QTest::mouseClick(Abort(), Qt::LeftButton);
        EXPECT_EQ(Status(), "Aborted");
        EXPECT_FALSE(Abort()->isEnabled());
    });
    Rip(0);

    EXPECT_TRUE(abortWasOn);
    EXPECT_TRUE(SlideshowFiles().empty());
    EXPECT_EQ(Status(), "Aborted");
    ExpectIdle();
    EXPECT_TRUE(Start()->isEnabled());
    EXPECT_TRUE(Boxes.Shown.empty());
}

TEST_F(RipDialogTest, ClosingDuringARipAbortsCleansUpAndCloses)
{
    OPEN_TRAYS();
    Tick();
    AtFirstProgress([&] { Form->close(); });
    Rip(0);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(SlideshowFiles().empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// While RipTrack runs, neither a refresh nor a second start gets through.
TEST_F(RipDialogTest, NoRipOrRefreshInsideARip)
{
    OPEN_TRAYS();
    Tick();
    int lines = -1;
    AtFirstProgress([&] {
        discimage::WriteImage(AudioDisc(1), Tray + ".other.cue");
        Tick();
        lines = List()->count();
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
        QTest::mouseClick(Start(), Qt::LeftButton);
    });
    Rip(0);
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
    EXPECT_EQ(ReadAll(Slideshow + "/Track01.wav").size(),
              44 + discimage::TrackBytes(ThreeTrackDisc(), 0).size());
}

// The folder is missing: the error box, the dialog at rest again, nothing
// written; once the folder exists the next rip works.
TEST_F(RipDialogTest, MissingSlideshowFolderShowsTheErrorThenRipsOnceItExists)
{
    fs::remove_all(Slideshow);
    OPEN_TRAYS();
    Tick();
    Rip(0);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "error");
    EXPECT_EQ(Boxes.Shown[0].Text, "Datei " + Slideshow + "/Track01.wav kann nicht erstellt werden.");
    ExpectIdle();
    EXPECT_NE(Status(), "Fertig!");
    EXPECT_FALSE(fs::exists(Slideshow));

    fs::create_directories(Slideshow);
    Rip(0);
    EXPECT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
    EXPECT_EQ(Status(), "Fertig!");
}

TEST_F(RipDialogTest, ReadErrorLeavesNoFile)
{
    std::ofstream(Tray + ".faults") << "unreadable@" << discimage::TrackStart(ThreeTrackDisc(), 0) + 100
                                    << "-" << discimage::TrackStart(ThreeTrackDisc(), 0) + 120 << "\n";
    OPEN_TRAYS();
    Tick();
    Rip(0);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Text, "Read error.");
    EXPECT_TRUE(SlideshowFiles().empty());
    ExpectIdle();
}

// A finished copy whose line cannot be written stays, and the error shows.
TEST_F(RipDialogTest, AudioIniFailureShowsTheErrorAndKeepsTheCopy)
{
    fs::create_directories(Slideshow + "/Audio.ini/x");
    OPEN_TRAYS();
    Tick();
    Rip(0);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "error");
    EXPECT_TRUE(fs::exists(Slideshow + "/Track01.wav"));
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track01.wav"}));
    ExpectIdle();
}

// The user answered "&Ja" to overwrite Track01.wav; the copy then does not
// complete.  The old file must survive byte for byte, with no line added to
// Audio.ini and nothing else left in the folder.
enum class TUnfinished { Abort, ReadError, CloseWindow };

class OverwriteThenUnfinishedTest : public RipDialogTest, public testing::WithParamInterface<TUnfinished> {};

TEST_P(OverwriteThenUnfinishedTest, KeepsTheOldFileAndAudioIni)
{
    const std::string old = "RIFF old copy \x01\x02\r\n";
    const std::string ini = "Track01.wav\r\nAnderes.mp3\r\n";
    WriteFile(Slideshow + "/Track01.wav", old);
    WriteFile(Slideshow + "/Audio.ini", ini);
    const int32_t start = discimage::TrackStart(ThreeTrackDisc(), 0);
    if (GetParam() == TUnfinished::ReadError)
        std::ofstream(Tray + ".faults") << "unreadable@" << start + 200 << "-" << start + 220 << "\n";
    else
        std::ofstream(Tray + ".faults") << "jitter@" << start + 2 << "\n";  // a jitter file is due too
    OPEN_TRAYS();
    Tick();
    Boxes.ConfirmAnswer = true;
    if (GetParam() == TUnfinished::Abort)
        AtFirstProgress([&] { QTest::mouseClick(Abort(), Qt::LeftButton); });
    if (GetParam() == TUnfinished::CloseWindow)
        AtFirstProgress([&] { Form->close(); });
    Rip(0);

    ASSERT_GE(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "confirm");
    EXPECT_EQ(Boxes.Shown.size(), GetParam() == TUnfinished::ReadError ? 2u : 1u);
    EXPECT_EQ(ReadAll(Slideshow + "/Track01.wav"), old);
    EXPECT_EQ(AudioIni(), ini);
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track01.wav"}));
    EXPECT_EQ(Form->isVisible(), GetParam() != TUnfinished::CloseWindow);
}

INSTANTIATE_TEST_SUITE_P(Endings, OverwriteThenUnfinishedTest,
                         testing::Values(TUnfinished::Abort, TUnfinished::ReadError,
                                         TUnfinished::CloseWindow),
                         [](const testing::TestParamInfo<TUnfinished>& p) {
                             switch (p.param) {
                             case TUnfinished::Abort: return std::string("Abort");
                             case TUnfinished::ReadError: return std::string("ReadError");
                             default: return std::string("CloseWindow");
                             }
                         });

// A finished copy whose jitter file cannot be written (a folder holds its
// name) stays and is listed; the jitter file's error is shown.
TEST_F(RipDialogTest, JitterFileFailureShowsTheErrorAndKeepsTheCopy)
{
    std::ofstream(Tray + ".faults") << "jitter@" << discimage::TrackStart(ThreeTrackDisc(), 0) + 2 << "\n";
    fs::create_directories(Slideshow + "/Track01jitt/x");
    OPEN_TRAYS();
    Tick();
    Rip(0);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "error");
    EXPECT_EQ(Boxes.Shown[0].Text, "Datei " + Slideshow + "/Track01jitt kann nicht erstellt werden.");
    EXPECT_EQ(ReadAll(Slideshow + "/Track01.wav").size(),
              44 + discimage::TrackBytes(ThreeTrackDisc(), 0).size());
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track01.wav", "Track01jitt"}));
    ExpectIdle();
}

// A read-only Audio.ini is the user's choice: it is not replaced, the
// reason is shown, and the finished copy stays (unlisted).
TEST_F(RipDialogTest, ReadOnlyAudioIniIsRefusedAndTheCopyStays)
{
    WriteFile(Slideshow + "/Audio.ini", "Alt.wav\r\n");
    fs::permissions(Slideshow + "/Audio.ini",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    OPEN_TRAYS();
    Tick();
    Rip(0);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "error");
    EXPECT_EQ(Boxes.Shown[0].Text, "Datei " + Slideshow + "/Audio.ini ist schreibgeschützt.");
    EXPECT_EQ(AudioIni(), "Alt.wav\r\n");
    EXPECT_EQ(fs::status(Slideshow + "/Audio.ini").permissions(),
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track01.wav"}));
    ExpectIdle();
}

TEST_F(RipDialogTest, NoSlideshowFolderRefusesTheStart)
{
    Profile.WriteUserFile("Ripper.ini", "[Settings]\r\n");
    OPEN_TRAYS();
    Tick();
    Rip(0);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, "error");
    EXPECT_EQ(Boxes.Shown[0].Text, "Es ist kein Diashow-Ordner eingestellt (DiashowDir in Ripper.ini)");
    EXPECT_FALSE(Abort()->isEnabled());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_FALSE(fs::exists("/Track01.wav"));
}

TEST_F(RipDialogTest, ExistingAudioIniKeepsItsBytes)
{
    std::ofstream(Slideshow + "/Audio.ini", std::ios::binary) << "M\xFCller \xE4.mp3\nZweite.wav\n";
    OPEN_TRAYS();
    Tick();
    Rip(1);
    EXPECT_EQ(AudioIni(), "M\xFCller \xE4.mp3\r\nZweite.wav\r\nTrack02.wav\r\n");
}

TEST_F(RipDialogTest, SwappedDiscIsReadAndTheLineSelectedAgain)
{
    OPEN_TRAYS();
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 3; }));
    ClickLine(1);
    discimage::WriteImage(AudioDisc(4), Tray);
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 4; }));
    EXPECT_EQ(Lines(), (QStringList{"Track01 (Audio)  0:02", "Track02 (Audio)  0:02", "Track03 (Audio)  0:02",
                                    "Track04 (Audio)  0:02"}));
    ASSERT_EQ(List()->selectedItems().size(), 1);
    EXPECT_EQ(List()->row(List()->selectedItems().first()), 1);
    EXPECT_TRUE(Start()->isEnabled());

    discimage::WriteImage(AudioDisc(1), Tray);
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 1; }));
    EXPECT_EQ(Lines(), QStringList{"Track01 (Audio)  0:02"});
    EXPECT_TRUE(List()->selectedItems().isEmpty());
}

TEST_F(RipDialogTest, RemovedDiscEmptiesAndDisablesTheList)
{
    OPEN_TRAYS();
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 3; }));
    ClickLine(0);
    ASSERT_TRUE(Start()->isEnabled());
    fs::remove(Tray);
    EXPECT_TRUE(TickUntil([&] { return List()->count() == 0; }));
    EXPECT_FALSE(List()->isEnabled());
    EXPECT_FALSE(Start()->isEnabled());

    discimage::WriteImage(AudioDisc(2), Tray);
    EXPECT_TRUE(TickUntil([&] { return List()->count() == 2; }));
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_FALSE(Start()->isEnabled());
}

// The second name is far wider than the box: the drop-down list and the
// box's tooltip show it whole, the box keeps its size.
TEST_F(RipDialogTest, TwoVirtualDrivesAreNumberedInOrder)
{
    const std::string second = Temp.path().toStdString() + "/tray2-in-the-drive-with-a-long-name.cue";
    discimage::WriteImage(AudioDisc(5), second);
    OPEN_TRAYS(Tray + ":" + second);
    EXPECT_EQ(Drives()->itemText(0), "Virtual CD drive (tray1.cue)");
    EXPECT_EQ(Drives()->itemText(1), "Virtual CD drive (tray2-in-the-drive-with-a-long-name.cue)");
    EXPECT_EQ(Drives()->currentIndex(), 0);
    EXPECT_TRUE(TickUntil([&] { return List()->count() == 3; }));

    QTest::keyClick(Drives(), Qt::Key_Down);
    EXPECT_EQ(Drives()->currentIndex(), 1);
    EXPECT_EQ(List()->count(), 5);
    EXPECT_EQ(Drives()->toolTip(), Drives()->itemText(1));
    QStyle* listTakesTheBoxWidth = QStyleFactory::create(QStringLiteral("Windows"));
    listTakesTheBoxWidth->setParent(Form.get());
    Drives()->setStyle(listTakesTheBoxWidth);
    Drives()->showPopup();
    const QAbstractItemView* popup = Drives()->view();
    EXPECT_GT(popup->viewport()->width(), popup->fontMetrics().horizontalAdvance(Drives()->itemText(1)));
    EXPECT_EQ(Drives()->width(), 281);
    Drives()->hidePopup();
    Rip(4);
    EXPECT_EQ(AudioIni(), "Track05.wav\r\n");
    EXPECT_EQ(ReadAll(Slideshow + "/Track05.wav").size(), 44 + discimage::TrackBytes(AudioDisc(5), 4).size());

    QTest::keyClick(Drives(), Qt::Key_Up);
    EXPECT_EQ(List()->count(), 3);
    Tick();
    EXPECT_EQ(List()->count(), 3);
}

os::TDriveApi ScriptedDrives(std::vector<os::TDriveEntry> drives)
{
    return {[drives](uint32_t length, char* buffer) { return os::DriveStringsOf(drives, length, buffer); },
            [drives](const char* root) { return os::DriveTypeOf(drives, root); }};
}

TEST_F(RipDialogTest, HardDiskBetweenTwoCdDrivesGivesEntriesZeroAndOne)
{
    const std::string second = Temp.path().toStdString() + "/tray2.cue";
    discimage::WriteImage(AudioDisc(5), second);
    TRipFormSeams seams;
    seams.DriveApi = ScriptedDrives(
        {{'C', os::DRIVE_FIXED}, {'D', os::DRIVE_CDROM}, {'E', os::DRIVE_FIXED}, {'F', os::DRIVE_CDROM}});
    OPEN_TRAYS(Tray + ":" + second, seams);
    EXPECT_EQ(Drives()->itemText(1), "Virtual CD drive (tray2.cue)");
    EXPECT_TRUE(TickUntil([&] { return List()->count() == 3; }));
    QTest::keyClick(Drives(), Qt::Key_Down);
    EXPECT_EQ(List()->count(), 5);
}

TEST_F(RipDialogTest, DriveStringsTooLongEndStartUpWithTheSystemText)
{
    TRipFormSeams seams;
    seams.DriveApi = {[](uint32_t, char*) { return uint32_t{200}; },
                      [](const char*) { return os::DRIVE_CDROM; }};
    Open(Tray, seams);
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Text, os::SysErrorMessage(14) + ".");
    EXPECT_EQ(Drives()->count(), 0);
    EXPECT_FALSE(Timer()->isActive());
}

// ---- A refresh that fails ----

bool gFailToc = false;
int32_t FailingReadToc()
{
    if (gFailToc)
        throw std::runtime_error("drive gone");
    return cdrip::LinkedCdRipApi().ReadToc();
}

// The box of a failing tick runs its own event loop; the ticks that come
// meanwhile must not stack more boxes.
class TTickingBoxes : public TBoxRecorder {
public:
    void ShowError(QWidget* parent, const QString& text) override
    {
        TBoxRecorder::ShowError(parent, text);
        const int target = Ticks + 3;
        WaitFor([&] { return Ticks >= target; }, 10000);
    }
    int Ticks = 0;
};

TEST_F(RipDialogTest, FailingRefreshShowsOneBoxAtATime)
{
    cdrip::TCdRipApi api = cdrip::LinkedCdRipApi();
    api.ReadToc = FailingReadToc;
    TTickingBoxes boxes;
    TRipFormSeams seams;
    seams.CdRipApi = &api;
    seams.MessageBoxes = &boxes;
    seams.ProgramFile = Profile.ProgramFile();
    gFailToc = false;
    const TEnvironmentVariable images("CDRIP_IMAGES", Tray);
    Form = std::make_unique<TRipForm>(seams);
    QObject::connect(Timer(), &QTimer::timeout, Form.get(), [&] { ++boxes.Ticks; });
    Timer()->setInterval(5);
    ASSERT_TRUE(TickUntil([&] { return List()->count() == 3; }));

    gFailToc = true;
    Tick();
    gFailToc = false;
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].Text, "Initialization failure.");
    EXPECT_FALSE(List()->isEnabled());
    EXPECT_FALSE(Start()->isEnabled());

    ASSERT_TRUE(WaitFor([&] { return List()->count() == 3; }, 10000));
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_EQ(boxes.Shown.size(), 1u);
}

}  // namespace

namespace {

// The demo as scripts/demo.sh sets it up: its profile files, its disc in a
// virtual drive; a track ripped through the dialog lands in the slideshow
// folder.
TEST_F(RipDialogTest, DemoDiscRipsIntoTheDemoSlideshowFolder)
{
    const std::string demo = RIPPER_DEMO_DIR;
    Profile.WriteUserFile("Language.ini", ReadAll(demo + "/Language.ini"));
    Profile.WriteUserFile("LanguageIsSet.ini", ReadAll(demo + "/LanguageIsSet.ini"));
    const discimage::Disc disc = discimage::ParseDescription(ReadAll(demo + "/demo-disc.txt"));
    discimage::WriteImage(disc, Tray);
    OPEN_TRAYS();
    ASSERT_TRUE(TickUntil([&] { return List()->count() == static_cast<int>(disc.tracks.size()); }));
    EXPECT_TRUE(List()->item(List()->count() - 1)->text().endsWith("(Data)"));

    Rip(0);
    EXPECT_TRUE(Boxes.Shown.empty());
    // The table of contents gives a track up to the next one's start, so
    // the copy holds the gap before track 2 as well.
    const auto sectors = static_cast<size_t>(discimage::TrackStart(disc, 1) - discimage::TrackStart(disc, 0));
    const std::string copy = ReadAll(Slideshow + "/Track01.wav");
    EXPECT_EQ(copy.find("LIST", 44), 44 + sectors * discimage::kSectorBytes);
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
    EXPECT_FALSE(Form->TranslateText(20016).empty());
    EXPECT_EQ(Status().toStdString(), Form->TranslateText(20016));
}

// The calls of the staging code in order, "call name;" each: a temporary
// file as "~NAME", a folder as "NAME/"; a call repeated at once counts once.
class TCallRecorder : public os::TFileCalls {
public:
    std::string Calls;

    int Open(const std::string& p, int flags, mode_t m) override
    {
        return Note("open", TFileCalls::Open(p, flags, m));
    }
    int MakeTemp(std::string& p, int flags) override
    {
        return Note("mkstemp", TFileCalls::MakeTemp(p, flags));
    }
    ssize_t Write(int fd, const void* d, size_t n) override
    {
        return TFileCalls::Write(Note("write", fd), d, n);
    }
    int Sync(int fd) override { return TFileCalls::Sync(Note("fsync", fd)); }
    int DataSync(int fd) override { return TFileCalls::DataSync(Note("fdatasync", fd)); }
    int Chmod(int fd, mode_t m) override { return TFileCalls::Chmod(Note("fchmod", fd), m); }
    int Lock(int fd, int operation) override { return TFileCalls::Lock(Note("flock", fd), operation); }
    int Close(int fd) override { return TFileCalls::Close(Note("close", fd)); }
    int Rename(const std::string& from, const std::string& to) override
    {
        Add("rename " + Shown(from) + " " + Shown(to));
        return TFileCalls::Rename(from, to);
    }

private:
    static std::string Shown(const std::string& path)
    {
        const std::string name = std::filesystem::path(path).filename().string();
        if (os::IsTemporaryName(name))
            return "~" + name.substr(1, name.rfind(".ripper-") - 1);
        return std::filesystem::is_directory(path) ? name + "/" : name;
    }
    int Note(const char* call, int fd)
    {
        std::error_code absent;
        if (fd >= 0)
            Add(call +
                (" " + Shown(std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), absent))));
        return fd;
    }
    void Add(const std::string& call)
    {
        if (call != FLast)
            Calls += call + ";";
        FLast = call;
    }
    std::string FLast;
};

// The calls that replace `name`: stored with its attributes, renamed, the
// folder synced.
std::string Replacing(const std::string& name)
{
    const std::string temp = " ~" + name + ";";
    return "mkstemp" + temp + "flock" + temp + "write" + temp + "fchmod" + temp + "fsync" + temp +
           "rename ~" + name + " " + name + ";open Diashow/;fsync Diashow/;close Diashow/;close " + name +
           ";";
}

// The copy of a rip through the dialog as its calls run, and each write
// after it (the jitter file, Audio.ini replaced or appended in place) only
// once the copy's name is durable.
struct TWrite {
    const char* Name;
    bool HardLinkedIni;
    std::string Calls;
};

class WriteOrderTest : public RipDialogTest, public testing::WithParamInterface<TWrite> {};

TEST_P(WriteOrderTest, StoresRenamesThenSyncsTheFolder)
{
    std::ofstream(Tray + ".faults") << "jitter@2\n";
    if (GetParam().HardLinkedIni) {
        std::ofstream(Slideshow + "/Audio.ini").flush();
        fs::create_hard_link(Slideshow + "/Audio.ini", Temp.path().toStdString() + "/Other.ini");
    }
    TCallRecorder recorder;
    OPEN_TRAYS();
    Tick();
    {
        const os::TFileCallsScope recording(recorder);
        Rip(0);
    }
    Form.reset();
    EXPECT_EQ(AudioIni(), "Track01.wav\r\n");
    const std::string copy = Replacing("Track01.wav");
    const size_t copied = recorder.Calls.find(copy);
    ASSERT_NE(copied, std::string::npos) << recorder.Calls;
    EXPECT_NE(recorder.Calls.find(GetParam().Calls, copied + copy.size()), std::string::npos)
        << recorder.Calls;
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteOrderTest,
    testing::Values(TWrite{"JitterFile", false, Replacing("Track01jitt")},
                    TWrite{"AudioIni", false,
                           "open Diashow/;flock Diashow/;" + Replacing("Audio.ini") + "close Diashow/;"},
                    TWrite{"AudioIniInPlace", true,
                           "open Diashow/;flock Diashow/;open Audio.ini;close Audio.ini;open Audio.ini;"
                           "write Audio.ini;fdatasync Audio.ini;close Audio.ini;close Diashow/;"}),
    [](const testing::TestParamInfo<TWrite>& p) { return std::string(p.param.Name); });

}  // namespace
