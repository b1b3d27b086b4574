// The info and version reports, and which report wins when several are asked for.
#include <algorithm>

#include <gtest/gtest.h>

#include "world.h"

namespace tvktest {
// The two lines that head every report; the usage tests share them.
extern const char report_banner[];
const char report_banner[] = "tvkcombo - course authoring and playback launcher\n"
                             "Copyright (C) 2004-2026 The tvkcombo developers\n";
} // namespace tvktest

namespace {

using tvktest::report_banner;
using tvktest::RunOptions;
using tvktest::RunResult;
using tvktest::TestWorld;

constexpr const char* rc_rel = "home/.tovrek/tvkcombo.rc";
constexpr const char* c_locale_lines = "Locale = C from $LC_ALL getenv()\n"
                                       "Language = eng from default C/POSIX\n"
                                       "Codeset = ANSI_X3.4-1968\n"
                                       "Spell Check = ispell\n";

// A second install tree at inst/, reached as links/tovrek: its real path has
// no "/tovrek", so only the path as invoked can name it.
std::string linked_tree(const TestWorld& world) {
    EXPECT_TRUE(world.write_file("inst/ver/tvkcombo", "0.1.1\n"));
    EXPECT_TRUE(
        world.write_file("inst/bin/tvkcombo", world.read_file("opt/tovrek/bin/tvkcombo"), 0755));
    EXPECT_TRUE(world.symlink("../inst", "links/tovrek"));
    return world.path("links/tovrek");
}

// Runs args, which ask for the info report, and checks that it printed
// exactly the banner and lines and did nothing else.
void expect_info(const TestWorld& world, const std::vector<std::string>& args,
                 const RunOptions& options, const std::string& lines) {
    const std::string rc_before = world.read_file(rc_rel);
    const RunResult result = world.run(args, options);
    ASSERT_TRUE(result.exited) << result.out;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, report_banner + lines);
    EXPECT_EQ(world.read_file(rc_rel), rc_before);
    EXPECT_FALSE(world.record().ran);
}

