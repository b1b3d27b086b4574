// Spell-checker choice from the rc value, the language code and the locale.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/state.h"
#include "resolve/resolve.h"

namespace {

struct Case {
    std::optional<std::string> rc; // the rc file's value, if it had one
    const char* language;
    const char* locale;
    std::string spell;
};

TEST(Spell, ChoosesTheCommandAndItsDictionary) {
    const std::string longest(1023, 'a');
    const Case cases[] = {
        {std::nullopt, "spa", "es_MX.UTF-8", "ispell -d spanish"},
        {std::nullopt, "fre", "fr_CA", "ispell -d french"},
        {std::nullopt, "eng", "en_UK", "ispell -d british"},
        {std::nullopt, "eng", "en_US", "ispell -d american"},
        {std::nullopt, "eng", "en_US.UTF-8", "ispell"},
        {std::nullopt, "eng", "en_GB", "ispell"},
        {std::nullopt, "eng", "C", "ispell"},
        {std::nullopt, "ger", "de_DE", "ispell"},
        // The language rules come before the locale rules.
        {std::nullopt, "spa", "en_US", "ispell -d spanish"},
        {"ispell -d german", "fre", "fr_FR", "ispell -d french"},
        {"ispell -d german", "ger", "de_DE", "ispell"},
        {"ispellx", "eng", "en_US", "ispell -d american"},
        {"ispell" + longest.substr(6), "fre", "fr_FR", "ispell -d french"},
        {"aspell -d fr", "spa", "es_ES", "aspell -d fr"},
        {"/usr/bin/ispell", "fre", "fr_FR", "/usr/bin/ispell"},
        {"ISPELL", "fre", "fr_FR", "ISPELL"},
        {"ispel", "fre", "fr_FR", "ispel"},
        {"", "fre", "fr_FR", ""},
        {longest, "fre", "fr_FR", longest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc.value_or("(none)").substr(0, 20) + " " + c.locale);
        tvk_state = {};
        tvk_state.rc_has_spell = c.rc.has_value();
        tvk_copy(tvk_state.rc_spell, c.rc.value_or(""));
        tvk_copy(tvk_state.language, c.language);
        tvk_copy(tvk_state.locale, c.locale);
        tvk_spell();
        EXPECT_EQ(tvk_state.spell, c.spell);
    }
}

} // namespace
