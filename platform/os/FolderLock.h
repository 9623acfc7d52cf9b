// An exclusive lock that cooperating writers of a file take on its folder
// before they read, append or replace the file: an flock on the folder
// itself, which leaves no lock file behind for others to see.  The lock is
// released when the object goes.
#pragma once

#include <chrono>
#include <string>

namespace os {

class TFolderLock {
public:
    enum TState { lsLocked, lsBusy, lsFailed };

    // Waits up to `bound` for the lock on `folder` (empty: the current
    // folder).  A file system without such locks (NFS lends flock only to
    // files open for writing) counts as locked.  lsBusy: another holder kept
    // it all that time; lsFailed: the folder cannot be opened.
    TFolderLock(const std::string& folder, std::chrono::milliseconds bound);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    TState State() const { return FState; }

private:
    int FFd = -1;
    TState FState = lsFailed;
};

}  // namespace os
