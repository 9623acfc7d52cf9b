// riptrack: lists drives and tracks, or copies one track into a WAV, raw PCM
// or MP3 file, through the same components the dialog uses.
#include "CDRIP.h"
#include "LameCoder.h"
#include "ReplacingFile.h"
#include "Utf8.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const char* const Usage =
    "Usage: riptrack --list\n"
    "       riptrack [--drive N] [--mp3|--wav|--raw] [--format FORMAT] [--no-jitter-correct]\n"
    "                [--names] TRACK FILE\n"
    "\n"
    "Copies track TRACK (1-based) of the disc in drive N (default 0) into FILE.\n"
    "  --wav                 WAV file (the default)\n"
    "  --raw                 headerless 16-bit little-endian PCM\n"
    "  --mp3                 MP3 file; FILE's extension becomes .mp3\n"
    "  --format FORMAT       STEREO44100 (default), MONO44100, STEREO22050,\n"
    "                        MONO22050, STEREO11025 or MONO11025\n"
    "  --no-jitter-correct   plain reads, no jitter correction\n"
    "  --names               FILE is a folder; the copy in it is named after the\n"
    "                        track's title, e.g. \"03 Title.wav\" (\"Track03.wav\"\n"
    "                        when the disc names none)\n"
    "  --list                prints the drives and the tracks of their discs, with\n"
    "                        the titles the disc carries (CD-Text)\n"
    "  --version             prints the version\n"
    "A drive that is making its disc ready is waited for, up to 30 s.\n"
    "Disc images act as drives when CDRIP_IMAGES names them (':'-separated);\n"
    "CDRIP_IMAGES_ONLY=1 hides the real drives.\n"
    "FILE appears only when the copy is complete; a failed or interrupted copy\n"
    "leaves an existing FILE as it was.\n"
    "Progress goes to stderr; exit status 0 on success, 1 on failure, 2 on bad usage,\n"
    "130 when stopped by SIGINT (Ctrl-C), 143 by SIGTERM.\n";

enum class Output { Wav, Raw, Mp3 };

struct Options {
    bool list = false;
    bool help = false;
    bool version = false;
    int32_t drive = 0;
    Output output = Output::Wav;
    TOutputFormat format = STEREO44100;
    bool jitterCorrect = true;
    bool names = false;  // `file` is a folder, the copy named after the title
    int32_t track = 0;
    std::string file;
};

// How long an interrupted rip may take to stop in order (abort, close the
// extraction, drop the unfinished file) before the watchdog ends the process
// itself: a read stuck in the drive must not hold Ctrl-C up.
constexpr std::chrono::milliseconds kStopGrace{80};

volatile std::sig_atomic_t g_signal = 0;  // the first SIGINT or SIGTERM received
int g_wake[2] = {-1, -1};                 // the handler writes, the watchdog reads
std::atomic<bool> g_stopped{false};       // the orderly stop has ended the process's work

void OnSignal(int signal)
{
    if (g_signal == 0)
        g_signal = signal;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_wake[1], &byte, 1);
    errno = saved;
}

