// One user of a drive at a time within the process (internal): the workers
// of extractions and the readers of drive states take a drive before they
// send it commands, so that a table-of-contents read never lands between a
// rip's reads and no second command waits in the kernel behind a stuck one.
#ifndef CDRIP_DRIVECLAIM_H
#define CDRIP_DRIVECLAIM_H

#include <atomic>
#include <string>

namespace cdrip {

class DriveClaim {
public:
    DriveClaim() = default;
    DriveClaim(const DriveClaim&) = delete;
    DriveClaim& operator=(const DriveClaim&) = delete;
    ~DriveClaim();  // gives the drive back

    // Waits until nobody else holds the drive at `path`; false once `stop`
    // is set (then the drive is not held).
    bool Acquire(const std::string& path, const std::atomic<bool>& stop);

private:
    std::string path_;
    bool held_ = false;
};

// Whether the drive at that path is held (also by the worker of a closed
// extraction that is still finishing a read); waits a few hundredths of a
// second for a worker that is just finishing.
bool DriveInUse(const std::string& path);

}  // namespace cdrip

#endif
