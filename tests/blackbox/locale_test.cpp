// Locale precedence, codeset and spell-checker as the launcher reports,
// logs and exports them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "world.h"

namespace {

using tvktest::TestWorld;

// A debug-log line without its newline may hold at most this many characters.
constexpr std::size_t log_line_max = 1022;

void write_rc(const TestWorld& world, const std::string& lines) {
    ASSERT_TRUE(world.write_file("home/.tovrek/tvkcombo.rc", lines, 0600));
}

// The log lines of one step, in order.
std::vector<std::string> step_lines(const TestWorld& world, const std::string& tag) {
    std::vector<std::string> found;
    for (const std::string& line : world.log_lines())
        if (line.starts_with("tvkcombo:" + tag + ":"))
            found.push_back(line);
    return found;
}

// Per locale source: the tag of its log line and the phrase of the -i report.
constexpr std::pair<const char*, const char*> locale_sources[] = {
    {"", ""},
    {"cmdlin", "from -l locale commandline"},
    {"getenv", "from $LC_ALL getenv()"},
    {"LC_MESSAGES", "from $LC_MESSAGES getenv()"},
    {"rcfile", "from $HOME/.tovrek/tvkcombo.rc"},
    {"default", "from default C/POSIX"},
};

TEST(Locale, PrecedenceSourceAndCodeset) {
    struct Case {
        tvktest::Environment env;
        const char* rc_locale; // nullptr: no rc file
        std::vector<std::string> args;
        std::string locale;
        int source; // 0: the run aborts with code 2
        std::string codeset;
    };
    const Case cases[] = {
        {{{"LC_ALL", "de_DE"}}, "de_DE", {"-l", "fr_FR"}, "fr_FR", 1, "ISO-8859-1"},
        {{{"LC_ALL", "fr_FR"}}, "de_DE", {"-l", "zz_ZZ"}, "", 0, ""},
        {{}, nullptr, {"-L", "de_DE@euro"}, "de_DE@euro", 1, "ISO-8859-15"},
        {{{"LANG", "fr_FR.UTF-8"}}, "de_DE", {"-l", ""}, "fr_FR.UTF-8", 1, "UTF-8"},
        {{{"LANG", "fr_FR"}}, "de_DE", {}, "de_DE", 4, "ISO-8859-1"},
        {{{"LANG", "fr_FR"}}, "zz_ZZ", {}, "", 0, ""},
        {{{"LC_ALL", "fr_FR"}}, "de_DE", {}, "fr_FR", 2, "ISO-8859-1"},
        {{{"LC_ALL", "zz_ZZ"}}, "de_DE.UTF-8", {}, "de_DE.UTF-8", 4, "UTF-8"},
        {{{"LC_ALL", "zz_ZZ"}}, "yy_YY", {}, "", 0, ""},
        {{{"LC_ALL", "zz_ZZ"}}, nullptr, {}, "C", 5, "ANSI_X3.4-1968"},
        {{{"LC_ALL", ""}, {"LANG", "fr_FR"}}, "de_DE", {}, "de_DE", 4, "ISO-8859-1"},
        {{}, nullptr, {}, "C", 2, "ANSI_X3.4-1968"},
        {{{"LANG", "es_MX.UTF-8"}}, nullptr, {}, "es_MX.UTF-8", 2, "UTF-8"},
        // Composite: the name is the message category's, the codeset the character type's.
        {{{"LANG", "en_US"}, {"LC_MESSAGES", "fr_FR.UTF-8"}},
         nullptr,
         {},
         "fr_FR.UTF-8",
         3,
         "ISO-8859-1"},
        {{{"LANG", "fr_FR"}, {"LC_CTYPE", "en_US.UTF-8"}}, nullptr, {}, "fr_FR", 3, "UTF-8"},
    };
    for (const Case& c : cases) {
        TestWorld world;
        std::string trace = c.rc_locale != nullptr ? std::string("rc ") + c.rc_locale : "no rc";
        for (const auto& [name, value] : c.env) {
            world.set_env(name, value);
            trace += " " + name + "=" + value;
        }
        SCOPED_TRACE(trace);
        if (c.rc_locale != nullptr)
            write_rc(world, std::string("lc_all = ") + c.rc_locale + "\n");
        std::vector<std::string> args = {"-d", "-i"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const tvktest::RunResult result = world.run(args);
        ASSERT_TRUE(result.exited);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.source == 0 ? 1 : 0);

        std::vector<std::string> locale_lines;
        std::vector<std::string> codeset_lines;
        if (c.source == 0) {
            EXPECT_EQ(result.out, tvktest::abort_report(2));
            EXPECT_EQ(step_lines(world, "tvk_abort"),
                      std::vector<std::string>{"tvkcombo:tvk_abort:abort(2) entry."});
        } else {
            const auto [tag, phrase] = locale_sources[c.source];
            EXPECT_NE(result.out.find("\nLocale = " + c.locale + " " + phrase + "\n"),
                      std::string::npos)
                << result.out;
            EXPECT_NE(result.out.find("\nCodeset = " + c.codeset + "\n"), std::string::npos);
            locale_lines = {"tvkcombo:tvk_locale:" + std::to_string(c.source) + ":" + tag + ":" +
                            c.locale};
            codeset_lines = {"tvkcombo:tvkcombo:codeset:" + c.codeset};
        }
        EXPECT_EQ(step_lines(world, "tvk_locale"), locale_lines);
        EXPECT_EQ(step_lines(world, "tvkcombo:codeset"), codeset_lines);
    }
}

TEST(Locale, NormalLaunchRemembersTheLocale) {
    TestWorld world;
    world.set_env("LANG", "fr_FR");
    EXPECT_EQ(world.run().err, "");
    ASSERT_TRUE(world.record().ran);
    world.set_env("LANG", "de_DE");
    const tvktest::RunResult result = world.run({"-d", "-i"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(step_lines(world, "tvk_locale"),
              std::vector<std::string>{"tvkcombo:tvk_locale:4:rcfile:fr_FR"});
}

// Locales with names of 250 characters make a composite name of some 3000
// characters, which -l "" stores whole: it must be cut, and so must its log line.
TEST(Locale, OverlongCompositeNameIsCut) {
    TestWorld world;
    const std::string ctype(250, 'c');
    const std::string messages(250, 'm');
    ASSERT_TRUE(world.symlink(TVK_TEST_LOCPATH "/en_US", "locales/" + ctype));
    ASSERT_TRUE(world.symlink(TVK_TEST_LOCPATH "/fr_FR", "locales/" + messages));
    world.set_env("LOCPATH", world.path("locales"));
    world.set_env("LANG", ctype);
    world.set_env("LC_MESSAGES", messages);

    const tvktest::RunResult result = world.run({"-d", "-i", "-l", ""});
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.err, "");
    // The language part of a composite name is "LC", which no table row holds.
    EXPECT_EQ(result.out, tvktest::abort_report(3));
    const std::vector<std::string> lines = world.log_lines();
    ASSERT_EQ(lines.size(), 5u);
    const std::string head = "tvkcombo:tvk_locale:1:cmdlin:LC_CTYPE=" + ctype + ";";
    EXPECT_EQ(lines[2].substr(0, head.size()), head);
    EXPECT_EQ(lines[2].size(), log_line_max);
    EXPECT_EQ(lines[3], "tvkcombo:tvk_abort:abort(3) entry.");
}

TEST(Locale, LaunchExportsLocaleLanguageCodesetAndSpell) {
    const std::string long_spell = "aspell -d " + std::string(990, 'x');
    struct Case {
        const char* lang; // nullptr: unset
        std::optional<std::string> rc_spell;
        std::string locale;
        std::string language;
        std::string codeset;
        std::string spell;
        std::string first_log; // after "tvkcombo:tvk_spell:"
        std::string second_log;
    };
    const Case cases[] = {
        {"fr_FR", std::nullopt, "fr_FR", "fre", "ISO-8859-1", "ispell -d french", "set name ispell",
         "french:ispell -d french"},
        {"es_MX.UTF-8", std::nullopt, "es_MX.UTF-8", "spa", "UTF-8", "ispell -d spanish",
         "set name ispell", "spanish:ispell -d spanish"},
        {"en_US", std::nullopt, "en_US", "eng", "ISO-8859-1", "ispell -d american",
         "set name ispell", "american:ispell -d american"},
        {"en_US.UTF-8", std::nullopt, "en_US.UTF-8", "eng", "UTF-8", "ispell", "set name ispell",
         "default:ispell"},
        {"en_UK", std::nullopt, "en_UK", "eng", "ISO-8859-1", "ispell -d british",
         "set name ispell", "british:ispell -d british"},
        {"en_GB", std::nullopt, "en_GB", "eng", "ISO-8859-1", "ispell", "set name ispell",
         "default:ispell"},
        {"de_DE@euro", std::nullopt, "de_DE@euro", "ger", "ISO-8859-15", "ispell",
         "set name ispell", "default:ispell"},
        {nullptr, std::nullopt, "C", "eng", "ANSI_X3.4-1968", "ispell", "set name ispell",
         "default:ispell"},
        {"fr_FR", "aspell -d fr", "fr_FR", "fre", "ISO-8859-1", "aspell -d fr",
         "found name aspell -d fr", "!ispell:aspell -d fr"},
        {"de_DE", "ispell -d french", "de_DE", "ger", "ISO-8859-1", "ispell",
         "found name ispell -d french", "default:ispell"},
        {"fr_FR", long_spell, "fr_FR", "fre", "ISO-8859-1", long_spell, "found name " + long_spell,
         "!ispell:" + long_spell},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale + " " + c.rc_spell.value_or("(none)").substr(0, 20));
        TestWorld world;
        if (c.lang != nullptr)
            world.set_env("LANG", c.lang);
        if (c.rc_spell)
            write_rc(world, "tovrek_spell = " + *c.rc_spell + "\n");
        EXPECT_EQ(world.run({"-d"}).err, "");

        const tvktest::OverlayRecord record = world.record();
        ASSERT_TRUE(record.ran);
        EXPECT_EQ(record.env_value("TOVREK_LOCALE"), c.locale);
        EXPECT_EQ(record.env_value("TOVREK_LANG"), c.language);
        EXPECT_EQ(record.env_value("TOVREK_CODESET"), c.codeset);
        EXPECT_EQ(record.env_value("TOVREK_SPELL"), c.spell);
        const std::string head = "tvkcombo:tvk_spell:";
        EXPECT_EQ(step_lines(world, "tvk_spell"),
                  (std::vector<std::string>{(head + c.first_log).substr(0, log_line_max),
                                            (head + c.second_log).substr(0, log_line_max)}));
    }
}

} // namespace
