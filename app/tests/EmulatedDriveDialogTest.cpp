// The dialog on a CD drive as the program meets it on a real machine: no
// virtual drives (CDRIP_IMAGES unset), a drive at /dev/srN that libcdio finds
// and opens through the kernel interface, emulated by libfakedrive (this
// process runs with it preloaded; see app/tests/CMakeLists.txt). The real
// extraction library, paranoia and encoder; the dialog driven by clicks, its
// boxes answered by a recorder.
#include "DiscImage.h"
#include "RipDialogFixture.h"
#include "TestSupport.h"
#include "TestProfile.h"
#include "fRipper.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cdio/cdio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

namespace fs = std::filesystem;
using riptest::ReadAll;

namespace {

// Noise: paranoia cannot re-align it on the wrong period, and it defeats
// the byte-order guess. Track 1 is long enough for a fault in its middle.
discimage::Disc NoiseDisc()
{
    discimage::Disc disc;
    disc.tracks = {{true, 1500, discimage::Content::Noise, 0, 7},
                   {true, 450, discimage::Content::Noise, 0, 11}};
    return disc;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool FakeDrivePreloaded() { return ReadAll("/proc/self/maps").find("libfakedrive") != std::string::npos; }

// Each test of a process gets a drive of its own: a read that an earlier
// test abandoned may still be running on that test's drive, and the machine
// this test sets up no longer has it, so it neither shows up in the drive
// box nor keeps this test waiting.
std::string NextDevice()
{
    static int next = 0;
    return "/dev/sr" + std::to_string(next++ % 16);
}

class EmulatedDriveTest : public riptest::RipDialogFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FakeDrivePreloaded())
            << "these tests need the drive emulator: LD_PRELOAD=<build>/bin/libfakedrive.so (ctest sets it)";
        WriteProfile();
        discimage::WriteImage(NoiseDisc(), Tray);
        FakeDrive.emplace("FAKEDRIVE", Device + "=" + Tray);
    }

    void TearDown() override
    {
        Form.reset();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        // A read left behind ends at normal speed.
        SetDriveFaults("");
    }

    void SetDriveFaults(const std::string& items) const { WriteText(Tray + ".drive", items + "\n"); }

    // The dialog, shown, with its drive box on this test's drive and the
    // track list read.
    void Open()
    {
        Show();
        ListTheDrive();
    }

    void ListTheDrive() const
    {
        const int entry = DriveEntry();
        ASSERT_GE(entry, 0) << "no entry for " << Device << " in the drive box";
        Drives()->setCurrentIndex(entry);
        ASSERT_TRUE(TickUntil([this] { return List()->count() > 0; }));
    }

    // The entry of the drive box that names this test's device.
    int DriveEntry() const
    {
        const QString suffix = QString::fromStdString("(" + Device + ")");
        for (int i = 0; i < Drives()->count(); ++i)
            if (Drives()->itemText(i).endsWith(suffix))
                return i;
        return -1;
    }

    std::string WavOf(size_t track) const
    {
        const std::vector<uint8_t> pcm = discimage::TrackBytes(NoiseDisc(), track);
        return std::string(pcm.begin(), pcm.end());
    }

    std::string Tray = Temp.path().toStdString() + "/tray.cue";
    std::string Device = NextDevice();
    testsupport::TEnvGuard Images{"CDRIP_IMAGES", std::nullopt};
    testsupport::TEnvGuard ImagesOnly{"CDRIP_IMAGES_ONLY", std::nullopt};
    std::optional<testsupport::TEnvGuard> FakeDrive;
};

// Far below a drive's slow command, far above what a busy machine adds to a
// responsive dialog: a dialog that waits on the drive misses it by seconds.
constexpr qint64 kResponsiveMs = 2000;

// ---- The drive box and the track list ----

struct TInquiryCase {
    const char* Name;
    const char* Faults;       // the drive's INQUIRY strings, if not the default
    const char* Identified;   // the drive box's text before " (/dev/srN)"
    const char* CdText = "";  // the emulator's TRAY.cdtext
    QStringList Lines{"Track01 (Audio)  0:20", "Track02 (Audio)  0:06"};
};

void PrintTo(const TInquiryCase& c, std::ostream* os) { *os << c.Name; }

class EmulatedDriveBoxTest : public EmulatedDriveTest, public testing::WithParamInterface<TInquiryCase> {};

