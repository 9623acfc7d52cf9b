// The system calls through which files are replaced, appended, locked and
// made durable.  Every call goes through the table FileCalls() returns, the
// system's own by default; a test installs a table of its own (for the
// length of a TFileCallsScope) to see which calls come in which order.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace os {

// Each member behaves as the system call it is named after: a result of -1
// sets errno.
class TFileCalls {
public:
    virtual ~TFileCalls() = default;
    virtual int Open(const std::string& path, int flags, mode_t mode);
    virtual int MakeTemp(std::string& pathTemplate, int flags);  // mkostemp; fills in the X's
    virtual ssize_t Write(int fd, const void* data, size_t size);
    virtual ssize_t WriteAt(int fd, const void* data, size_t size, off_t offset);  // pwrite
    virtual int Truncate(int fd, off_t size);                                      // ftruncate
    virtual int Sync(int fd);                                                      // fsync
    virtual int DataSync(int fd);                                                  // fdatasync
    virtual int Chmod(int fd, mode_t mode);                                        // fchmod
    virtual int Chown(int fd, uid_t owner, gid_t group);                           // fchown
    virtual int Rename(const std::string& from, const std::string& to);
    virtual int Unlink(const std::string& path);
    virtual int Lock(int fd, int operation);  // flock
    virtual int Close(int fd);
};

// The table in use.
TFileCalls& FileCalls();

// Installs `calls` for its lifetime, then puts the previous table back.
// Install and remove it while no other thread stages a file.
class TFileCallsScope {
public:
    explicit TFileCallsScope(TFileCalls& calls);
    ~TFileCallsScope();
    TFileCallsScope(const TFileCallsScope&) = delete;
    TFileCallsScope& operator=(const TFileCallsScope&) = delete;

private:
    TFileCalls* FPrevious;
};

// The permissions of a new file: 0666 less the process's umask, read once
// while the program starts (see FileCalls.cpp), never by flipping the mask
// while other threads may create files.
mode_t NewFileMode();

}  // namespace os
