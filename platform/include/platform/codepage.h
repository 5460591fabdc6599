// Windows-1252, the 8-bit code page of the machine, against UTF-8, the encoding of host file
// names. The path layer converts every name that crosses between the two.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace win {

// 8-bit text to UTF-8; every byte has a character (0x81, 0x8D, 0x8F, 0x90 and 0x9D become the
// C1 controls of the same number, as Windows converts them).
std::string AnsiToUtf8(std::string_view text);
// UTF-8 to 8-bit text: a character that Windows-1252 lacks becomes "?"; a byte that is no part
// of a valid UTF-8 sequence is kept as it is, so any host name still has an 8-bit form.
std::string Utf8ToAnsi(std::string_view text);
// UTF-8 to 8-bit text where every character must have its byte: nothing when one lacks it or
// the text is not valid UTF-8.
std::optional<std::string> Utf8ToAnsiExactly(std::string_view text);

}  // namespace win
