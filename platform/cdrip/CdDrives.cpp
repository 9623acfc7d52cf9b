#include "CdDrives.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include <climits>
#include <sys/stat.h>

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
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(trayPath.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : trayPath;
}

std::vector<Drive> ListDrives()
{
    InstallLogHandler();
    std::vector<Drive> drives;

    std::unique_ptr<char*, DeviceListDeleter> devices(cdio_get_devices(DRIVER_DEVICE));
    if (devices) {
        for (char** name = devices.get(); *name != nullptr; ++name)
            drives.push_back(Drive{*name, false});
        std::sort(drives.begin(), drives.end(),
                  [](const Drive& a, const Drive& b) { return a.path < b.path; });
        drives.erase(std::unique(drives.begin(), drives.end(),
                                 [](const Drive& a, const Drive& b) { return a.path == b.path; }),
                     drives.end());
    }

    if (const char* images = std::getenv("CDRIP_IMAGES")) {
        for (const std::string& path : SplitImageList(images))
            drives.push_back(Drive{path, true});
    }
    return drives;
}

}  // namespace cddrives
