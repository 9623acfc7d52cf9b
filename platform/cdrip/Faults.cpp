#include "Faults.h"

#include <cdio/logging.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace cdrip {
namespace {

bool ParseInt(const std::string& text, int32_t& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < 0 || parsed > INT32_MAX)
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

bool ParseUnreadable(const std::string& text, FaultPlan::Unreadable& range)
{
    std::string span = text;
    const size_t times = span.find('x');
    if (times != std::string::npos) {
        int32_t count = 0;
        if (!ParseInt(span.substr(times + 1), count))
            return false;
        range.remaining = count;
        span.resize(times);
    }
    const size_t dash = span.find('-');
    if (dash == std::string::npos)
        return ParseInt(span, range.first) && ParseInt(span, range.last);
    return ParseInt(span.substr(0, dash), range.first) && ParseInt(span.substr(dash + 1), range.last) &&
           range.first <= range.last;
}

}  // namespace

void FaultPlan::Parse(const std::string& text)
{
    std::string normalised = text;
    for (char& c : normalised) {
        if (c == ',' || c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    }
    std::istringstream items(normalised);
    std::string item;
    while (items >> item) {
        int32_t number = 0;
        Unreadable range;
        bool understood = true;
        if (item == "fail-all") {
            failAll = true;
        } else if (item == "fail-open") {
            failOpen = true;
        } else if (item == "paranoia-jitter") {
            paranoiaJitter = true;
        } else if (item.rfind("slow=", 0) == 0 && ParseInt(item.substr(5), number)) {
            slowMs = number;
        } else if (item.rfind("stuck-read=", 0) == 0 && ParseInt(item.substr(11), number)) {
            stuckReadMs = number;
        } else if (item.rfind("stuck-open=", 0) == 0 && ParseInt(item.substr(11), number)) {
            stuckOpenMs = number;
        } else if (item.rfind("jitter@", 0) == 0 && ParseInt(item.substr(7), number)) {
            jitterAt.push_back(number);
        } else if (item.rfind("unreadable@", 0) == 0 && ParseUnreadable(item.substr(11), range)) {
            unreadable.push_back(range);
        } else {
            understood = false;
        }
        if (!understood)
            cdio_log(CDIO_LOG_WARN, "cdrip: unknown fault item '%s' ignored", item.c_str());
    }
}

bool FaultPlan::ReadFails(int32_t first, int32_t last)
{
    if (failAll)
        return true;
    bool fails = false;
    for (Unreadable& range : unreadable) {
        if (range.remaining == 0 || range.last < first || range.first > last)
            continue;
        if (range.remaining > 0)
            --range.remaining;
        fails = true;
    }
    return fails;
}

std::pair<int32_t, int32_t> FaultPlan::JitterIn(int32_t first, int32_t last) const
{
    std::pair<int32_t, int32_t> span{-1, -1};
    for (int32_t sector : jitterAt) {
        if (sector < first || sector > last)
            continue;
        if (span.first < 0 || sector < span.first)
            span.first = sector;
        if (sector > span.second)
            span.second = sector;
    }
    return span;
}

FaultPlan LoadFaultPlan(const std::string& trayPath, bool isImage)
{
    FaultPlan plan;
    if (!isImage)
        return plan;  // a real drive brings its own faults
    if (const char* faults = std::getenv("CDRIP_FAULTS"))
        plan.Parse(faults);
    {
        std::ifstream file(trayPath + ".faults");
        if (file) {
            std::ostringstream text;
            text << file.rdbuf();
            plan.Parse(text.str());
        }
    }
    return plan;
}

}  // namespace cdrip
