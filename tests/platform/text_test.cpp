// The locale's case folding and comparison of Windows-1252 text, against the ASCII-only
// folding of the component library's plain functions.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(AnsiCase, FoldsEveryLetterOfTheCodePageThatHasAPartner) {
    // a, e-acute, s-caron, oe, z-caron, y-diaeresis, thorn; sharp s, micro sign and the
    // division sign have no partner.
    const std::string lower = "a\xE9\x9A\x9C\x9E\xFF\xFE\xDF\xB5\xF7";
    const std::string upper = "A\xC9\x8A\x8C\x8E\x9F\xDE\xDF\xB5\xF7";
    EXPECT_EQ(win::AnsiUpperCase(lower), upper);
    EXPECT_EQ(win::AnsiLowerCase(upper), "a\xE9\x9A\x9C\x9E\xFF\xFE\xDF\xB5\xF7");
    EXPECT_EQ(win::AnsiLowerCase("\xD7"), "\xD7");  // multiplication sign
    // The plain functions stay ASCII-only.
    EXPECT_EQ(win::UpperCase("Jos\xE9"), "JOS\xE9");
}

TEST(AnsiCase, SameTextIgnoresCaseButNotDiacritics) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    } const cases[] = {
        {"Jos\xE9", "JOS\xC9", true},
        {"\x9Aimon", "\x8AIMON", true},
        {"Jose", "Jos\xE9", false},
        {"Jos\xE9", "Jos\xE9s", false},
        {"", "", true},
        {"stra\xDF"
         "e",
         "STRA\xDF"
         "E",
         true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win::AnsiSameText(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(win::AnsiCompareText(c.a, c.b) == 0, c.same) << c.a << " / " << c.b;
    }
}

TEST(AnsiCase, CompareOrdersAsTheLocaleSorts) {
    // Punctuation before digits before letters; an accented letter beside its base letter,
    // after the plain one; case ignored.
    std::vector<std::string> names = {"zoe",
                                      "\xC9mile",
                                      "emma",
                                      "Eric",
                                      "_admin",
                                      "2nd",
                                      "Ed",
                                      "\xE9"
                                      "d"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return win::AnsiCompareText(a, b) < 0;
    });
    const std::vector<std::string> expected = {"_admin",
                                               "2nd",
                                               "Ed",
                                               "\xE9"
                                               "d",
                                               "\xC9mile",
                                               "emma",
                                               "Eric",
                                               "zoe"};
    EXPECT_EQ(names, expected);
}

}  // namespace
