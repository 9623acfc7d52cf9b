#include "FolderLock.h"

#include "FileCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace os {
namespace {

// How often a busy lock is tried again: often enough that a writer that
// takes it again at once cannot starve another for long.
constexpr std::chrono::milliseconds kRetry{2};

}  // namespace

TFolderLock::TFolderLock(const std::string& folder, std::chrono::milliseconds bound)
    : FFd(FileCalls().Open(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0))
{
    if (FFd < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (FileCalls().Lock(FFd, LOCK_EX | LOCK_NB) == 0 || errno == EBADF || errno == ENOLCK ||
            errno == EOPNOTSUPP) {
            FState = lsLocked;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        if (std::chrono::steady_clock::now() >= deadline) {
            FState = lsBusy;
            return;
        }
        std::this_thread::sleep_for(kRetry);
    }
}

TFolderLock::~TFolderLock()
{
    if (FFd >= 0)
        FileCalls().Close(FFd);
}

}  // namespace os
