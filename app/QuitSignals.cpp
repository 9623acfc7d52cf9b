#include "QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

volatile std::sig_atomic_t gWriteEnd = -1;
struct sigaction gPrevious[kSignalCount];

// Async-signal-safe: one write, errno kept.  A full pipe drops the byte; the
// bytes already in it end the session all the same.
void OnSignal(int number)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    if (write(gWriteEnd, &byte, 1) < 0) {
    }
    errno = savedErrno;
}

}  // namespace

TQuitSignals::TQuitSignals(QObject* parent) : QObject(parent)
{
    int ends[2];
    if (gWriteEnd >= 0 || pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    FReadEnd = ends[0];
    gWriteEnd = ends[1];
    FNotifier = new QSocketNotifier(FReadEnd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TQuitSignals::Drain);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kSignals[i], &action, &gPrevious[i]);
}

TQuitSignals::~TQuitSignals()
{
    if (FReadEnd < 0)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kSignals[i], &gPrevious[i], nullptr);
    const int writeEnd = gWriteEnd;
    gWriteEnd = -1;
    close(writeEnd);
    delete FNotifier;
    close(FReadEnd);
}

void TQuitSignals::Drain()
{
    unsigned char numbers[16];
    ssize_t got;
    while ((got = read(FReadEnd, numbers, sizeof numbers)) > 0)
        for (ssize_t i = 0; i < got; ++i) {
            ++FCount;
            emit Received(numbers[i]);
        }
}
