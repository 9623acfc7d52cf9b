// The text form of a disc: see ParseDescription in DiscImage.h.
#include "DiscImage.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace discimage {
namespace {

const char kUnknownItem[] =
    "unknown item (first=N, album=\"TEXT\", performer=\"TEXT\", audio:LEN..., data:LEN...)";

class ItemError : public std::invalid_argument {
public:
    ItemError(const std::string& item, const std::string& what)
        : std::invalid_argument("'" + item + "': " + what)
    {}
};

// Splits at sep, except inside double quotes.
std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (const char c : s) {
        if (c == sep && !quoted) {
            parts.emplace_back();
            continue;
        }
        quoted ^= c == '"';
        parts.back() += c;
    }
    return parts;
}

// The items of one line: separated by whitespace outside double quotes;
// '#' outside quotes starts a comment.
std::vector<std::string> LineItems(const std::string& line)
{
    std::vector<std::string> items;
    std::string item;
    bool quoted = false;
    for (const char c : line) {
        if (!quoted && c == '#')
            break;
        if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
            if (!item.empty())
                items.push_back(std::move(item));
            item.clear();
            continue;
        }
        quoted ^= c == '"';
        item += c;
    }
    if (quoted)
        throw ItemError(item, "the quoted text has no closing '\"'");
    if (!item.empty())
        items.push_back(item);
    return items;
}

// TEXT or "TEXT" of a title or performer.
std::string ParseText(const std::string& item, const std::string& value)
{
    std::string text = value;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    const std::string problem = TextProblem(text);
    if (!problem.empty())
        throw ItemError(item, problem);
    return text;
}

bool ParseNumber(const std::string& text, double& value)
{
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

bool ParseUnsigned(const std::string& text, uint64_t limit, uint64_t& value)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return value <= limit;
}

// "1500" sectors, or a time: "20s", "2.5s", "1m", "1m30s".
int32_t ParseLength(const std::string& item, const std::string& text)
{
    uint64_t sectors = 0;
    if (ParseUnsigned(text, INT32_MAX, sectors))
        return static_cast<int32_t>(sectors);
    if (text.empty())
        throw ItemError(item, "bad length: empty");
    double minutes = 0, seconds = 0;
    std::string rest = text;
    const size_t m = rest.find('m');
    if (m != std::string::npos) {
        uint64_t whole = 0;
        if (!ParseUnsigned(rest.substr(0, m), 10000, whole))
            throw ItemError(item, "bad length '" + text + "'");
        minutes = static_cast<double>(whole);
        rest = rest.substr(m + 1);
    }
    if (!rest.empty()) {
        if (rest.back() != 's' || !ParseNumber(rest.substr(0, rest.size() - 1), seconds))
            throw ItemError(item, "bad length '" + text + "' (sectors, or a time such as 20s, 2.5s, 1m30s)");
    }
    const double exact = (minutes * 60 + seconds) * kSectorsPerSecond;
    const double whole = std::round(exact);
    if (std::fabs(exact - whole) > 1e-6)
        throw ItemError(item, "length '" + text + "' is not a whole number of sectors (1/75 s)");
    if (whole > INT32_MAX)
        throw ItemError(item, "length '" + text + "' is too long");
    return static_cast<int32_t>(whole);
}

