// The case pairs of Windows-1252 (see letter_case.h).
#include "core/letter_case.h"

#include <algorithm>
#include <utility>

namespace win::detail {
namespace {

// Letters with a case partner outside ASCII: the Latin-1 range, where lower case is upper
// case + 0x20 (but for the multiplication and division signs), and four pairs of the 0x80 row.
constexpr std::pair<unsigned char, unsigned char> kRowPairs[] = {
    {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};

constexpr LetterCase MakeLetterCase() {
    LetterCase letters{};
    for (int c = 0; c < 256; ++c) {
        letters.upper[c] = letters.lower[c] = static_cast<unsigned char>(c);
    }
    const auto pair = [&letters](int upper, int lower) {
        letters.upper[lower] = static_cast<unsigned char>(upper);
        letters.lower[upper] = static_cast<unsigned char>(lower);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7) pair(c, c + 0x20);
    }
    for (const auto& [upper, lower] : kRowPairs) pair(upper, lower);
    return letters;
}

}  // namespace

constinit const LetterCase kLetters = MakeLetterCase();

int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldedLetter(a[i]);
        const unsigned char y = FoldedLetter(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace win::detail
