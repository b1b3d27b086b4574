#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <string_view>

#include "resolve/resolve.h"

namespace {

bool lowercase_letters(std::string_view code) {
    for (char c : code) {
        if (c < 'a' || c > 'z') {
            return false;
        }
    }
    return true;
}

// The bib_code of the first row whose alt_code is `alt`, or "" when none has it.
std::string_view bib_for_alt(std::string_view alt) {
    for (const tvk_language_row& row : tvk_languages) {
        if (row.alt_code == alt) {
            return row.bib_code;
        }
    }
    return {};
}

bool is_bib_code(std::string_view code) {
    for (const tvk_language_row& row : tvk_languages) {
        if (row.bib_code == code) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(LanguageTable, EveryRowIsFilledIn) {
    // A missing initializer would leave value-initialized rows at the end.
    for (const tvk_language_row& row : tvk_languages) {
        EXPECT_EQ(row.bib_code.size(), 3u) << "row " << row.english_name;
        EXPECT_TRUE(lowercase_letters(row.bib_code)) << row.bib_code;
        EXPECT_FALSE(row.english_name.empty()) << row.bib_code;
        EXPECT_TRUE(lowercase_letters(row.alt_code)) << row.bib_code << "/" << row.alt_code;
    }
}

TEST(LanguageTable, BibCodesAscendAndRepeatOnlyForTerminologyRows) {
    for (std::size_t i = 1; i < tvk_languages.size(); ++i) {
        const tvk_language_row& prev = tvk_languages[i - 1];
        const tvk_language_row& row = tvk_languages[i];
        EXPECT_LE(prev.bib_code, row.bib_code) << "row " << i;
        if (prev.bib_code == row.bib_code) {
            EXPECT_EQ(prev.alt_code.size(), 2u) << row.bib_code;
            EXPECT_EQ(row.alt_code.size(), 3u) << row.bib_code;
        }
    }
}

TEST(LanguageTable, TerminologyRowFollowsItsTwoLetterRow) {
    EXPECT_NE(tvk_languages[0].alt_code.size(), 3u);
    for (std::size_t i = 1; i < tvk_languages.size(); ++i) {
        if (tvk_languages[i].alt_code.size() != 3) {
            continue;
        }
        EXPECT_EQ(tvk_languages[i - 1].bib_code, tvk_languages[i].bib_code) << "row " << i;
        EXPECT_EQ(tvk_languages[i - 1].alt_code.size(), 2u) << "row " << i;
    }
}

TEST(LanguageTable, AltCodeCounts) {
    std::size_t two = 0;
    std::size_t three = 0;
    std::size_t empty = 0;
    for (const tvk_language_row& row : tvk_languages) {
        switch (row.alt_code.size()) {
        case 0:
            ++empty;
            break;
        case 2:
            ++two;
            break;
        case 3:
            ++three;
            break;
        default:
            ADD_FAILURE() << row.bib_code << "/" << row.alt_code;
        }
    }
    EXPECT_EQ(two, 185u);
    EXPECT_EQ(three, 22u);
    EXPECT_EQ(empty, 263u);
}

TEST(LanguageTable, AltCodesAreUniqueAndNeverABibCode) {
    std::set<std::string_view> bibs;
    for (const tvk_language_row& row : tvk_languages) {
        bibs.insert(row.bib_code);
    }
    std::set<std::string_view> alts;
    for (const tvk_language_row& row : tvk_languages) {
        if (row.alt_code.empty()) {
            continue;
        }
        EXPECT_TRUE(alts.insert(row.alt_code).second) << "twice: " << row.alt_code;
        EXPECT_EQ(bibs.count(row.alt_code), 0u) << "also a bib_code: " << row.alt_code;
    }
}

TEST(LanguageTable, AltCodesMapToTheirBibCode) {
    struct Case {
        std::string_view alt;
        std::string_view bib;
    };
    const Case cases[] = {
        {"fr", "fre"},  {"fra", "fre"}, {"de", "ger"},  {"deu", "ger"}, {"en", "eng"},
        {"nl", "dut"},  {"nld", "dut"}, {"zh", "chi"},  {"zho", "chi"}, {"sr", "scc"},
        {"srp", "scc"}, {"hr", "scr"},  {"hrv", "scr"}, {"ph", "phi"},  {"pp", "pap"},
        {"mo", "mol"},  {"nb", "nob"},  {"nn", "nno"},  {"no", "nor"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bib_for_alt(c.alt), c.bib) << c.alt;
    }
}

TEST(LanguageTable, RetiredAndNewerCodesAreAbsent) {
    for (std::string_view code : {"sh", "iw", "in", "ji", "jw", "an", "ht"}) {
        EXPECT_EQ(bib_for_alt(code), "") << code;
    }
}

TEST(LanguageTable, DefaultLanguageIsABibCode) {
    EXPECT_TRUE(is_bib_code("eng"));
}
