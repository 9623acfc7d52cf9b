// Reading the 8-bit text files the slideshow application leaves for us.
// They come from Windows, so they may be UTF-8 or Windows-1252 and may end
// their lines with CR LF, LF or CR.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace os {

// A leading UTF-8 byte-order mark is dropped; the rest is UTF-8 when it is
// valid UTF-8, otherwise Windows-1252 converted to UTF-8.
std::string DecodeSettingsText(const std::string& bytes);

// `text` in UTF-16 of the given byte order, without a byte-order mark; text
// that is no valid UTF-8 is taken for Windows-1252, as above.
std::string EncodeUtf16(const std::string& text, bool bigEndian);

// Splits at CR LF, LF or CR. A break at the very end starts no further line,
// so "a\r\n" is one line and "" is none.
std::vector<std::string> SplitLines(const std::string& text);

// The whole file as bytes; nothing when it cannot be opened or read, or when
// it is no regular file (a folder, a pipe, a device) or larger than 16 MiB.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Read, decode and split. Throws rtl::EFOpenError with the library's
// "Datei %s kann nicht geöffnet werden" when the file cannot be read.
std::vector<std::string> LoadTextLines(const std::string& path);

}  // namespace os
