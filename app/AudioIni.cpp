#include "AudioIni.h"

#include "FileCalls.h"
#include "FolderLock.h"
#include "PathNames.h"
#include "ReplacingFile.h"
#include "Rtl.h"
#include "TextFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace ripper {

namespace {

constexpr std::chrono::seconds kLockWait{5};
// A list of file names this long is no Audio.ini of ours (but perhaps a link
// to a device that never ends).
constexpr off_t kMaxSize = 16 << 20;

enum class TEncoding { Bytes, Utf16LE, Utf16BE };

TEncoding EncodingOf(const std::string& bytes)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return TEncoding::Utf16LE;
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return TEncoding::Utf16BE;
    return TEncoding::Bytes;
}

// Closes a descriptor when it goes.
struct TDescriptor {
    explicit TDescriptor(int fd) : Fd(fd) {}
    ~TDescriptor()
    {
        if (Fd >= 0)
            os::FileCalls().Close(Fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    const int Fd;
};

// The file as read: its bytes, which file it was and how many names it has
// (0 when there was none).
struct TOldFile {
    std::string Bytes;
    struct stat Info {};
};

std::string InUseMessage(const std::string& path)
{
    return "Datei " + path + " wird gerade von einem anderen Programm benutzt";
}
std::string WriteErrorMessage(const std::string& path) { return "Fehler beim Schreiben von " + path; }

// Opened without waiting (a pipe would block for good) and read only when it
// is a regular file of a sane size.
TOldFile ReadOld(const std::string& path)
{
    TOldFile old;
    const TDescriptor file(os::FileCalls().Open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
    if (file.Fd < 0 && errno == ENOENT)
        return old;
    if (file.Fd < 0)
        throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));
    if (::fstat(file.Fd, &old.Info) != 0 || !S_ISREG(old.Info.st_mode))
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));
    char buffer[65536];
    for (;;) {
        if (old.Info.st_size > kMaxSize || static_cast<off_t>(old.Bytes.size()) > kMaxSize)
            throw rtl::EInOutError("Datei " + path + " ist zu groß");
        const ssize_t got = ::read(file.Fd, buffer, sizeof buffer);
        if (got == 0)
            return old;
        if (got < 0 && errno != EINTR)
            throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));
        if (got > 0)
            old.Bytes.append(buffer, static_cast<size_t>(got));
    }
}

// A file without any write permission, or one this user may not write, was
// made read-only on purpose: a rename would replace it all the same.
bool ReadOnly(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// Only the new bytes are written; a write that fails is cut off again.
void AppendInPlace(const std::string& path, const TOldFile& old, const std::string& name)
{
    os::TFileCalls& calls = os::FileCalls();
    const TDescriptor file(calls.Open(path, O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0));
    struct stat info {};
    if (file.Fd < 0 || ::fstat(file.Fd, &info) != 0)
        throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));
    // A program that takes no lock changed it since it was read.
    if (info.st_dev != old.Info.st_dev || info.st_ino != old.Info.st_ino ||
        info.st_size != static_cast<off_t>(old.Bytes.size()))
        throw rtl::EInOutError(InUseMessage(path));
    const std::string tail = AudioIniTail(old.Bytes, name);
    if (!os::WriteAll(file.Fd, tail.data(), tail.size()) || calls.DataSync(file.Fd) != 0) {
        calls.Truncate(file.Fd, info.st_size);
        throw rtl::EInOutError(WriteErrorMessage(path));
    }
}

void Replace(const std::string& path, const TOldFile& old, const std::string& name)
{
    os::RemoveStaleTemporaries(util::FolderOf(path));
    os::TReplacingFile file(path);
    const std::string text = AudioIniWithLine(old.Bytes, name);
    if (!file.Write(text.data(), text.size())) {
        file.Discard();
        throw rtl::EInOutError(WriteErrorMessage(path));
    }
    if (!file.Commit())
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));
}

}  // namespace

std::string AudioIniTail(const std::string& existing, const std::string& name)
{
    const TEncoding encoding = EncodingOf(existing);
    if (encoding == TEncoding::Bytes) {
        const bool open = !existing.empty() && existing.back() != '\r' && existing.back() != '\n';
        return (open ? "\r\n" : "") + name + "\r\n";
    }
    const bool bigEndian = encoding == TEncoding::Utf16BE;
    const std::string cr = os::EncodeUtf16("\r", bigEndian);
    const std::string lf = os::EncodeUtf16("\n", bigEndian);
    // A unit cut short is completed, so that the line starts on a unit.
    std::string tail(existing.size() % 2, '\0');
    const std::string last = (existing + tail).substr(existing.size() + tail.size() - 2);
    if (existing.size() > 2 && last != cr && last != lf)
        tail += cr + lf;
    return tail + os::EncodeUtf16(name + "\r\n", bigEndian);
}

std::string AudioIniWithLine(const std::string& existing, const std::string& name)
{
    if (EncodingOf(existing) != TEncoding::Bytes)
        return existing + AudioIniTail(existing, name);
    std::vector<std::string> lines = os::SplitLines(existing);
    lines.push_back(name);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

void AppendAudioIniLine(const std::string& linkOrPath, const std::string& name)
{
    const std::string path = os::LinkTarget(linkOrPath);
    const os::TFolderLock lock(util::FolderOf(path), kLockWait);
    if (lock.State() == os::TFolderLock::lsBusy)
        throw rtl::EInOutError(InUseMessage(path));
    if (lock.State() != os::TFolderLock::lsLocked)
        throw rtl::EFCreateError(rtl::FileCreateErrorMessage(path));
    if (ReadOnly(path))
        throw rtl::EInOutError("Datei " + path + " ist schreibgeschützt");
    const TOldFile old = ReadOld(path);
    if (old.Info.st_nlink > 1)
        AppendInPlace(path, old, name);
    else
        Replace(path, old, name);
}

}  // namespace ripper
