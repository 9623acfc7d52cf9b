// The slideshow's settings files as the INI reader and the text decoding see
// them: any bytes at all (UTF-8, Windows-1252, a byte-order mark, broken
// sequences, any line ends).
#include "FuzzCheck.h"
#include "IniFile.h"
#include "TextFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool IsUtf8(const std::string& text)
{
    // Independent of the decoder: RFC 3629's table of well-formed sequences.
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
        const unsigned char c = at(i);
        std::size_t n = c < 0x80                 ? 1
                        : c >= 0xC2 && c <= 0xDF ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        if (n >= 2) {
            const unsigned char lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
            const unsigned char hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
            if (at(i + 1) < lo || at(i + 1) > hi)
                return false;
            for (std::size_t k = 2; k < n; ++k)
                if (at(i + k) < 0x80 || at(i + k) > 0xBF)
                    return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string text = os::DecodeSettingsText(bytes);
    FUZZ_CHECK(IsUtf8(text));
    const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (!bom && IsUtf8(bytes))
        FUZZ_CHECK(text == bytes);

    std::size_t joined = 0;
    for (const std::string& line : os::SplitLines(text)) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        joined += line.size();
    }
    FUZZ_CHECK(joined <= text.size());

    // Every section and key the file names can be asked for; what comes back
    // is text of the file or the default.
    const os::TIniFile ini = os::TIniFile::FromBytes(bytes);
    std::string section;
    for (const std::string& line : os::SplitLines(text)) {
        const std::string trimmed = os::TrimAscii(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            section = trimmed.substr(1, trimmed.find(']') == std::string::npos ? std::string::npos
                                                                               : trimmed.find(']') - 1);
            continue;
        }
        const std::size_t equals = trimmed.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string value = ini.ReadString(section, trimmed.substr(0, equals), "\x01");
        FUZZ_CHECK(value == "\x01" || text.find(value) != std::string::npos);
        FUZZ_CHECK(IsUtf8(value) || value == "\x01");
    }
    return 0;
}