Track ParseTrack(const std::string& item)
{
    const std::vector<std::string> parts = Split(item, ':');
    Track t;
    t.audio = parts[0] == "audio";
    if (parts.size() < 2)
        throw ItemError(item, "missing length (" + parts[0] + ":LEN)");
    t.sectors = ParseLength(item, parts[1]);
    if (t.sectors == 0)
        throw ItemError(item, "a track needs at least one sector");
    bool haveContent = false, havePregap = false;
    for (size_t i = 2; i < parts.size(); ++i) {
        const std::string& option = parts[i];
        const size_t eq = option.find('=');
        const std::string key = option.substr(0, eq);
        const bool hasValue = eq != std::string::npos;
        const std::string value = hasValue ? option.substr(eq + 1) : std::string();
        if (key == "title" || key == "performer") {
            std::string& text = key == "title" ? t.title : t.performer;
            if (!hasValue || !text.empty())
                throw ItemError(item, !hasValue ? key + " needs a text" : key + " given twice");
            text = ParseText(item, value);
            continue;
        }
        if (key == "pregap") {
            if (havePregap || !hasValue)
                throw ItemError(item, havePregap ? "pregap given twice" : "pregap needs a length");
            t.pregap = ParseLength(item, value);
            havePregap = true;
            continue;
        }
        if (!t.audio)
            throw ItemError(item,
                            "a data track takes only pregap, title and performer, not '" + option + "'");
        if (haveContent)
            throw ItemError(item, "more than one content ('" + option + "')");
        haveContent = true;
        uint64_t number = 0;
        if (key == "sine") {
            t.content = Content::Sine;
            if (hasValue && (!ParseNumber(value, t.frequency) || t.frequency <= 0 || t.frequency >= 22050))
                throw ItemError(item, "sine frequency must be a number of Hz in (0, 22050)");
        } else if (key == "noise" || key == "melody") {
            t.content = key == "noise" ? Content::Noise : Content::Melody;
            if (hasValue && !ParseUnsigned(value, UINT32_MAX, number))
                throw ItemError(item, key + " seed must be a number 0.." + std::to_string(UINT32_MAX));
            if (hasValue)
                t.seed = static_cast<uint32_t>(number);
        } else if ((key == "counter" || key == "silence") && !hasValue) {
            t.content = key == "counter" ? Content::Counter : Content::Silence;
        } else {
            throw ItemError(item, "unknown option '" + option +
                                      "' (sine[=HZ], noise[=SEED], counter, silence, melody[=SEED], "
                                      "pregap=LEN, title=\"TEXT\", performer=\"TEXT\")");
        }
    }
    return t;
}

}  // namespace

Disc ParseDescription(const std::string& text)
{
    Disc disc;
    bool haveFirst = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        for (const std::string& item : LineItems(line)) {
            if (item.rfind("first=", 0) == 0) {
                uint64_t first = 0;
                if (haveFirst)
                    throw ItemError(item, "first track number given twice");
                if (!disc.tracks.empty())
                    throw ItemError(item, "first=N must come before the tracks");
                if (!ParseUnsigned(item.substr(6), 99, first) || first < 1)
                    throw ItemError(item, "the first track number must be 1..99");
                disc.firstTrack = static_cast<int>(first);
                haveFirst = true;
            } else if (item.rfind("album=", 0) == 0 || item.rfind("performer=", 0) == 0) {
                const size_t eq = item.find('=');
                std::string& albumText = eq == 5 ? disc.title : disc.performer;
                if (!albumText.empty())
                    throw ItemError(item, "the album's " + item.substr(0, eq) + " given twice");
                albumText = ParseText(item, item.substr(eq + 1));
            } else if (item.rfind("audio", 0) == 0 || item.rfind("data", 0) == 0) {
                const std::string kind = item.substr(0, item.find(':'));
                if (kind != "audio" && kind != "data")
                    throw ItemError(item, kUnknownItem);
                disc.tracks.push_back(ParseTrack(item));
            } else {
                throw ItemError(item, kUnknownItem);
            }
        }
    }
    Validate(disc);
    return disc;
}

std::string FormatDescription(const Disc& disc)
{
    std::ostringstream out;
    out.precision(17);
    out << "first=" << disc.firstTrack << "\n";
    if (!disc.title.empty())
        out << "album=\"" << disc.title << "\"\n";
    if (!disc.performer.empty())
        out << "performer=\"" << disc.performer << "\"\n";
    for (const Track& t : disc.tracks) {
        out << (t.audio ? "audio:" : "data:") << t.sectors;
        if (t.audio) {
            switch (t.content) {
            case Content::Sine: out << ":sine=" << t.frequency; break;
            case Content::Noise: out << ":noise=" << t.seed; break;
            case Content::Counter: out << ":counter"; break;
            case Content::Silence: out << ":silence"; break;
            case Content::Melody: out << ":melody=" << t.seed; break;
            }
        }
        if (t.pregap > 0)
            out << ":pregap=" << t.pregap;
        if (!t.title.empty())
            out << ":title=\"" << t.title << '"';
        if (!t.performer.empty())
            out << ":performer=\"" << t.performer << '"';
        out << "\n";
    }
    return out.str();
}

}  // namespace discimage
