#include "FileCalls.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {
namespace {

TFileCalls g_system;
std::atomic<TFileCalls*> g_calls{&g_system};

// umask can only be read by setting it, which for a moment gives files that
// other threads create meanwhile no mask at all; so it is read once, here.
mode_t ReadUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t StartUmask()
{
    static const mode_t mask = ReadUmask();
    return mask;
}

// Read during the static initialisation of the program, on its only thread,
// before main runs and so before any thread of ours (or Qt's) starts.
// StartUmask's local static makes an earlier call from another initialiser
// read it just as well.
[[maybe_unused]] const mode_t g_startUmask = StartUmask();

}  // namespace

int TFileCalls::Open(const std::string& path, int flags, mode_t mode)
{
    return ::open(path.c_str(), flags, mode);
}
int TFileCalls::MakeTemp(std::string& pathTemplate, int flags)
{
    return ::mkostemp(pathTemplate.data(), flags);
}
ssize_t TFileCalls::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
ssize_t TFileCalls::WriteAt(int fd, const void* data, size_t size, off_t offset)
{
    return ::pwrite(fd, data, size, offset);
}
int TFileCalls::Truncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int TFileCalls::Sync(int fd) { return ::fsync(fd); }
int TFileCalls::DataSync(int fd) { return ::fdatasync(fd); }
int TFileCalls::Chmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int TFileCalls::Chown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }
int TFileCalls::Rename(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str());
}
int TFileCalls::Unlink(const std::string& path) { return ::unlink(path.c_str()); }
int TFileCalls::Lock(int fd, int operation) { return ::flock(fd, operation); }
int TFileCalls::Close(int fd) { return ::close(fd); }

TFileCalls& FileCalls() { return *g_calls.load(); }

TFileCallsScope::TFileCallsScope(TFileCalls& calls) : FPrevious(g_calls.exchange(&calls)) {}
TFileCallsScope::~TFileCallsScope() { g_calls.store(FPrevious); }

mode_t NewFileMode() { return 0666 & ~StartUmask(); }

}  // namespace os
