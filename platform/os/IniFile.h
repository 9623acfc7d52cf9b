// Read-only INI files: section and key names match without regard to ASCII
// letter case, the first matching section and the first matching key in it
// win, blanks around names and values are dropped, one pair of matching quotes
// ("…" or '…') around a whole value is dropped, and otherwise a value is the
// rest of its line as written (no escapes or lists).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace os {

class TIniFile {
public:
    // Reads the file once; a missing or unreadable file reads as empty.
    explicit TIniFile(const std::string& fileName);
    // The same reading of bytes already in memory; FileName is empty.
    static TIniFile FromBytes(const std::string& bytes);

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    const std::string& FileName() const;

private:
    TIniFile() = default;

    struct TSection {
        std::string Name;
        std::vector<std::pair<std::string, std::string>> Entries;
    };

    void Parse(const std::vector<std::string>& lines);

    std::string FFileName;
    std::vector<TSection> FSections;
};

// ASCII-only case-insensitive comparison, as the INI and environment
// look-ups need it (no locale, so "ß" and "ä" compare by their bytes).
bool SameTextAscii(const std::string& a, const std::string& b);

// The text without leading and trailing blanks, tabs and other ASCII spaces.
std::string TrimAscii(const std::string& text);

}  // namespace os
