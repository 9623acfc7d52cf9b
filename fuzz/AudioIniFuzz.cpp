// Audio.ini's new contents from whatever the old file held: the old lines
// stay byte for byte, the new name is the last line, every line ends in CR LF;
// appended in place, the old bytes and the new ones give the same lines.  A
// UTF-16 file keeps all its bytes and gets a line of whole UTF-16 units that
// ends in CR LF.
#include "AudioIni.h"
#include "FuzzCheck.h"
#include "TextFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The first line of the input is the new name (a file name never holds a
    // line break), the rest is the old file.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    std::string name = input.substr(0, cut);
    if (!name.empty() && name.back() == '\r')
        name.pop_back();
    if (name.find('\r') != std::string::npos)
        return 0;
    const std::string existing = cut == std::string::npos ? std::string() : input.substr(cut + 1);

    const std::string text = ripper::AudioIniWithLine(existing, name);
    if (existing.compare(0, 2, "\xFF\xFE") == 0 || existing.compare(0, 2, "\xFE\xFF") == 0) {
        const std::string crlf(existing[0] == '\xFF' ? "\r\0\n\0" : "\0\r\0\n", 4);
        FUZZ_CHECK(text.compare(0, existing.size(), existing) == 0 && text.size() % 2 == 0);
        FUZZ_CHECK(text.compare(text.size() - 4, 4, crlf) == 0);
        return 0;
    }
    std::vector<std::string> expected = os::SplitLines(existing);
    expected.push_back(name);
    FUZZ_CHECK(os::SplitLines(text) == expected);
    FUZZ_CHECK(os::SplitLines(existing + ripper::AudioIniTail(existing, name)) == expected);
    FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
        if (text[i] == '\r') {
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
            ++breaks;
        }
    }
    FUZZ_CHECK(breaks == expected.size());
    return 0;
}
