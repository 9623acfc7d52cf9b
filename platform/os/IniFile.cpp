#include "IniFile.h"

#include "TextFile.h"

#include <algorithm>

namespace os {
namespace {

bool IsAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// One pair of matching quotes around the whole value is dropped: "a b" and
// 'a b' read as a b; "a b' stays as it is.
std::string WithoutEnclosingQuotes(const std::string& value)
{
    const bool enclosed =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    return enclosed ? value.substr(1, value.size() - 2) : value;
}

}  // namespace

bool SameTextAscii(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string TrimAscii(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsAsciiSpace(text[first]))
        ++first;
    while (last > first && IsAsciiSpace(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

TIniFile::TIniFile(const std::string& fileName) : FFileName(fileName)
{
    if (const auto bytes = ReadFileBytes(fileName))
        Parse(SplitLines(DecodeSettingsText(*bytes)));
}

TIniFile TIniFile::FromBytes(const std::string& bytes)
{
    TIniFile ini;
    ini.Parse(SplitLines(DecodeSettingsText(bytes)));
    return ini;
}

void TIniFile::Parse(const std::vector<std::string>& lines)
{
    for (const std::string& raw : lines) {
        const std::string line = TrimAscii(raw);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            const std::size_t end = close == std::string::npos ? line.size() : close;
            FSections.push_back({TrimAscii(line.substr(1, end - 1)), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        // Lines before the first section and lines without "=" hold no value.
        if (FSections.empty() || equals == std::string::npos)
            continue;
        FSections.back().Entries.emplace_back(TrimAscii(line.substr(0, equals)),
                                              WithoutEnclosingQuotes(TrimAscii(line.substr(equals + 1))));
    }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const
{
    const std::string wantedSection = TrimAscii(section);
    const std::string wantedKey = TrimAscii(key);
    const auto found = std::find_if(FSections.begin(), FSections.end(),
                                    [&](const TSection& s) { return SameTextAscii(s.Name, wantedSection); });
    if (found == FSections.end())
        return defaultValue;
    for (const auto& [name, value] : found->Entries)
        if (SameTextAscii(name, wantedKey))
            return value;
    return defaultValue;
}

const std::string& TIniFile::FileName() const { return FFileName; }

}  // namespace os
