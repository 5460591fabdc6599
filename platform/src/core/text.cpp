#include "platform/text.h"

#include <algorithm>

#include "core/letter_case.h"

namespace win {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// Primary sort weight of each byte: punctuation, then digits, then letters, a letter with a
// diacritic weighing as its upper-case base letter.
struct SortWeights {
    unsigned short primary[256];
};

unsigned char BaseLetter(unsigned char u) {
    static constexpr struct {
        unsigned char first, last;
        char base;
    } kRanges[] = {{0xC0, 0xC6, 'A'}, {0xC7, 0xC7, 'C'}, {0xC8, 0xCB, 'E'}, {0xCC, 0xCF, 'I'},
                   {0xD0, 0xD0, 'D'}, {0xD1, 0xD1, 'N'}, {0xD2, 0xD6, 'O'}, {0xD8, 0xD8, 'O'},
                   {0xD9, 0xDC, 'U'}, {0xDD, 0xDD, 'Y'}, {0xDE, 0xDE, 'T'}, {0xDF, 0xDF, 'S'},
                   {0x8A, 0x8A, 'S'}, {0x8C, 0x8C, 'O'}, {0x8E, 0x8E, 'Z'}, {0x9F, 0x9F, 'Y'},
                   {0x83, 0x83, 'F'}};
    if (u >= 'A' && u <= 'Z') return u;
    for (const auto& range : kRanges) {
        if (u >= range.first && u <= range.last) return static_cast<unsigned char>(range.base);
    }
    return 0;
}

SortWeights MakeSortWeights() {
    SortWeights weights{};
    for (int c = 0; c < 256; ++c) {
        const unsigned char u = detail::kLetters.upper[c];
        const unsigned char base = BaseLetter(u);
        weights.primary[c] = base                     ? static_cast<unsigned short>(0x200 | base)
                             : (u >= '0' && u <= '9') ? static_cast<unsigned short>(0x100 | u)
                                                      : u;
    }
    return weights;
}

const SortWeights& Weights() {
    static const SortWeights weights = MakeSortWeights();
    return weights;
}

std::string Mapped(std::string_view text, const unsigned char (&table)[256]) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return result;
}

}  // namespace

std::string UpperCase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), Upper);
    return result;
}

std::string LowerCase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), Lower);
    return result;
}

bool SameText(std::string_view a, std::string_view b) {
    return CompareText(a, b) == 0;
}

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(Upper(a[i]));
        const auto y = static_cast<unsigned char>(Upper(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string AnsiUpperCase(std::string_view text) {
    return Mapped(text, detail::kLetters.upper);
}

std::string AnsiLowerCase(std::string_view text) {
    return Mapped(text, detail::kLetters.lower);
}

// The primary weights decide first; names equal in them (and in length) are ordered by their
// upper-case bytes, which puts a plain letter before its accented forms.
int AnsiCompareText(std::string_view a, std::string_view b) {
    const SortWeights& weights = Weights();
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = weights.primary[static_cast<unsigned char>(a[i])];
        const auto y = weights.primary[static_cast<unsigned char>(b[i])];
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return detail::CompareFolded(a, b);
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return detail::FoldedLetter(x) == detail::FoldedLetter(y);
    });
}

std::string Trim(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsTrimmed(text[first])) ++first;
    while (last > first && IsTrimmed(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
}

}  // namespace win
