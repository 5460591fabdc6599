// 8-bit text helpers with the rules of the Windows ANSI functions the suite relies on:
// case folding of ASCII letters, the locale's case folding and comparison of Windows-1252
// text, and trimming of blanks and control characters.
//
// UpperCase, LowerCase, SameText and CompareText fold ASCII letters only, as the component
// library's functions of those names do; protocol words and switches use them. The Ansi
// functions follow the machine's locale (en-US, code page 1252): every letter of the code page
// that has a case partner is folded (e-acute and E-acute, s-caron and S-caron, y-diaeresis and
// Y-diaeresis; sharp s and micro sign have none). AnsiCompareText orders as the locale sorts
// without case, in a stand-in's simplified form: punctuation before digits before letters, a
// letter with a diacritic next to its base letter (after it), names that fold to the same text
// equal; a ligature counts as its first letter. Their folding is the machine's one rule for
// names without case: account, group and alias names, path components, registry, metabase
// and service names all compare with it.
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
// The locale's case conversion of 8-bit text (CharUpperBuff, CharLowerBuff).
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
// <0, 0 or >0 in the locale's order, ignoring letter case; 0 exactly when the two texts are
// equal after AnsiUpperCase.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// Removes every leading and trailing character up to and including the blank.
std::string Trim(std::string_view text);

}  // namespace win
