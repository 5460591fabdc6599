// Windows-1252 <-> UTF-8 for the path layer. Trusts nothing about its input: host names may be
// any bytes, and 8-bit names may hold any byte value.
#include "platform/codepage.h"

#include <array>
#include <cstdint>

namespace win {
namespace {

// Characters of 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
    return byte;
}

// The 8-bit byte of a character, or nothing when the code page has none.
std::optional<char> FromUnicode(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[pos]; its length, or 0 when it is not valid UTF-8
// (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, c = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string AnsiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char byte : text) AppendUtf8(out, ToUnicode(static_cast<unsigned char>(byte)));
    return out;
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c;
        const std::size_t length = DecodeUtf8(text, pos, c);
        if (length == 0) {
            out += text[pos++];
        } else {
            out += FromUnicode(c).value_or('?');
            pos += length;
        }
    }
    return out;
}

std::optional<std::string> Utf8ToAnsiExactly(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c;
        const std::size_t length = DecodeUtf8(text, pos, c);
        const std::optional<char> byte = length ? FromUnicode(c) : std::nullopt;
        if (!byte) return std::nullopt;
        out += *byte;
        pos += length;
    }
    return out;
}

}  // namespace win
