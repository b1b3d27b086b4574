#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/state.h"
#include "files/files.h"

namespace {

using Value = std::optional<std::string>; // nullopt: the key was not found

void expect_field(const char* name, int flag, const char* field, const Value& expected) {
    EXPECT_EQ(flag, expected ? 1 : 0) << name;
    EXPECT_EQ(field, expected.value_or("")) << name;
}

TEST(RcfileLine, TakesValuesAsTheFileFormWants) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        Value locale;
        Value root;
        Value spell;
    };
    const std::string long_spell(tvk_text_size - 1 - 15, 's'); // a whole 1023-byte line
    const Case cases[] = {
        {"no final newline", {"LC_ALL=de_DE"}, "de_DE", {}, {}},
        {"blanks and newline", {"lc_all = fr_FR\n"}, "fr_FR", {}, {}},
        {"tabs, equals and key case", {"Lc_All\t=\t= =es_ES\n"}, "es_ES", {}, {}},
        {"value ends at a blank", {"lc_all = fr_FR extra\n"}, "fr_FR", {}, {}},
        {"carriage return kept", {"lc_all = fr_FR\r\n"}, "fr_FR\r", {}, {}},
        {"blank before the key", {" \tTOVREK_ROOT = /opt/tovrek/\n"}, {}, "/opt/tovrek", {}},
        {"two slashes keep one", {"tovrek_root = /opt/tovrek//\n"}, {}, "/opt/tovrek/", {}},
        {"root slash alone", {"tovrek_root = /\n"}, {}, "", {}},
        {"root ends at a blank", {"tovrek_root = /opt/my tovrek\n"}, {}, "/opt/my", {}},
        {"spell words rejoined", {"tovrek_spell = ispell -d=french\n"}, {}, {}, "ispell -d french"},
        {"spell blank before newline", {"TOVREK_SPELL\t= ispell \n"}, {}, {}, "ispell "},
        {"spell as long as a line", {"tovrek_spell = " + long_spell}, {}, {}, long_spell},
        {"key, equals and newline", {"lc_all =\n", "tovrek_spell=\n"}, "", {}, ""},
        {"key without value or newline",
         {"lc_all =", "tovrek_root", "tovrek_spell \t"},
         {},
         {},
         {}},
        {"piece without a token", {" \t= "}, {}, {}, {}},
        {"last occurrence wins",
         {"lc_all = fr_FR\n", "LC_ALL = de_DE\n", "tovrek_spell = aspell -d fr\n",
          "tovrek_spell = ispell\n"},
         "de_DE",
         {},
         "ispell"},
        {"comments and other keys",
         {"# lc_all = fr_FR\n", "lc_allx = fr_FR\n", "tovrek = /opt/tovrek\n", "\n", "lc_all\n"},
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tvk_state = {};
        for (const std::string& line : c.lines)
            tvk_rcfile_line(line.c_str());
        expect_field("locale", tvk_state.rc_has_locale, tvk_state.rc_locale, c.locale);
        expect_field("root", tvk_state.rc_has_root, tvk_state.rc_root, c.root);
        expect_field("spell", tvk_state.rc_has_spell, tvk_state.rc_spell, c.spell);
    }
}

void set_home(const std::optional<std::string>& home) {
    if (home)
        setenv("HOME", home->c_str(), 1);
    else
        unsetenv("HOME");
}

// HOME is put back afterwards: other tests of the process may read it.
TEST(HomePath, NoPathWithoutAUsableHome) {
    struct Case {
        const char* what;
        std::optional<std::string> home;
        bool built;
    };
    const std::string suffix = "/.tovrek/tvkcombo.rc";
    const std::string fitting(tvk_text_size - 1 - suffix.size(), 'h');
    const Case cases[] = {
        {"unset", std::nullopt, false},
        {"empty", "", false},
        {"plain", "/home/user", true},
        {"path of 1023 characters", fitting, true},
        {"path of 1024 characters", fitting + "h", false},
    };
    const char* saved = std::getenv("HOME");
    const std::optional<std::string> original =
        saved == nullptr ? std::nullopt : std::optional<std::string>(saved);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set_home(c.home);
        tvk_text path = "";
        EXPECT_EQ(tvk_home_path(path, suffix.c_str()), c.built);
        if (c.built) {
            EXPECT_EQ(path, *c.home + suffix);
        }
    }
    set_home(original);
}

} // namespace