TEST(InfoReport, NamesWhereTheRootCameFrom) {
    struct Case {
        const char* phrase;
        bool linked_program; // run the copy in the linked tree, whose real path names no root
        // Sets up the run; returns the root the report must show.
        std::string (*prepare)(TestWorld& world, const std::string& tree,
                               std::vector<std::string>& args, RunOptions& options);
    };
    const Case cases[] = {
        {"from -r rootdir commandline\n", false,
         [](TestWorld&, const std::string& tree, std::vector<std::string>& args, RunOptions&) {
             args.insert(args.end(), {"-r", tree + "/"});
             return tree;
         }},
        {"from $TOVREK_ROOT\n", false,
         [](TestWorld& world, const std::string& tree, std::vector<std::string>&, RunOptions&) {
             world.set_env("TOVREK_ROOT", tree);
             return tree;
         }},
        {"from $HOME/.tovrek/tvkcombo.rc\n", true,
         [](TestWorld& world, const std::string&, std::vector<std::string>&, RunOptions&) {
             world.write_file(rc_rel, "tovrek_root = " + world.root() + "\n");
             return world.root();
         }},
        {"from computed getcwd()\n", true,
         [](TestWorld& world, const std::string&, std::vector<std::string>&, RunOptions& options) {
             options.with_cwd(world.root() + "/lib");
             return world.root();
         }},
        {"from computed getcwd()+argv[0]\n", true,
         [](TestWorld& world, const std::string&, std::vector<std::string>&, RunOptions& options) {
             options.with_cwd(world.dir()).with_argv0("links/tovrek/bin/tvkcombo");
             return world.dir() + "/links/tovrek";
         }},
        {"from computed argv[0]\n", true,
         [](TestWorld&, const std::string& tree, std::vector<std::string>&, RunOptions&) {
             return tree;
         }},
        {"from computed realpath()\n", false,
         [](TestWorld& world, const std::string&, std::vector<std::string>&, RunOptions&) {
             return world.root();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phrase);
        TestWorld world;
        const std::string tree = linked_tree(world);
        std::vector<std::string> args = {"-i"};
        RunOptions options;
        if (c.linked_program)
            options.with_program(tree + "/bin/tvkcombo");
        const std::string root = c.prepare(world, tree, args, options);
        expect_info(world, args, options,
                    "Root Directory = " + root + " " + c.phrase + c_locale_lines);
    }
}

TEST(InfoReport, NamesWhereTheLocaleAndLanguageCameFrom) {
    struct Case {
        std::vector<std::string> args;
        tvktest::Environment env;
        std::string rc;
        std::string alias; // non-empty: the alias-file launcher reads it
        const char* lines;
    };
    const Case cases[] = {
        {{"-l", "fr_FR", "algebra"},
         {},
         "",
         "",
         "Locale = fr_FR from -l locale commandline\nLanguage = fre from locale\n"
         "Codeset = ISO-8859-1\nSpell Check = ispell -d french\nCoursename = algebra\n"},
        {{},
         {{"LANG", "fr_FR.UTF-8"}},
         "",
         "",
         "Locale = fr_FR.UTF-8 from $LC_ALL getenv()\nLanguage = fre from locale\n"
         "Codeset = UTF-8\nSpell Check = ispell -d french\n"},
        {{},
         {{"LANG", "de_DE"}, {"LC_MESSAGES", "es_ES.UTF-8"}},
         "",
         "",
         "Locale = es_ES.UTF-8 from $LC_MESSAGES getenv()\nLanguage = spa from locale\n"
         "Codeset = ISO-8859-1\nSpell Check = ispell -d spanish\n"},
        {{},
         {},
         "lc_all = en_US\n",
         "",
         "Locale = en_US from $HOME/.tovrek/tvkcombo.rc\nLanguage = eng from locale\n"
         "Codeset = ISO-8859-1\nSpell Check = ispell -d american\n"},
        {{},
         {{"LANG", "xx_NOWHERE"}},
         "",
         "",
         "Locale = C from default C/POSIX\nLanguage = eng from default C/POSIX\n"
         "Codeset = ANSI_X3.4-1968\nSpell Check = ispell\n"},
        {{},
         {{"LANG", "tovrekish"}},
         "",
         "tovrekish fr_FR.UTF-8\n",
         "Locale = tovrekish from $LC_ALL getenv()\nLanguage = fre from alias\n"
         "Codeset = UTF-8\nSpell Check = ispell -d french\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        TestWorld world(c.alias.empty() ? TestWorld::Launcher::standard
                                        : TestWorld::Launcher::alias_file);
        for (const auto& [name, value] : c.env)
            world.set_env(name, value);
        if (!c.rc.empty()) {
            ASSERT_TRUE(world.write_file(rc_rel, c.rc));
        }
        if (!c.alias.empty()) {
            ASSERT_TRUE(world.write_file("work/locale.alias", c.alias));
        }
        std::vector<std::string> args = {"-i"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        expect_info(world, args, {},
                    "Root Directory = " + world.root() + " from computed realpath()\n" + c.lines);
    }
}

TEST(VersionReport, PrintsTheVersionThenBecomesTheOverlay) {
    struct Case {
        const char* name; // the program as invoked
        bool overlay;
    };
    const Case cases[] = {{"tvkcombo", true}, {"trainer", true}, {"tvkcombo", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << (c.overlay ? "" : " without overlay"));
        TestWorld world;
        const std::string program = world.root() + "/bin/" + c.name;
        if (std::string(c.name) != "tvkcombo") {
            ASSERT_TRUE(world.symlink("tvkcombo", "opt/tovrek/bin/" + std::string(c.name)));
        }
        if (!c.overlay) {
            ASSERT_TRUE(world.remove("opt/tovrek/bin/tvkcombo.ovl"));
        }

        const RunResult result = world.run({"-v"}, RunOptions().with_program(program));
        ASSERT_TRUE(result.exited) << result.out;
        const std::string report =
            report_banner + std::string("TOVREK ") + c.name + "     0.1.1.20040301\n";
        // stdout is a pipe: the report must be flushed before the overlay replaces the process.
        EXPECT_EQ(result.out, c.overlay ? report : report + tvktest::abort_report(6, c.name));
        EXPECT_EQ(result.status, c.overlay ? 0 : 1);
        const tvktest::OverlayRecord record = world.record();
        EXPECT_EQ(record.ran, c.overlay);
        EXPECT_EQ(record.argv,
                  c.overlay ? std::vector<std::string>{"version"} : std::vector<std::string>{});
        EXPECT_FALSE(world.exists(rc_rel));
    }
}

TEST(Reports, OnlyTheWinnerPrints) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> winner;
    };
    const Case cases[] = {{{"-h", "-i", "-v"}, {"-h"}},
                          {{"-v", "-u"}, {"-u"}},
                          {{"-i", "-v"}, {"-i"}},
                          {{"-v", "-a", "-i", "algebra"}, {"-i", "algebra"}},
                          {{"-p", "-h", "algebra"}, {"-h"}}};
    TestWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult alone = world.run(c.winner);
        const RunResult together = world.run(c.args);
        ASSERT_TRUE(together.exited);
        EXPECT_EQ(together.status, 0);
        EXPECT_FALSE(together.out.empty());
        EXPECT_EQ(together.out, alone.out);
        EXPECT_FALSE(world.record().ran);
        EXPECT_FALSE(world.exists(rc_rel));
    }
}

TEST(Reports, LogTheirCompletion) {
    struct Case {
        const char* option;
        std::vector<std::string> lines; // consecutive in the log
        bool closes_log;
    };
    const Case cases[] = {
        {"-i",
         {"tvkcombo:tvk_info:request complete.", "tvkcombo:tvk_debug:debugging turned off!"},
         true},
        {"-v",
         {"tvkcombo:tvk_version:request complete.", "tvkcombo:tvk_execve:version request."},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        TestWorld world;
        world.run({"-d", c.option});
        const std::vector<std::string> log = world.log_lines();
        const auto found = std::search(log.begin(), log.end(), c.lines.begin(), c.lines.end());
        ASSERT_NE(found, log.end()) << testing::PrintToString(log);
        EXPECT_EQ(found + static_cast<long>(c.lines.size()) == log.end(), c.closes_log);
        EXPECT_EQ(std::count(log.begin(), log.end(), "tvkcombo:tvk_debug:debugging turned off!"),
                  c.closes_log ? 1 : 0);
    }
}

} // namespace
