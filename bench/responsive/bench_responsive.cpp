// bench_responsive: how the rip dialog answers while the drive is slow.
//
// Builds the real dialog offscreen on the demo profile, with the demo disc in
// an emulated drive (/dev/sr0 through libfakedrive, which this program loads
// by starting itself again when it is not yet preloaded) whose every READ CD
// takes --slow-ms. It starts a rip of track 1 with the start button, clicks
// Abort after --rip-ms (in the middle of a read), and measures
//   - the gaps between two passes of the event loop: the intervals between
//     the timeouts of a 1 ms timer, which fires on every pass that comes at
//     least 1 ms after the previous one;
//   - the time from the Abort click to the idle dialog (the rip call has
//     returned, Start enabled, Abort disabled);
//   - the longest gap in the --after-ms that follow, while the abandoned read
//     ends and the refresh timer reads the disc again.
// Prints the figures against the goals (gap <= 0.1 s, Abort to idle
// <= 0.3 s). Exit status 0 when it measured, 1 when it could not.
#include "DiscImage.h"
#include "MessageBoxes.h"
#include "NVL_SystemInfo.h"
#include "fRipper.h"

#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kGapGoal = 0.1;
constexpr double kAbortGoal = 0.3;
const char kDevice[] = "/dev/sr0";

struct TOptions {
    int SlowMs = 2000;
    int RipMs = 5000;
    int AfterMs = -1;  // default: two reads and a refresh
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// Starts this program again with the drive emulator preloaded, unless it
// already is. Returns only when it is (or on failure, with a message).
bool RunUnderEmulator(char** argv)
{
    if (ReadAll("/proc/self/maps").find("libfakedrive") != std::string::npos)
        return true;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path emulator = self.parent_path() / "libfakedrive.so";
    if (!fs::exists(emulator)) {
        std::fprintf(stderr, "bench_responsive: %s is missing (cmake --build <build> --target fakedrive)\n",
                     emulator.c_str());
        return false;
    }
    std::string preload = emulator.string();
    if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
        preload += std::string(":") + old;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execv(self.c_str(), argv);
    std::fprintf(stderr, "bench_responsive: cannot start %s: %s\n", self.c_str(), std::strerror(errno));
    return false;
}

bool ParseOptions(int argc, char** argv, TOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        int* target = arg == "--slow-ms"    ? &options.SlowMs
                      : arg == "--rip-ms"   ? &options.RipMs
                      : arg == "--after-ms" ? &options.AfterMs
                                            : nullptr;
        if (!target || i + 1 >= argc) {
            std::fprintf(stderr, "usage: bench_responsive [--slow-ms N] [--rip-ms N] [--after-ms N]\n");
            return false;
        }
        *target = std::atoi(argv[++i]);
    }
    if (options.AfterMs < 0)
        options.AfterMs = 2 * options.SlowMs + 3500;
    return options.SlowMs > 0 && options.RipMs > 0;
}

// Error boxes would wait for a user: their texts go to stderr instead.
class TPrintedBoxes : public TMessageBoxes {
public:
    void ShowError(QWidget*, const QString& text) override { Report("error", text); }
    void Information(QWidget*, const QString& text) override { Report("information", text); }
    bool Confirm(QWidget*, const QString& text) override
    {
        Report("question", text);
        return true;
    }
    int Shown = 0;

private:
    void Report(const char* kind, const QString& text)
    {
        ++Shown;
        std::fprintf(stderr, "bench_responsive: %s box: %s\n", kind, text.toUtf8().constData());
    }
};

// The demo as scripts/demo.sh sets it up, in `work`: profile, slideshow
// folder, the demo disc as the tray of the emulated drive.
std::string SetUpDemo(const std::string& work)
{
    const std::string demo = RIPPER_DEMO_DIR;
    const std::string profile = work + "/profile/NORVELA/Fotaria/";
    fs::create_directories(profile);
    fs::create_directories(work + "/Diashow");
    fs::copy_file(demo + "/Language.ini", profile + "Language.ini");
    fs::copy_file(demo + "/LanguageIsSet.ini", profile + "LanguageIsSet.ini");
    WriteText(profile + "Ripper.ini", "[SETTINGS]\r\nDiashowDir=" + work + "/Diashow\r\n");
    const std::string tray = work + "/demo.cue";
    discimage::WriteImage(discimage::ParseDescription(ReadAll(demo + "/demo-disc.txt")), tray);
    setenv("XDG_DATA_HOME", (work + "/profile").c_str(), 1);
    setenv("FAKEDRIVE", (std::string(kDevice) + "=" + tray).c_str(), 1);
    unsetenv("CDRIP_IMAGES");
    unsetenv("CDRIP_IMAGES_ONLY");
    return tray;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::max(1.0, std::ceil(p * static_cast<double>(values.size()))));
    return values[std::min(rank, values.size()) - 1];
}

const char* Verdict(double value, double goal) { return value <= goal ? "met" : "MISSED"; }