// The start never waits for the drive; a name that comes later replaces
// the drive's first entry at a later refresh.
TEST_P(EmulatedDriveBoxTest, NamesTheDriveAndListsItsTracks)
{
    SetDriveFaults(GetParam().Faults);
    WriteText(Tray + ".cdtext", GetParam().CdText);
    QElapsedTimer clock;
    clock.start();
    Show();
    EXPECT_LT(clock.elapsed(), kResponsiveMs) << "the start waited for the drive";
    ListTheDrive();
    const QString named = QString::fromStdString(std::string(GetParam().Identified) + " (" + Device + ")");
    EXPECT_TRUE(TickUntil([&] { return Drives()->currentText() == named; }))
        << Drives()->currentText().toStdString();
    EXPECT_EQ(Lines(), GetParam().Lines);
    EXPECT_TRUE(List()->isEnabled());
    ClickLine(1);
    EXPECT_TRUE(Start()->isEnabled());
    EXPECT_TRUE(Boxes.Shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Inquiry, EmulatedDriveBoxTest,
    testing::Values(TInquiryCase{"Default", "", "ACME CDR-4711 1.02"},
                    TInquiryCase{"OwnStrings", "vendor=NORVELA model=DiscMaster revision=7",
                                 "NORVELA DiscMaster 7"},
                    TInquiryCase{"SlowToAnswer", "slow-inquiry=2500 slow-status=2500", "ACME CDR-4711 1.02"},
                    // The dialog is German: of an English and a German block, the German one.
                    TInquiryCase{"GermanCdTextBlock",
                                 "",
                                 "ACME CDR-4711 1.02",
                                 "title1=One\nblock=8\ntitle=Sommer\ntitle1=Eins\nperformer2=Chor\n",
                                 {"Track01 (Audio)  0:20  Eins", "Track02 (Audio)  0:06  Chor"}}),
    [](const testing::TestParamInfo<TInquiryCase>& param) { return std::string(param.param.Name); });

// While another reader of the drive waits in a 3-s READ CD (the kernel runs
// one command at a time per drive), every refresh answers from what the
// library read before, at once.
TEST_F(EmulatedDriveTest, RefreshAnswersWhileAnotherReaderHoldsTheDrive)
{
    Open();
    SetDriveFaults("slow-read=3000");
    std::atomic<bool> reading{false};
    std::atomic<bool> done{false};
    std::thread other([&] {
        CdIo_t* cdio = cdio_open(Device.c_str(), DRIVER_DEVICE);
        std::vector<uint8_t> sector(CDIO_CD_FRAMESIZE_RAW);
        reading = true;
        cdio_read_audio_sectors(cdio, sector.data(), 0, 1);
        cdio_destroy(cdio);
        done = true;
    });
    while (!reading)
        std::this_thread::yield();
    std::vector<qint64> times;
    for (QElapsedTimer clock; !done; QTest::qWait(100)) {
        clock.start();
        Tick();
        times.push_back(clock.elapsed());
    }
    other.join();
    // A refresh that waits for the drive takes the read's 3 s; one that does
    // not answers within 0.1 s, give or take what a busy machine adds to a
    // single one of them.
    ASSERT_GE(times.size(), 10u);
    std::sort(times.begin(), times.end());
    EXPECT_LT(times.back(), kResponsiveMs) << "a refresh waited for the drive";
    EXPECT_LT(times[times.size() / 2], 100) << "refreshes took longer than 0.1 s";
    EXPECT_EQ(Lines(), (QStringList{"Track01 (Audio)  0:20", "Track02 (Audio)  0:06"}));
}

// With the refresh's own timer: a disc taken out empties the list, and put
// back fills it, each within two refreshes.
TEST_F(EmulatedDriveTest, DiscOutAndInShowWithinTwoRefreshes)
{
    Open();
    int ticks = 0;
    QObject::connect(Timer(), &QTimer::timeout, Form.get(), [&] { ++ticks; });
    const auto showsWithinTwoRefreshes = [&](int lines) {
        const int due = ticks + 2;
        const QDeadlineTimer deadline(20000);
        while (List()->count() != lines && ticks < due && !deadline.hasExpired())
            QTest::qWait(20);
        return List()->count() == lines;
    };
    fs::rename(Tray, Tray + ".out");
    EXPECT_TRUE(showsWithinTwoRefreshes(0));
    fs::rename(Tray + ".out", Tray);
    EXPECT_TRUE(showsWithinTwoRefreshes(2));
}

// ---- Rips ----

struct TFormatCase {
    const char* Name;
    bool Mp3;
};

void PrintTo(const TFormatCase& c, std::ostream* os) { *os << c.Name; }

class EmulatedDriveRipTest : public EmulatedDriveTest, public testing::WithParamInterface<TFormatCase> {};

TEST_P(EmulatedDriveRipTest, LandsInTheSlideshowFolderWithItsLine)
{
    Open();
    if (GetParam().Mp3)
        QTest::mouseClick(Mp3(), Qt::LeftButton, {}, QPoint(6, Mp3()->height() / 2));
    ASSERT_EQ(Mp3()->isChecked(), GetParam().Mp3);
    Rip(1);

    EXPECT_TRUE(Boxes.Shown.empty());
    const std::string name = GetParam().Mp3 ? "Track02.mp3" : "Track02.wav";
    EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", name}));
    EXPECT_EQ(AudioIni(), name + "\r\n");
    const std::string bytes = ReadAll(Slideshow + "/" + name);
    if (GetParam().Mp3) {
        // 450 sectors are 6 s: 96000 bytes at 128 kbit/s.
        ASSERT_GT(bytes.size(), 2u);
        EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xFF);
        EXPECT_NEAR(static_cast<double>(bytes.size()), 96000.0, 4000.0);
    } else {
        ASSERT_EQ(bytes.size(), 44 + WavOf(1).size());
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_TRUE(bytes.compare(44, std::string::npos, WavOf(1)) == 0) << "the PCM differs from the disc's";
    }
    EXPECT_EQ(Status(), "Fertig!");
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Formats, EmulatedDriveRipTest,
                         testing::Values(TFormatCase{"Wav", false}, TFormatCase{"Mp3", true}),
                         [](const testing::TestParamInfo<TFormatCase>& param) {
                             return std::string(param.param.Name);
                         });

