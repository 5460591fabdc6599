// 8-bit text helpers with the rules of the Windows ANSI functions the suite relies on:
// case folding of ASCII letters, and trimming of blanks and control characters.
#pragma once

#include <string>
#include <string_view>

namespace win {

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Compares without regard to letter case.
bool SameText(std::string_view a, std::string_view b);
// <0, 0 or >0, ignoring letter case.
int CompareText(std::string_view a, std::string_view b);
// Removes every leading and trailing character up to and including the blank.
std::string Trim(std::string_view text);

}  // namespace win
