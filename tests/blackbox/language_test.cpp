// Language codes through the launcher, with an alias file of the test's own
// ("locale.alias" in the working directory).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "world.h"

namespace {

using tvktest::TestWorld;

constexpr char alias_file[] = "work/locale.alias";

// The log lines of language resolution: those after the locale line, up to
// the codeset line or the end of the log, without the log's "tvkcombo:".
std::vector<std::string> language_lines(const TestWorld& world) {
    const std::string prefix = "tvkcombo:";
    std::vector<std::string> found;
    bool after_locale = false;
    for (const std::string& line : world.log_lines()) {
        if (line.starts_with(prefix + "tvkcombo:codeset:"))
            break;
        if (after_locale)
            found.push_back(line.substr(prefix.size()));
        after_locale = after_locale || line.starts_with(prefix + "tvk_locale:");
    }
    return found;
}

TEST(Language, FromLocaleAliasOrDefault) {
    const char* const phrases[] = {"", "from locale", "from alias", "from default C/POSIX"};
    struct Case {
        const char* lang;                 // nullptr: unset
        std::optional<std::string> alias; // nullopt: no alias file
        const char* alias_value;          // nullptr: no alias line is logged
        const char* language;             // nullptr: the run aborts with code
        int source;
        int code;
    };
    const Case cases[] = {
        {"fr_FR", std::nullopt, nullptr, "fre", 1, 0},
        {nullptr, std::nullopt, nullptr, "eng", 3, 0},
        {"deu_DE", std::nullopt, nullptr, "ger", 1, 0},
        {"sr_YU", std::nullopt, nullptr, "scc", 1, 0},
        {"tovrekish", "tovrekish fr_FR.UTF-8\n", "fr", "fre", 2, 0},
        {"tovrekese", "tovrekish fr\n# tovrekese fr\n\tTOVREKESE de\n", "de", "ger", 2, 0},
        {"EN_US", std::nullopt, nullptr, nullptr, 0, 3},
        {"xyz_XY", std::nullopt, nullptr, nullptr, 0, 3},
        {"xx_XX", std::nullopt, nullptr, nullptr, 0, 3},
        {"tovrekish", "tovrekish xx_XX\n", "xx", nullptr, 0, 3},
        {"tovrekish", std::nullopt, nullptr, nullptr, 0, 4},
        {"tovrekish", "tovrekese de\n", nullptr, nullptr, 0, 4},
        {"tovrekish", "tovrekish french\n", nullptr, nullptr, 0, 4},
        {"tovrekish", "tovrekish\n", nullptr, nullptr, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lang ? c.lang : "(unset)") + " " + c.alias.value_or(""));
        TestWorld world(TestWorld::Launcher::alias_file);
        if (c.lang != nullptr)
            world.set_env("LANG", c.lang);
        if (c.alias) {
            ASSERT_TRUE(world.write_file(alias_file, *c.alias));
        }
        const tvktest::RunResult result = world.run({"-d", "-i"});
        ASSERT_TRUE(result.exited);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.code == 0 ? 0 : 1);

        std::vector<std::string> lines;
        if (c.alias_value != nullptr)
            lines.push_back(std::string("tvk_alias:2:alias:") + c.alias_value);
        if (c.language != nullptr) {
            lines.push_back(
                std::string(c.source == 3 ? "tvk_language:3:default:" : "tvk_language:1:locale:") +
                c.language);
            const std::string report =
                std::string("\nLanguage = ") + c.language + " " + phrases[c.source] + "\n";
            EXPECT_NE(result.out.find(report), std::string::npos) << result.out;
        } else {
            EXPECT_EQ(result.out, tvktest::abort_report(c.code));
            lines.push_back("tvk_abort:abort(" + std::to_string(c.code) + ") entry.");
            lines.push_back("tvk_debug:debugging turned off!");
        }
        EXPECT_EQ(language_lines(world), lines);
    }
}

TEST(Language, WriteLockedAliasFileAbortsAtOnce) {
    TestWorld world(TestWorld::Launcher::alias_file);
    ASSERT_TRUE(world.write_file(alias_file, "tovrekish fr_FR\n"));
    const tvktest::LockHolder lock(world.path(alias_file), 'w');
    ASSERT_TRUE(lock.locked());
    const auto limit = tvktest::RunOptions().with_timeout(std::chrono::seconds(5));

    world.set_env("LANG", "tovrekish");
    const tvktest::RunResult needs_alias = world.run({"-i"}, limit);
    ASSERT_TRUE(needs_alias.exited);
    EXPECT_EQ(needs_alias.err, "");
    EXPECT_EQ(needs_alias.status, 1);
    EXPECT_EQ(needs_alias.out, tvktest::abort_report(4));

    world.set_env("LANG", "fr_FR");
    const tvktest::RunResult direct = world.run({"-i"}, limit);
    ASSERT_TRUE(direct.exited);
    EXPECT_EQ(direct.err, "");
    EXPECT_EQ(direct.status, 0) << direct.out;
}

} // namespace