// ---- Drive faults during a rip ----

struct TFaultCase {
    const char* Name;
    std::string Faults;
    bool OverOldFile;  // Track01.wav exists and the user answers "&Ja"
};

void PrintTo(const TFaultCase& c, std::ostream* os) { *os << c.Name; }

class EmulatedDriveFaultTest : public EmulatedDriveTest, public testing::WithParamInterface<TFaultCase> {};

// A rip the drive cannot finish ends in the error box; nothing of it is left
// in the slideshow folder, an older copy of that name stays as it was, and
// Audio.ini keeps its lines.
TEST_P(EmulatedDriveFaultTest, ShowsReadErrorAndLeavesTheFolderAsItWas)
{
    WriteText(Slideshow + "/Audio.ini", "Vorher.mp3\r\n");
    const std::string oldCopy = "RIFF an older copy";
    if (GetParam().OverOldFile)
        WriteText(Slideshow + "/Track01.wav", oldCopy);
    Boxes.ConfirmAnswer = true;
    Open();
    SetDriveFaults(GetParam().Faults);
    Rip(0);

    ASSERT_FALSE(Boxes.Shown.empty());
    EXPECT_EQ(Boxes.Shown.back().Kind, "error");
    EXPECT_EQ(Boxes.Shown.back().Text, "Read error.");
    EXPECT_EQ(AudioIni(), "Vorher.mp3\r\n");
    if (GetParam().OverOldFile) {
        EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track01.wav"}));
        EXPECT_TRUE(ReadAll(Slideshow + "/Track01.wav") == oldCopy) << "the older copy changed";
    } else {
        EXPECT_EQ(SlideshowFiles(), std::vector<std::string>{"Audio.ini"});
    }
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EmulatedDriveFaultTest,
    testing::Values(TFaultCase{"DiscRemovedMidTrack",
                               "remove-at=" + std::to_string(discimage::TrackStart(NoiseDisc(), 0) + 700),
                               false},
                    TFaultCase{"DiscRemovedMidTrackOverOldFile",
                               "remove-at=" + std::to_string(discimage::TrackStart(NoiseDisc(), 0) + 700),
                               true},
                    TFaultCase{"DiscRemovedAfterReads", "remove-after=30", false},
                    TFaultCase{"AudioReadsRefused", "no-audio", false},
                    TFaultCase{"AudioReadsRefusedOverOldFile", "no-audio", true}),
    [](const testing::TestParamInfo<TFaultCase>& param) { return std::string(param.param.Name); });

// ---- A drive whose reads take 8 seconds ----

constexpr int kReadMs = 8000;

