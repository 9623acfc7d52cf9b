#include "DriveClaim.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace cdrip {
namespace {

// Drives in use, by path.  A worker abandoned on a stuck read may still
// release its drive while the process exits, so the registry is never
// destroyed.
class DriveRegistry {
public:
    static DriveRegistry& Instance()
    {
        static DriveRegistry* const registry = new DriveRegistry;
        return *registry;
    }

    bool Acquire(const std::string& path, const std::atomic<bool>& stop)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (busy_.count(path) != 0) {
            if (stop)
                return false;
            released_.wait_for(lock, std::chrono::milliseconds(20));
        }
        busy_.insert(path);
        return true;
    }

    bool InUse(const std::string& path, std::chrono::milliseconds patience)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return !released_.wait_for(lock, patience, [&] { return busy_.count(path) == 0; });
    }

    void Release(const std::string& path)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_.erase(path);
        }
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::set<std::string> busy_;
};

}  // namespace

DriveClaim::~DriveClaim()
{
    if (held_)
        DriveRegistry::Instance().Release(path_);
}

bool DriveClaim::Acquire(const std::string& path, const std::atomic<bool>& stop)
{
    path_ = path;
    held_ = DriveRegistry::Instance().Acquire(path, stop);
    return held_;
}

bool DriveInUse(const std::string& path)
{
    // A worker that delivered its range frees the drive a moment later.
    return DriveRegistry::Instance().InUse(path, std::chrono::milliseconds(50));
}

}  // namespace cdrip
