// Internal: the machine's one rule for letter case in 8-bit names, shared by the text
// functions (text.h), the path layer and the store's collation of names.
//
// The rule is the one NTFS and the account database apply for code page 1252: every letter of
// Windows-1252 that has a case partner in it folds to its capital (ASCII, the Latin-1
// letters but for the division and multiplication signs, and s-caron, OE, z-caron and
// y-diaeresis of the 0x80 row); sharp s and the micro sign have none and stay.
#pragma once

#include <string_view>

namespace win::detail {

struct LetterCase {
    unsigned char upper[256];
    unsigned char lower[256];
};

// A table, not a function: name comparisons fold every byte.
extern const LetterCase kLetters;

inline unsigned char FoldedLetter(char c) {
    return kLetters.upper[static_cast<unsigned char>(c)];
}

// <0, 0 or >0: the two names byte by byte after folding, a shorter prefix first.
int CompareFolded(std::string_view a, std::string_view b);

}  // namespace win::detail
