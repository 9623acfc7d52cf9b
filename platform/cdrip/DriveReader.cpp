#include "DriveReader.h"

#include "DriveClaim.h"

#include <cdio/logging.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace cdrip {

// What the owner and the thread share; the last of them frees it.
struct ReaderState {
    explicit ReaderState(const cddrives::Drive& d) : drive(d) {}

    const cddrives::Drive drive;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    uint64_t requested = 1;
    DriveSnapshot snapshot;
    std::atomic<bool> stop{false};
};

namespace {

void Publish(ReaderState& shared, const std::function<void(DriveSnapshot&)>& change)
{
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        change(shared.snapshot);
    }
    shared.changed.notify_all();
}

// The next look asked for; 0 once the owner is gone.
uint64_t NextRequest(ReaderState& shared)
{
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.changed.wait(lock, [&] { return shared.stop || shared.requested > shared.snapshot.look; });
    return shared.stop ? 0 : shared.requested;
}

void Look(ReaderState& shared, uint64_t look)
{
    const cddrives::Drive& drive = shared.drive;
    DriveClaim claim;
    if (!claim.Acquire(drive.path, shared.stop))
        return;
    bool identified = false;
    DiscLook last;
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        identified = shared.snapshot.identified;
        last = shared.snapshot.disc;
    }
    if (!identified) {
        const std::string identification =
            drive.isImage || !drive.problem.empty() ? "" : Identify(drive.path);
        Publish(shared, [&](DriveSnapshot& s) {
            s.identified = true;
            s.identification = identification;
        });
    }
    // The disc's text is read again only with a table that changed.
    DiscLook disc = LookAtDisc(drive, &last);
    Publish(shared, [&](DriveSnapshot& s) {
        s.disc = std::move(disc);
        s.look = look;
    });
}

void Run(const std::shared_ptr<ReaderState>& shared) noexcept
{
    try {
        for (uint64_t look = NextRequest(*shared); look != 0; look = NextRequest(*shared))
            Look(*shared, look);
    } catch (const std::exception& error) {
        cdio_log(CDIO_LOG_WARN, "cdrip: the reader of %s stopped: %s", shared->drive.path.c_str(),
                 error.what());
    } catch (...) {
        cdio_log(CDIO_LOG_WARN, "cdrip: the reader of %s stopped", shared->drive.path.c_str());
    }
}

}  // namespace

DriveReader::DriveReader(const cddrives::Drive& drive) : shared_(std::make_shared<ReaderState>(drive))
{
    std::thread([shared = shared_] { Run(shared); }).detach();
}

DriveReader::~DriveReader()
{
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->changed.notify_all();
}

uint64_t DriveReader::RequestLook()
{
    uint64_t look = 0;
    {
        // A look under way has the number asked for last, and began before
        // this call: the next number needs a look of its own.
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        look = ++shared_->requested;
    }
    shared_->changed.notify_all();
    return look;
}

DriveSnapshot DriveReader::Latest(const std::function<bool(const DriveSnapshot&)>& ready,
                                  std::chrono::milliseconds patience) const
{
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->changed.wait_for(lock, patience, [&] { return ready(shared_->snapshot); });
    return shared_->snapshot;
}

}  // namespace cdrip
