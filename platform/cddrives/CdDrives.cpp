#include <cddrives/CdDrives.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace cddrives {
namespace {

// The kernel names SCSI/ATAPI CD drives sr0, sr1, ...; udev links the first
// one as /dev/cdrom (and /dev/dvd).
constexpr int kProbedSrNodes = 32;
const char* const kLinks[] = {"/dev/cdrom", "/dev/dvd"};

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

// Why the user may not read the device; empty when he may.  access() asks
// the permissions only and sends the drive nothing.
std::string AccessProblem(const std::string& path)
{
    if (::access(path.c_str(), R_OK) == 0)
        return {};
    const int error = errno;
    if (error == EACCES || error == EPERM)
        return "no permission: add yourself to group cdrom";
    return std::string("cannot open: ") + std::strerror(error);
}

std::vector<Drive> RealDrives()
{
    std::vector<Drive> drives;
    const auto add = [&drives](const std::string& node) {
        if (!IsBlockDevice(node))
            return;
        const std::string path = Resolved(node);
        const bool known =
            std::any_of(drives.begin(), drives.end(), [&path](const Drive& d) { return d.path == path; });
        if (!known)
            drives.push_back(Drive{path, false, AccessProblem(path)});
    };
    for (const char* link : kLinks)
        add(link);
    for (int n = 0; n < kProbedSrNodes; ++n)
        add("/dev/sr" + std::to_string(n));
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return DeviceNameLess(a.path, b.path); });
    return drives;
}

struct ProcessList {
    std::mutex mutex;
    std::optional<std::vector<Drive>> drives;
};

ProcessList& TheList()
{
    static ProcessList list;
    return list;
}

}  // namespace

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
    return Resolved(trayPath);
}

std::vector<Drive> ListDrives()
{
    std::vector<Drive> drives;
    if (!ImagesOnly())
        drives = RealDrives();
    if (const char* images = std::getenv("CDRIP_IMAGES")) {
        for (const std::string& path : SplitImageList(images))
            drives.push_back(Drive{path, true, {}});
    }
    return drives;
}

std::vector<Drive> Drives()
{
    ProcessList& list = TheList();
    const std::lock_guard<std::mutex> lock(list.mutex);
    if (!list.drives)
        list.drives = ListDrives();
    return *list.drives;
}

std::vector<Drive> RefreshDrives()
{
    std::vector<Drive> drives = ListDrives();
    ProcessList& list = TheList();
    const std::lock_guard<std::mutex> lock(list.mutex);
    list.drives = drives;
    return drives;
}

}  // namespace cddrives
