#include "CdioLog.h"

#include <cdio/logging.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace cdrip {
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

}  // namespace cdrip
