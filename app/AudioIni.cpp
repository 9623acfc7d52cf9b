#include "AudioIni.h"

#include "Rtl.h"
#include "TextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace ripper {

namespace {

// Writes everything or reports false.
bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string ReadExisting(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return {};
    const std::optional<std::string> bytes = os::ReadFileBytes(path);
    if (!bytes)
        throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));
    return *bytes;
}

// The new file gets the old one's permissions, or the usual ones.
mode_t ModeFor(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A symbolic link is followed to the file it names, so that the rename
// replaces that file and the link stays; a dangling link is replaced.
std::string LinkTarget(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
    return target ? std::string(target.get()) : path;
}

}  // namespace

std::string AudioIniWithLine(const std::string& existing, const std::string& name)
{
    std::vector<std::string> lines = os::SplitLines(existing);
    lines.push_back(name);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

void AppendAudioIniLine(const std::string& linkOrPath, const std::string& name)
{
    const std::string path = LinkTarget(linkOrPath);
    const std::string text = AudioIniWithLine(ReadExisting(path), name);

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));
    const bool written = ::fchmod(fd, ModeFor(path)) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(temp.c_str());
        throw rtl::EInOutError("Fehler beim Schreiben von " + path);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));
    }
}

}  // namespace ripper