int Measure(const TOptions& options, const std::string& tray)
{
    TPrintedBoxes boxes;
    TRipFormSeams seams;
    seams.MessageBoxes = &boxes;
    TRipForm form(seams);
    form.show();
    QCoreApplication::processEvents();

    auto* drives = form.findChild<QComboBox*>(QStringLiteral("DriveComboBox"));
    auto* list = form.findChild<QListWidget*>(QStringLiteral("TrackListBox"));
    auto* start = form.findChild<QPushButton*>(QStringLiteral("StartBitBtn"));
    auto* abort = form.findChild<QPushButton*>(QStringLiteral("AbortBitBtn"));
    auto* refresh = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    auto* status = form.findChild<QLabel*>(QStringLiteral("StatusLabel"));
    if (!drives || !list || !start || !abort || !refresh || !status) {
        std::fprintf(stderr, "bench_responsive: the dialog lacks a control it should have\n");
        return 1;
    }
    const int entry = drives->findText(QStringLiteral("(%1)").arg(QLatin1String(kDevice)), Qt::MatchEndsWith);
    if (entry < 0) {
        std::fprintf(stderr, "bench_responsive: the drive box does not list %s\n", kDevice);
        return 1;
    }
    drives->setCurrentIndex(entry);
    QMetaObject::invokeMethod(refresh, "timeout");
    if (list->count() == 0) {
        std::fprintf(stderr, "bench_responsive: no tracks on the emulated drive\n");
        return 1;
    }
    list->setCurrentRow(0);
    if (!start->isEnabled()) {
        std::fprintf(stderr, "bench_responsive: Start stays disabled\n");
        return 1;
    }
    WriteText(tray + ".drive", "slow-read=" + std::to_string(options.SlowMs) + "\n");

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> passes;  // ns
    passes.reserve(1 << 16);
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] { passes.push_back(clock.nsecsElapsed()); });
    probe.start();

    qint64 abortedAt = -1;
    QTimer::singleShot(options.RipMs, &form, [&] {
        abortedAt = clock.nsecsElapsed();
        abort->click();
    });
    const qint64 startedAt = clock.nsecsElapsed();
    start->click();  // returns when the rip call has returned
    const qint64 idleAt = clock.nsecsElapsed();
    const bool idle = start->isEnabled() && !abort->isEnabled() && list->isEnabled();

    QEventLoop after;
    QTimer::singleShot(options.AfterMs, &after, &QEventLoop::quit);
    after.exec();
    probe.stop();
    const qint64 endAt = clock.nsecsElapsed();

    if (abortedAt < 0 || !idle || boxes.Shown > 0) {
        std::fprintf(stderr, "bench_responsive: the rip did not end by the abort (status \"%s\")\n",
                     status->text().toUtf8().constData());
        return 1;
    }

    std::vector<double> ripGaps;
    std::vector<double> afterGaps;
    qint64 previous = startedAt;
    for (const qint64 at : passes) {
        if (at <= startedAt)
            continue;
        (at <= idleAt ? ripGaps : afterGaps).push_back(static_cast<double>(at - previous) / 1e9);
        previous = at;
    }
    afterGaps.push_back(static_cast<double>(endAt - previous) / 1e9);
    const double ripMax = ripGaps.empty() ? static_cast<double>(idleAt - startedAt) / 1e9
                                          : *std::max_element(ripGaps.begin(), ripGaps.end());
    const double afterMax = *std::max_element(afterGaps.begin(), afterGaps.end());
    const double abortToIdle = static_cast<double>(idleAt - abortedAt) / 1e9;

    std::printf("Dialog responsiveness: demo disc, track 1 to WAV, emulated drive %s, every read %d ms\n",
                kDevice, options.SlowMs);
    std::printf("%-46s %7.3f s (goal <= %.1f: %s)   99th percentile %.3f s   %zu passes in %.1f s\n",
                "longest event-loop gap during the rip", ripMax, kGapGoal, Verdict(ripMax, kGapGoal),
                Percentile(ripGaps, 0.99), ripGaps.size(), static_cast<double>(idleAt - startedAt) / 1e9);
    std::printf("%-46s %7.4f s (goal <= %.1f: %s)   clicked %.1f s into the rip\n", "Abort to idle",
                abortToIdle, kAbortGoal, Verdict(abortToIdle, kAbortGoal),
                static_cast<double>(abortedAt - startedAt) / 1e9);
    std::printf("%-46s %7.3f s (goal <= %.1f: %s)   99th percentile %.3f s   over %.1f s\n",
                "longest gap after the abort (read ends, refresh)", afterMax, kGapGoal,
                Verdict(afterMax, kGapGoal), Percentile(afterGaps, 0.99),
                static_cast<double>(endAt - idleAt) / 1e9);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    TOptions options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    if (!RunUnderEmulator(argv))
        return 1;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/ripper-responsive-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "bench_responsive: no temporary folder\n");
        return 1;
    }
    int result = 1;
    try {
        const std::string tray = SetUpDemo(work.path().toStdString());
        InitializeSystemInfo();
        {
            QApplication application(argc, argv);
            result = Measure(options, tray);
        }
        FinalizeSystemInfo();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_responsive: %s\n", e.what());
        return 1;
    }
    return result;
}
