#include "TextFile.h"

#include "Rtl.h"
#include "Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace os {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
// Far more than any settings file of the slideshow's.
constexpr off_t kMaxFileBytes = 16 << 20;

// Bytes 0x80..0x9F of Windows-1252; the five unassigned ones map to the C1
// control of the same number, so that every byte decodes to a character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string Windows1252ToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        util::AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b});
    }
    return out;
}

// Owns a POSIX file descriptor.
class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

}  // namespace

std::string DecodeSettingsText(const std::string& bytes)
{
    // The mark is dropped even when a stray byte after it is not UTF-8;
    // kept, it would hide the first "[section]" line of an INI file.
    std::string text = bytes.compare(0, 3, kUtf8Bom) == 0 ? bytes.substr(3) : bytes;
    return util::IsUtf8(text) ? text : Windows1252ToUtf8(text);
}

std::string EncodeUtf16(const std::string& text, bool bigEndian)
{
    const std::string utf8 = util::IsUtf8(text) ? text : Windows1252ToUtf8(text);
    std::string out;
    for (std::size_t pos = 0; pos < utf8.size();)
        util::AppendUtf16(out, util::NextCodePoint(utf8, pos), bigEndian);
    return out;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::optional<std::string> ReadFileBytes(const std::string& path)
{
    // Opened without waiting and read only when it is a regular file of a
    // sane size: a pipe under that name would block for good, a link to a
    // device would be read without end.
    const TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got == 0)
            return bytes;
        if (got > 0 && static_cast<off_t>(bytes.size()) + got > kMaxFileBytes)
            return std::nullopt;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

std::vector<std::string> LoadTextLines(const std::string& path)
{
    const std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes)
        throw rtl::EFOpenError(rtl::FileOpenErrorMessage(path));
    return SplitLines(DecodeSettingsText(*bytes));
}

}  // namespace os
