// Language code resolution: the language part, the table routes and the
// alias file, which this build reads as "unit-locale.alias" in the working
// directory. Each test runs in a fresh temporary directory.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"
#include "resolve/resolve.h"

namespace {

namespace fs = std::filesystem;

class LanguageCode : public testing::Test {
  protected:
    void SetUp() override {
        tvk_state = {};
        previous_ = fs::current_path();
        char pattern[] = "/tmp/tvklanguage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    static void write_alias(const std::string& content) {
        std::ofstream("unit-locale.alias", std::ios::binary | std::ios::trunc) << content;
    }

    // tvk_language runs in a child with the debug log on stderr, so an abort
    // ends only the child; a child that returns reports its result there.
    static void expect_outcome(const std::string& locale, int status, const std::string& pattern) {
        SCOPED_TRACE(locale);
        EXPECT_EXIT(
            {
                tvk_state = {};
                tvk_copy(tvk_state.locale, locale);
                tvk_state.debug_on = 1;
                tvk_state.debug_fd = STDERR_FILENO;
                tvk_language();
                std::fprintf(stderr, "result %s %d\n", tvk_state.language,
                             tvk_state.language_source);
                std::exit(0);
            },
            testing::ExitedWithCode(status), pattern);
    }
    static void expect_language(const std::string& locale, const std::string& language,
                                int source) {
        expect_outcome(locale, 0, "result " + language + " " + std::to_string(source) + "\n");
    }
    static void expect_abort(const std::string& locale, int code) {
        expect_outcome(locale, 1, "abort\\(" + std::to_string(code) + "\\) entry");
    }

  private:
    fs::path previous_;
    fs::path dir_;
};

TEST(LanguagePart, EndsAtTheFirstSeparator) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"fr_FR.UTF-8", 2}, {"de_DE@euro", 2}, {"japanese.euc", 8}, {"C.UTF-8", 1},
        {"fre", 3},         {"x@a_b.c", 1},    {"_FR", 0},          {"", 0},
    };
    for (const auto& [name, length] : cases)
        EXPECT_EQ(tvk_language_part(name), length) << name;
}

// The alias file is missing here, so any route through it would abort.
TEST_F(LanguageCode, ResolvesWithoutTheAliasFile) {
    struct Case {
        const char* locale;
        const char* language;
        int source;
    };
    const Case cases[] = {
        {"C", "eng", 3},       {"c", "eng", 3},     {"POSIX", "eng", 3}, {"posix", "eng", 3},
        {"C.UTF-8", "eng", 3}, {"fr", "fre", 1},    {"fr_FR", "fre", 1}, {"fr_FR.UTF-8", "fre", 1},
        {"fr@euro", "fre", 1}, {"fra", "fre", 1},   {"fre", "fre", 1},   {"de", "ger", 1},
        {"deu_DE", "ger", 1},  {"nl", "dut", 1},    {"nld", "dut", 1},   {"zh", "chi", 1},
        {"zho", "chi", 1},     {"sr_YU", "scc", 1}, {"srp", "scc", 1},   {"hr", "scr", 1},
        {"hrv", "scr", 1},     {"no", "nor", 1},    {"nb", "nob", 1},    {"nn", "nno", 1},
        {"ph", "phi", 1},      {"pp", "pap", 1},    {"mo", "mol", 1},    {"en_US.UTF-8", "eng", 1},
    };
    for (const Case& c : cases)
        expect_language(c.locale, c.language, c.source);
}

TEST_F(LanguageCode, AbortsOnUnknownCodesAndMissingAliasFile) {
    const std::pair<const char*, int> cases[] = {
        {"sh", 3},      {"iw", 3}, {"in", 3},    {"ji", 3},     {"jw", 3},
        {"an_ES", 3},   {"ht", 3}, {"EN_US", 3}, {"xyz_XY", 3}, {"xx", 3},
        {"english", 4}, {"x", 4},  {"_FR", 4},   {".UTF-8", 4}, {"@euro", 4},
    };
    for (const auto& [locale, code] : cases)
        expect_abort(locale, code);
}

TEST_F(LanguageCode, AliasFileLookup) {
    const std::string filler(1023, 'x');
    struct Case {
        std::string alias;
        const char* locale;
        const char* language; // nullptr: the run aborts with code
        int code;
    };
    const Case cases[] = {
        {"french fr_FR.UTF-8\n", "french", "fre", 0},
        {"french fr_FR.UTF-8\n", "FRENCH.euc", "fre", 0},
        {" \t FRENCH \t fr\n", "french", "fre", 0},
        {"german de_DE.UTF-8\ngerman fr_FR\n", "german", "ger", 0},
        {"french fra", "french", "fre", 0},
        {"german deu\n", "german", "ger", 0},
        {"french.euc en_US\nfrench fr_FR\n", "french.euc", "fre", 0},
        {"#french en_US\n \t\nfrench fr\n", "french", "fre", 0},
        {"french fr_" + filler.substr(10) + "\n", "french", "fre", 0},
        {filler + "french fr_FR\n", "french", "fre", 0},
        {"french\nfrench fr_FR\n", "french", nullptr, 4},
        {"french" + std::string(1100, ' ') + "fr_FR\n", "french", nullptr, 4},
        {"french fren_FR\n", "french", nullptr, 4},
        {"french f\n", "french", nullptr, 4},
        {"french _FR\n", "french", nullptr, 4},
        {"german de\n", "french", nullptr, 4},
        {"", "french", nullptr, 4},
        {" \t ", "french", nullptr, 4},
        {"french fr\n", "_FR", nullptr, 4},
        {"french xx_XX\n", "french", nullptr, 3},
        {"french EN_US\n", "french", nullptr, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alias.substr(0, 40));
        write_alias(c.alias);
        if (c.language != nullptr)
            expect_language(c.locale, c.language, 2);
        else
            expect_abort(c.locale, c.code);
    }
}

} // namespace