// A dialog that waits on the drive would hold a test for minutes (paranoia
// opens the disc with a dozen reads): the watchdog ends the process with a
// message instead, once `seconds` have passed without its release.
class TFreezeWatchdog {
public:
    explicit TFreezeWatchdog(int seconds)
        : FThread([this, seconds] {
              std::unique_lock<std::mutex> lock(FMutex);
              if (!FReleased.wait_for(lock, std::chrono::seconds(seconds), [this] { return FDone; })) {
                  std::fprintf(stderr, "the dialog was held for %d s by a drive whose reads take %d ms\n",
                               seconds, kReadMs);
                  std::_Exit(1);
              }
          })
    {}
    ~TFreezeWatchdog()
    {
        {
            const std::lock_guard<std::mutex> lock(FMutex);
            FDone = true;
        }
        FReleased.notify_all();
        FThread.join();
    }
    TFreezeWatchdog(const TFreezeWatchdog&) = delete;
    TFreezeWatchdog& operator=(const TFreezeWatchdog&) = delete;

private:
    std::mutex FMutex;
    std::condition_variable FReleased;
    bool FDone = false;
    std::thread FThread;
};

enum class TStuckAction { Abort, Close, AbortThenRipAgain };

struct TStuckCase {
    const char* Name;
    TStuckAction Action;
};

void PrintTo(const TStuckCase& c, std::ostream* os) { *os << c.Name; }

class EmulatedDriveStuckReadTest : public EmulatedDriveTest,
                                   public testing::WithParamInterface<TStuckCase> {};

// The action comes from a queued timer event while the drive is in its
// first read: the dialog runs it at once, and the rip is over long before
// the read is.
TEST_P(EmulatedDriveStuckReadTest, DialogAnswersWhileTheDriveReads)
{
    const TFreezeWatchdog watchdog(60);
    Open();
    ASSERT_GT(List()->count(), 1);
    SetDriveFaults("slow-read=" + std::to_string(kReadMs));

    QElapsedTimer clock;
    qint64 queuedRanAt = -1;
    bool ripRunning = false;
    qint64 actedAt = -1;
    QTimer::singleShot(300, Form.get(), [&] {
        queuedRanAt = clock.elapsed();
        ripRunning = Abort()->isEnabled() && !Start()->isEnabled() && !List()->isEnabled();
        actedAt = clock.elapsed();
        if (GetParam().Action == TStuckAction::Close)
            Form->close();
        else
            QTest::mouseClick(Abort(), Qt::LeftButton);
    });
    ClickLine(0);
    clock.start();
    QTest::mouseClick(Start(), Qt::LeftButton);
    const qint64 ripReturnedAt = clock.elapsed();

    ASSERT_GE(queuedRanAt, 0) << "the queued event did not run during the rip";
    EXPECT_TRUE(ripRunning);
    EXPECT_LT(queuedRanAt, kResponsiveMs) << "the event was due after 300 ms";
    EXPECT_LT(ripReturnedAt - actedAt, kResponsiveMs) << "the rip returned only after the read";
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_TRUE(SlideshowFiles().empty());

    switch (GetParam().Action) {
    case TStuckAction::Close: EXPECT_FALSE(Form->isVisible()); break;
    case TStuckAction::Abort:
        EXPECT_EQ(Status(), "Aborted");
        EXPECT_TRUE(Start()->isEnabled());
        ExpectIdle();
        break;
    case TStuckAction::AbortThenRipAgain:
        // The abandoned read is still in the drive; the next rip waits for
        // it and then copies the track whole.
        SetDriveFaults("");
        Rip(1);
        EXPECT_TRUE(Boxes.Shown.empty());
        EXPECT_EQ(SlideshowFiles(), (std::vector<std::string>{"Audio.ini", "Track02.wav"}));
        EXPECT_EQ(AudioIni(), "Track02.wav\r\n");
        EXPECT_TRUE(ReadAll(Slideshow + "/Track02.wav").compare(44, std::string::npos, WavOf(1)) == 0);
        EXPECT_EQ(Status(), "Fertig!");
        ExpectIdle();
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Slow, EmulatedDriveStuckReadTest,
                         testing::Values(TStuckCase{"Abort", TStuckAction::Abort},
                                         TStuckCase{"Close", TStuckAction::Close},
                                         TStuckCase{"AbortThenRipAgain", TStuckAction::AbortThenRipAgain}),
                         [](const testing::TestParamInfo<TStuckCase>& param) {
                             return std::string(param.param.Name);
                         });

}  // namespace
