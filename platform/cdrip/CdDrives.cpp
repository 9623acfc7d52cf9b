#include "CdDrives.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cddrives {
namespace {

bool DebugLogging()
{
    const char* value = std::getenv("CDRIP_DEBUG");
    return value != nullptr && std::strcmp(value, "0") != 0 && *value != '\0';
}

void QuietLogHandler(cdio_log_level_t level, const char* message)
{
    static const bool toStderr = DebugLogging();
    if (toStderr && message != nullptr)
        std::fprintf(stderr, "cdrip[libcdio %d]: %s\n", static_cast<int>(level), message);
}

struct DeviceListDeleter {
    void operator()(char** list) const { cdio_free_device_list(list); }
};

// The kernel names SCSI/ATAPI CD drives sr0, sr1, ...; libcdio looks at the
// first 28 only.
constexpr int kProbedSrNodes = 32;

bool IsBlockDevice(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

std::string Resolved(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

// Why a device node cannot be opened as libcdio would open it; empty when it
// can.
std::string OpenProblem(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    const int error = errno;
    if (error == EACCES || error == EPERM)
        return "no permission: add yourself to group cdrom";
    if (error == EBUSY)
        return "in use by another program";
    return std::string("cannot open: ") + std::strerror(error);
}

// The real drives: libcdio's list, then the sr nodes it left out, all under
// their resolved names and each once.
std::vector<Drive> RealDrives()
{
    std::vector<Drive> drives;
    auto known = [&drives](const std::string& path) {
        return std::any_of(drives.begin(), drives.end(), [&path](const Drive& d) { return d.path == path; });
    };

    std::unique_ptr<char*, DeviceListDeleter> devices(cdio_get_devices(DRIVER_DEVICE));
    if (devices) {
        for (char** name = devices.get(); *name != nullptr; ++name) {
            const std::string path = Resolved(*name);
            if (!known(path))
                drives.push_back(Drive{path, false, {}});
        }
    }
    for (int n = 0; n < kProbedSrNodes; ++n) {
        const std::string node = "/dev/sr" + std::to_string(n);
        if (!IsBlockDevice(node))
            continue;
        const std::string path = Resolved(node);
        if (!known(path))
            drives.push_back(Drive{path, false, OpenProblem(path)});
    }
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return DeviceNameLess(a.path, b.path); });
    return drives;
}

}  // namespace

void InstallLogHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler(QuietLogHandler);
        if (DebugLogging())
            cdio_loglevel_default = CDIO_LOG_INFO;
    });
}

bool ImagesOnly()
{
    const char* value = std::getenv("CDRIP_IMAGES_ONLY");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

bool DeviceNameLess(const std::string& a, const std::string& b)
{
    const size_t aDigits = a.find_last_not_of("0123456789") + 1;
    const size_t bDigits = b.find_last_not_of("0123456789") + 1;
    const std::string aStem = a.substr(0, aDigits);
    const std::string bStem = b.substr(0, bDigits);
    if (aStem != bStem || aDigits == a.size() || bDigits == b.size())
        return a < b;
    const std::string aNumber = a.substr(aDigits);
    const std::string bNumber = b.substr(bDigits);
    if (aNumber.size() != bNumber.size())
        return aNumber.size() < bNumber.size();
    return aNumber < bNumber;
}

std::vector<std::string> SplitImageList(const std::string& value)
{
    std::vector<std::string> entries;
    size_t begin = 0;
    while (begin <= value.size()) {
        size_t end = value.find(':', begin);
        if (end == std::string::npos)
            end = value.size();
        if (end > begin)
            entries.push_back(value.substr(begin, end - begin));
        begin = end + 1;
    }
    return entries;
}

std::string ResolveTray(const std::string& trayPath)
{
    struct stat info {};
    if (::stat(trayPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(trayPath.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : trayPath;
}

std::vector<Drive> ListDrives()
{
    InstallLogHandler();
    std::vector<Drive> drives;
    if (!ImagesOnly())
        drives = RealDrives();
    if (const char* images = std::getenv("CDRIP_IMAGES")) {
        for (const std::string& path : SplitImageList(images))
            drives.push_back(Drive{path, true, {}});
    }
    return drives;
}

}  // namespace cddrives
