#include "ReplacingFile.h"

#include "FileCalls.h"
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

// Something other than a regular file under `path`: nothing a rename may
// replace, nor anything to read without the risk of blocking for good.
bool HoldsOtherThanAFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Writes everything, resuming after a signal or a partial write.
template <typename F>
bool WriteFully(const char* data, size_t size, F&& write)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(data + done, size - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
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
    TFileCalls& calls = FileCalls();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        const std::string path = dirName + "/" + entry->d_name;
        const int fd = calls.Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && calls.Lock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && SameFile(opened, named))
            calls.Unlink(path);
        calls.Close(fd);
    }
}

bool SyncFolder(const std::string& folder)
{
    TFileCalls& calls = FileCalls();
    const int fd = calls.Open(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool synced = calls.Sync(fd) == 0 || errno == EINVAL;
    calls.Close(fd);
    return synced;
}

bool RemoveFile(const std::string& path)
{
    const std::string target = LinkTarget(path);
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISREG(info.st_mode))
        return true;
    return FileCalls().Unlink(target) == 0 && SyncFolder(util::FolderOf(target));
}

bool WriteAll(int fd, const void* data, size_t size)
{
    return WriteFully(static_cast<const char*>(data), size,
                      [fd](const char* p, size_t n, size_t) { return FileCalls().Write(fd, p, n); });
}

TReplacingFile::TReplacingFile(const std::string& finalName) : FTarget(LinkTarget(finalName))
{
    if (HoldsOtherThanAFile(FTarget))
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(finalName));
    TFileCalls& calls = FileCalls();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string path = TempTemplate(FTarget);
        const int fd = calls.MakeTemp(path, O_CLOEXEC);
        if (fd < 0)
            break;
        struct stat opened {};
        struct stat named {};
        // A cleaner that opened the new file before our lock removes it;
        // then the name no longer leads to our file and we start afresh.  A
        // file system without locks (some network mounts) is written
        // unlocked: a cleaner there cannot lock the file either and leaves it.
        [[maybe_unused]] const int locked = calls.Lock(fd, LOCK_EX);
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && SameFile(opened, named)) {
            FFd = fd;
            FTempPath = std::move(path);
            FSlot = Register(FTempPath);
            return;
        }
        calls.Close(fd);
    }
    throw rtl::EFCreateError(rtl::FileCreateErrorMessage(finalName));
}

TReplacingFile::~TReplacingFile() { Discard(); }

bool TReplacingFile::Write(const void* data, size_t size) { return FFd >= 0 && WriteAll(FFd, data, size); }

bool TReplacingFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    return FFd >= 0 &&
           WriteFully(static_cast<const char*>(data), size, [&](const char* p, size_t n, size_t done) {
               return FileCalls().WriteAt(FFd, p, n, static_cast<off_t>(offset + done));
           });
}

// The owner first: changing it clears the set-user-ID bits that the mode
// then sets again.  An owner this process may not give (EPERM), or one the
// file system cannot store (EINVAL), is left as it is; the group alone may
// still be ours to give.
bool TReplacingFile::TakeOverAttributes()
{
    TFileCalls& calls = FileCalls();
    struct stat old {};
    if (::stat(FTarget.c_str(), &old) != 0)
        return errno == ENOENT && calls.Chmod(FFd, NewFileMode()) == 0;
    if (!S_ISREG(old.st_mode))
        return false;  // something else took the name meanwhile
    struct stat own {};
    if (::fstat(FFd, &own) != 0)
        return false;
    if ((own.st_uid != old.st_uid || own.st_gid != old.st_gid) &&
        calls.Chown(FFd, old.st_uid, old.st_gid) != 0) {
        if (errno != EPERM && errno != EINVAL)
            return false;
        calls.Chown(FFd, static_cast<uid_t>(-1), old.st_gid);
    }
    return calls.Chmod(FFd, old.st_mode & 07777) == 0;
}

// fsync rather than fdatasync: the mode and owner must survive with the data.
bool TReplacingFile::Commit()
{
    if (FFd < 0)
        return false;
    TFileCalls& calls = FileCalls();
    const bool ready = TakeOverAttributes() && (calls.Sync(FFd) == 0 || errno == EINVAL || errno == ENOTSUP);
    if (!ready || calls.Rename(FTempPath, FTarget) != 0) {
        Discard();
        return false;
    }
    // Renamed while still locked: no cleaner can take the finished file for
    // a stale one.
    Unregister(std::exchange(FSlot, nullptr));
    FTempPath.clear();
    const bool durable = SyncFolder(util::FolderOf(FTarget));
    calls.Close(std::exchange(FFd, -1));
    return durable;
}

void TReplacingFile::Discard()
{
    Unregister(std::exchange(FSlot, nullptr));
    if (!FTempPath.empty()) {
        FileCalls().Unlink(FTempPath);
        FTempPath.clear();
    }
    if (FFd >= 0)
        FileCalls().Close(std::exchange(FFd, -1));
}

}  // namespace os
