#include "ReplacingFile.h"

#include "PathNames.h"
#include "Rtl.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace os {

// The temporary files this process has open, kept where a signal handler
// can reach them without allocating or locking.
struct TOwnSlot {
    std::atomic<int> State{0};  // 0 free, 1 being filled or emptied, 2 holds a path
    char Path[PATH_MAX];
};

namespace {

const char kMark[] = ".ripper-";
constexpr size_t kMarkSize = sizeof kMark - 1;
constexpr size_t kRandomSize = 6;
// The longest file name the usual Linux file systems take.
constexpr size_t kNameMax = 255;
// Attempts at a fresh name when another process got in the way.
constexpr int kAttempts = 16;

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The mode of the file being replaced, else that of a new file under the
// process's umask.
mode_t ModeFor(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// ".NAME.ripper-XXXXXX" beside `target`, NAME shortened to fit a file name.
std::string TempTemplate(const std::string& target)
{
    std::string name = util::BaseName(target);
    const size_t room = kNameMax - 1 - kMarkSize - kRandomSize;
    if (name.size() > room)
        name.resize(room);
    const std::string folder = util::FolderOf(target);
    std::string path = folder.empty() ? std::string() : folder == "/" ? folder : folder + "/";
    return path + "." + name + kMark + std::string(kRandomSize, 'X');
}

TOwnSlot g_own[8];

TOwnSlot* Register(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return nullptr;
    for (TOwnSlot& slot : g_own) {
        int expected = 0;
        if (slot.State.compare_exchange_strong(expected, 1)) {
            std::memcpy(slot.Path, path.c_str(), path.size() + 1);
            slot.State.store(2);
            return &slot;
        }
    }
    return nullptr;
}

void Unregister(TOwnSlot* slot)
{
    if (slot)
        slot->State.store(0);
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

int CloseKeepingErrno(int fd)
{
    const int saved = errno;
    const int result = ::close(fd);
    errno = saved;
    return result;
}

}  // namespace

void RemoveOwnTemporaries() noexcept
{
    for (TOwnSlot& slot : g_own) {
        int expected = 2;
        if (slot.State.compare_exchange_strong(expected, 1)) {
            ::unlink(slot.Path);
            slot.State.store(0);
        }
    }
}

std::string LinkTarget(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
    return target ? std::string(target.get()) : path;
}

bool IsTemporaryName(const std::string& name)
{
    const size_t tail = kMarkSize + kRandomSize;
    if (name.size() < 2 + tail || name[0] != '.')
        return false;
    if (name.compare(name.size() - tail, kMarkSize, kMark) != 0)
        return false;
    for (size_t i = name.size() - kRandomSize; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// A file whose flock we get is held by no living process.  The lock is kept
// while the name is checked and removed, so that a writer that just created
// the file and has not locked it yet finds its name gone and takes another.
void RemoveStaleTemporaries(const std::string& folder)
{
    const std::string dirName = folder.empty() ? "." : folder;
    const std::unique_ptr<DIR, TDirCloser> dir(::opendir(dirName.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        const std::string path = dirName + "/" + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && SameFile(opened, named))
            ::unlink(path.c_str());
        ::close(fd);
    }
}

TReplacingFile::TReplacingFile(const std::string& finalName) : FTarget(LinkTarget(finalName))
{
    struct stat info {};
    if (::stat(FTarget.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        FDirect = true;
        FFd = ::open(FTarget.c_str(), O_WRONLY | O_CLOEXEC);
        if (FFd < 0)
            throw rtl::EFCreateError(rtl::FileCreateErrorMessage(finalName));
        return;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string path = TempTemplate(FTarget);
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0)
            break;
        struct stat opened {};
        struct stat named {};
        // A cleaner that opened the new file before our lock removes it;
        // then the name no longer leads to our file and we start afresh.  A
        // file system without locks (some network mounts) is written
        // unlocked: a cleaner there cannot lock the file either and leaves it.
        [[maybe_unused]] const int locked = ::flock(fd, LOCK_EX);
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && SameFile(opened, named)) {
            FFd = fd;
            FTempPath = std::move(path);
            FSlot = Register(FTempPath);
            return;
        }
        ::close(fd);
    }
    throw rtl::EFCreateError(rtl::FileCreateErrorMessage(finalName));
}

TReplacingFile::~TReplacingFile() { Discard(); }

bool TReplacingFile::Commit()
{
    if (FFd < 0)
        return false;
    if (FDirect) {
        const int fd = FFd;
        FFd = -1;
        return ::close(fd) == 0;
    }
    const bool stored = ::fdatasync(FFd) == 0 || errno == EINVAL || errno == ENOTSUP;
    if (!stored || ::fchmod(FFd, ModeFor(FTarget)) != 0 ||
        ::rename(FTempPath.c_str(), FTarget.c_str()) != 0) {
        Discard();
        return false;
    }
    // Renamed while still locked: no cleaner can take the finished file for
    // a stale one.
    Unregister(std::exchange(FSlot, nullptr));
    FTempPath.clear();
    const int fd = FFd;
    FFd = -1;
    CloseKeepingErrno(fd);
    return true;
}

void TReplacingFile::Discard()
{
    Unregister(std::exchange(FSlot, nullptr));
    if (!FTempPath.empty()) {
        ::unlink(FTempPath.c_str());
        FTempPath.clear();
    }
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

}  // namespace os
