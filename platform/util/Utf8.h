// Walking UTF-8 text code point by code point, and writing code points back
// in UTF-8 or UTF-16.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// What NextCodePoint gives for a byte that does not begin a well-formed sequence.
constexpr char32_t kNotUtf8 = 0xFFFFFFFF;
constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point that starts at text[pos]; pos moves past it.  A malformed
// sequence (a stray continuation byte, a truncated or overlong sequence, a
// surrogate, anything above U+10FFFF) gives kNotUtf8 and moves pos by one
// byte, so that the caller can go on after it.
inline char32_t NextCodePoint(std::string_view text, size_t& pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;  // the smallest code point of this length: shorter is overlong
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07u, least = 0x10000;
    }
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return kNotUtf8;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return kNotUtf8;
        }
        cp = cp << 6 | (byte(pos + i) & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kNotUtf8;
    }
    pos += length;
    return cp;
}

// Appends cp (at most U+10FFFF, no surrogate) in UTF-8.
inline void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Appends cp (at most U+10FFFF, no surrogate) in UTF-16: one unit, or a
// surrogate pair above U+FFFF, each unit as two bytes in the given order.
template <typename Bytes>
inline void AppendUtf16(Bytes& out, char32_t cp, bool bigEndian)
{
    using Byte = typename Bytes::value_type;
    const auto unit = [&](char32_t u) {
        const auto high = static_cast<Byte>(u >> 8 & 0xFF);
        const auto low = static_cast<Byte>(u & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    };
    if (cp < 0x10000) {
        unit(cp);
    } else {
        unit(0xD800 + ((cp - 0x10000) >> 10));
        unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
}

// Whether the whole text is well-formed UTF-8.
inline bool IsUtf8(std::string_view text)
{
    for (size_t pos = 0; pos < text.size();)
        if (NextCodePoint(text, pos) == kNotUtf8)
            return false;
    return true;
}

// The longest beginning of `text` of at most `maxBytes` bytes that does not
// cut a character of well-formed UTF-8 in two.
inline std::string_view Utf8Prefix(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace util