// Waits for a signal, gives the orderly stop its grace, then removes our
// unfinished file and ends the process without waiting for anything.
void Watchdog()
{
    char byte = 0;
    while (::read(g_wake[0], &byte, 1) < 0 && errno == EINTR) {
    }
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (!g_stopped.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (g_stopped.load())
        return;
    os::RemoveOwnTemporaries();
    static const char text[] = "\nriptrack: interrupted\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(128 + g_signal);
}

void InstallSignalHandlers()
{
    if (::pipe2(g_wake, O_CLOEXEC) != 0)
        return;
    std::thread(Watchdog).detach();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// Ends an interrupted run at once: the library may still hold a read in
// flight, and nothing at exit may wait for it.
[[noreturn]] void ExitInterrupted()
{
    g_stopped.store(true);
    std::cerr << std::flush;
    std::_Exit(128 + g_signal);
}

std::optional<int32_t> ParseNumber(const std::string& text)
{
    try {
        size_t used = 0;
        const long v = std::stol(text, &used);
        if (used == text.size() && v >= INT32_MIN && v <= INT32_MAX)
            return static_cast<int32_t>(v);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<TOutputFormat> ParseFormat(const std::string& text)
{
    static const std::map<std::string, TOutputFormat> formats = {
        {"STEREO44100", STEREO44100}, {"MONO44100", MONO44100},     {"STEREO22050", STEREO22050},
        {"MONO22050", MONO22050},     {"STEREO11025", STEREO11025}, {"MONO11025", MONO11025}};
    const auto it = formats.find(text);
    return it == formats.end() ? std::nullopt : std::optional<TOutputFormat>(it->second);
}

// Fills `options`; returns an error text for bad usage, empty when fine.
std::string ParseArguments(int argc, char** argv, Options& options)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--wav") {
            options.output = Output::Wav;
        } else if (arg == "--raw") {
            options.output = Output::Raw;
        } else if (arg == "--mp3") {
            options.output = Output::Mp3;
        } else if (arg == "--no-jitter-correct") {
            options.jitterCorrect = false;
        } else if (arg == "--names") {
            options.names = true;
        } else if (arg == "--drive" && hasValue) {
            const auto n = ParseNumber(argv[++i]);
            if (!n)
                return "bad drive number: " + std::string(argv[i]);
            options.drive = *n;
        } else if (arg == "--format" && hasValue) {
            const auto f = ParseFormat(argv[++i]);
            if (!f)
                return "unknown format: " + std::string(argv[i]);
            options.format = *f;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return "unknown or incomplete option: " + arg;
        } else {
            positional.push_back(arg);
        }
    }
    if (options.version)
        return positional.empty() ? "" : "--version takes no track or file";
    if (options.help || options.list)
        return positional.empty() ? "" : "--list takes no track or file";
    if (positional.size() != 2)
        return "expected TRACK and FILE";
    const auto track = ParseNumber(positional[0]);
    if (!track || *track < 1)
        return "bad track number: " + positional[0];
    options.track = *track;
    options.file = positional[1];
    return "";
}

// How long a copy waits for a drive that is making its disc ready.
constexpr std::chrono::seconds kReadyPatience{30};
constexpr std::chrono::milliseconds kReadyPoll{250};

// Selects `drive` with a fresh table of contents; false when there is no such drive.
bool SelectDrive(TCDRIP& ripper, int32_t drive)
{
    ripper.Tracks().Clear();
    return ripper.RereadDrive(drive);
}

// What a drive without tracks has, for the list.
const char* NoTracksText(int32_t discStatus)
{
    switch (discStatus) {
    case CDRIP_DISC_TRAY_OPEN: return "tray open";
    case CDRIP_DISC_NOT_READY: return "not ready (the disc is spinning up)";
    case CDRIP_DISC_UNREADABLE: return "unreadable disc";
    default: return "no disc";
    }
}

// Why the selected drive has no tracks to copy.
std::string NoTracksReason(const TCDRIP& ripper, int32_t drive)
{
    const std::string name = "drive " + std::to_string(drive);
    switch (ripper.DiscStatus()) {
    case CDRIP_DISC_NO_PERMISSION: return "cannot read " + name + ": " + ripper.CDRomName();
    case CDRIP_DISC_NONE: return "no disc in " + name;
    case CDRIP_DISC_TRAY_OPEN: return "the tray of " + name + " is open";
    case CDRIP_DISC_NOT_READY:
        return name + " did not become ready within " + std::to_string(kReadyPatience.count()) + " s";
    case CDRIP_DISC_UNREADABLE: return "the disc in " + name + " cannot be read";
    default: return "no table of contents from " + name;
    }
}

// Reads the table again while the drive makes its disc ready, up to
// kReadyPatience; a signal ends the process at once.
void WaitUntilReady(TCDRIP& ripper, int32_t drive)
{
    const auto deadline = std::chrono::steady_clock::now() + kReadyPatience;
    bool told = false;
    while (ripper.DiscStatus() == CDRIP_DISC_NOT_READY && std::chrono::steady_clock::now() < deadline) {
        if (!told)
            std::cerr << "waiting for drive " << drive << " to become ready\n";
        told = true;
        std::this_thread::sleep_for(kReadyPoll);
        if (g_signal != 0) {
            std::cerr << "riptrack: interrupted\n";
            ExitInterrupted();
        }
        SelectDrive(ripper, drive);
    }
}

// The album's texts once, then a line per track with its title (and its
// performer where it differs from the album's).
void PrintTracks(const TCDRIP& ripper)
{
    const TTrackList& tracks = ripper.Tracks();
    if (tracks.Count() == 0)
        std::cout << "  " << NoTracksText(ripper.DiscStatus()) << "\n";
    if (!ripper.AlbumTitle().empty())
        std::cout << "  album: " << ripper.AlbumTitle() << "\n";
    if (!ripper.AlbumPerformer().empty())
        std::cout << "  performer: " << ripper.AlbumPerformer() << "\n";
    for (int32_t i = 0; i < tracks.Count(); ++i) {
        const TTrack& t = *tracks.Object(i);
        const int32_t sectors = t.EndSector - t.StartSector + 1;
        char line[128];
        std::snprintf(line, sizeof line, "  %s  %-5s  sectors %d-%d  %d:%02d.%02d", tracks.Name(i).c_str(),
                      t.Kind.c_str(), t.StartSector, t.EndSector, sectors / 4500, sectors / 75 % 60,
                      sectors % 75);
        const std::string named = TitleAndPerformer(t, ripper.AlbumPerformer());
        std::cout << line << (named.empty() ? "" : "  " + named) << "\n";
    }
}

// Bytes of a title in a file name: room for the number, the extension and
// the hidden temporary name's additions within the usual 255.
constexpr size_t kMaxTitleBytes = 200;

// "03 Title.wav" in `folder`, "Track03.wav" without a title.  In the title
// '/' and control characters become '_' and it is cut to kMaxTitleBytes at
// a character boundary.
std::string TitledFileName(const std::string& folder, int32_t track, const TTrack& t, Output output)
{
    std::string title;
    for (const char c : t.Title) {
        const auto byte = static_cast<unsigned char>(c);
        title += byte < 0x20 || byte == 0x7F || c == '/' ? '_' : c;
    }
    title = std::string(util::Utf8Prefix(title, kMaxTitleBytes));
    const std::string number = PadTrackNumber(static_cast<uint16_t>(track));
    const char* const extension = output == Output::Mp3 ? ".mp3" : output == Output::Raw ? ".raw" : ".wav";
    const std::string name = (title.empty() ? "Track" + number : number + " " + title) + extension;
    return (std::filesystem::path(folder) / name).string();
}

int ListDrives(TCDRIP& ripper)
{
    int32_t drive = 0;
    for (; SelectDrive(ripper, drive); ++drive) {
        std::cout << drive << ": " << ripper.CDRomName() << "\n";
        PrintTracks(ripper);
    }
    if (drive == 0)
        std::cout << "no drives\n";
    return 0;
}

int Rip(TCDRIP& ripper, TLameCoder& coder, const Options& options)
{
    if (!SelectDrive(ripper, options.drive))
        throw std::runtime_error("no drive " + std::to_string(options.drive));
    WaitUntilReady(ripper, options.drive);
    if (ripper.Tracks().Count() == 0)
        throw std::runtime_error(NoTracksReason(ripper, options.drive));
    if (options.track > ripper.Tracks().Count())
        throw std::runtime_error("no track " + std::to_string(options.track) + " on the disc in drive " +
                                 std::to_string(options.drive));
    if (ripper.Tracks().Object(options.track - 1)->Kind != "Audio")
        throw std::runtime_error("track " + std::to_string(options.track) + " is a data track");
    const std::string file = options.names
                                 ? TitledFileName(options.file, options.track,
                                                  *ripper.Tracks().Object(options.track - 1), options.output)
                                 : options.file;
    ripper.SetCoder(&coder);
    ripper.SetOutputFormat(options.format);
    ripper.SetJitterCorrect(options.jitterCorrect);
    ripper.SetEncode(options.output == Output::Mp3);
    ripper.SetWriteWAV(options.output == Output::Wav);
    ripper.OnProgress = [shown = -1](void*, uint16_t percent) mutable {
        if (percent != shown)
            std::cerr << "\r" << percent << "%" << std::flush;
        shown = percent;
    };
    ripper.ProcessMessages = [&ripper] {
        if (g_signal != 0)
            ripper.Abort();
    };
    ripper.RipTrack(options.track, file);
    std::cerr << "\n";
    if (ripper.Aborted()) {
        std::cerr << "riptrack: interrupted; nothing written to " << ripper.OutputFileName(file) << "\n";
        ExitInterrupted();
    }
    std::cerr << "wrote " << ripper.OutputFileName(file);
    if (ripper.JitterErrorCount() > 0)
        std::cerr << " (" << ripper.JitterErrorCount() << " jitter errors, see "
                  << JitterFileName(ripper.OutputFileName(file)) << ")";
    std::cerr << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const std::string usageError = ParseArguments(argc, argv, options);
    if (options.help) {
        std::cout << Usage;
        return 0;
    }
    if (!usageError.empty()) {
        std::cerr << "riptrack: " << usageError << "\n" << Usage;
        return 2;
    }
    if (options.version) {
        std::cout << "riptrack " << RIPPER_VERSION << "\n";
        return 0;
    }
    InstallSignalHandlers();
    try {
        TLameCoder coder;
        TCDRIP ripper;
        return options.list ? ListDrives(ripper) : Rip(ripper, coder, options);
    } catch (const std::exception& e) {
        std::cerr << "\nriptrack: " << e.what() << "\n";
        if (g_signal != 0)
            ExitInterrupted();
        return 1;
    }
}
