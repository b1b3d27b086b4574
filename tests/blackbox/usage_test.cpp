// The usage text: built-in defaults, real catalogs picked by language and
// codeset, and catalog texts that must not be trusted.
#include <algorithm>

#include <gtest/gtest.h>

#include "world.h"

namespace tvktest {
extern const char report_banner[]; // report_test.cpp
} // namespace tvktest

namespace {

using tvktest::RunOptions;
using tvktest::RunResult;
using tvktest::TestWorld;
using Messages = std::map<int, std::string>;

constexpr const char* default_messages[] = {
    "  usage: %s [-adhil:pr:uv] [coursename]\n",
    "    -a author courses (teacher)\n",
    "    -d debug flag ($HOME/.tovrek/tvkcombo.log)\n",
    "    -h help flag (these messages)\n",
    "    -i info flag (display environment)\n",
    "   [-l locale] (set $LC_ALL value)\n",
    "    -p playback courses (student) DEFAULT\n",
    "   [-r rootdir] (set $TOVREK_ROOT value)\n",
    "    -u usage flag (these messages)\n",
    "    -v version flag (display program version)\n",
    "  coursename, 1-14 POSIX characters [A-Za-z0-9_-.]\n",
    "Include the output of tvkcombo -i when you\n",
    "Report bugs to <tvkcombo@tovrek.example>\n",
};

// The banner and messages 1 to 13: own texts where given, defaults elsewhere,
// with name in place of the "%s" of message 1.
std::string usage_text(const std::string& name, const Messages& own = {}) {
    std::string text = tvktest::report_banner;
    for (int number = 1; number <= 13; ++number) {
        const auto found = own.find(number);
        std::string message = found != own.end() ? found->second : default_messages[number - 1];
        if (number == 1)
            message.replace(message.find("%s"), 2, name);
        text += message;
    }
    return text;
}

std::vector<std::string> usage_log(const char* open_line) {
    return {std::string("tvkcombo:tvk_usage:") + open_line, "tvkcombo:tvk_usage:byte stream.",
            "tvkcombo:tvk_usage:request complete.", "tvkcombo:tvk_debug:debugging turned off!"};
}

// Runs args (with -d) and checks the usage text, the log's last lines and that
// nothing else happened.
void expect_usage(const TestWorld& world, std::vector<std::string> args,
                  const std::string& expected, const char* open_line,
                  const RunOptions& options = {}) {
    args.insert(args.begin(), "-d");
    const RunResult result = world.run(args, options);
    ASSERT_TRUE(result.exited) << result.out;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected);
    const std::vector<std::string> log = world.log_lines();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()), usage_log(open_line));
    EXPECT_FALSE(world.record().ran);
    EXPECT_FALSE(world.exists("home/.tovrek/tvkcombo.rc"));
}

TEST(Usage, PrintsTheDefaultsWithoutACatalog) {
    struct Case {
        const char* option;
        const char* name; // the program as invoked
    };
    const Case cases[] = {{"-h", "tvkcombo"}, {"-u", "tvkcombo"}, {"-h", "trainer"}};
    TestWorld world;
    ASSERT_TRUE(world.symlink("tvkcombo", "opt/tovrek/bin/trainer"));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.option << " as " << c.name);
        const std::string program = world.root() + "/bin/" + c.name;
        expect_usage(world, {c.option}, usage_text(c.name), "open failure.",
                     RunOptions().with_program(program));
    }
}

TEST(Usage, TakesTheCatalogOfTheLocaleCodesetByteForByte) {
    struct Case {
        const char* locale;
        const char* codeset;
        const char* e_acute;
    };
    const Case cases[] = {{"fr_FR", "ISO-8859-1", "\xe9"}, {"fr_FR.UTF-8", "UTF-8", "\xc3\xa9"}};
    const auto french = [](const Case& c) {
        Messages messages;
        for (int number = 1; number <= 13; ++number)
            messages[number] = std::string(number == 1 ? "  %s" : "  ") + " r" + c.e_acute + "sum" +
                               c.e_acute + " " + std::to_string(number) + " " + c.codeset + "\n";
        return messages;
    };
    TestWorld world;
    for (const Case& c : cases)
        ASSERT_TRUE(tvktest::make_catalog(world.root() + "/nls/fre.combo.cat." + c.codeset,
                                          french(c), c.locale));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        world.set_env("LANG", c.locale);
        expect_usage(world, {"-h"}, usage_text("tvkcombo", french(c)), "open ok.");
    }
}

TEST(Usage, ReplacesMissingAndUnsafeMessagesByDefaults) {
    struct Case {
        Messages catalog;
        std::vector<int> used; // the messages printed from the catalog
    };
    const Case cases[] = {
        {{{1, "  how to call %s\n"}}, {1}},
        {{{1, "  %s%s\n"},
          {2, "    -a %n\n"},
          {3, "    -d %d\n"},
          {4, "    -h 100%\n"},
          {5, "    -i plain\n"}},
         {5}},
        {{{1, "  no program name\n"}, {13, "%s\n"}}, {}},
        {{{1, "  %s at 100%\n"}, {12, "%%\n"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.catalog));
        TestWorld world;
        // The C locale: language eng and the codeset name of plain ASCII.
        ASSERT_TRUE(tvktest::make_catalog(world.root() + "/nls/eng.combo.cat.ANSI_X3.4-1968",
                                          c.catalog, "C"));
        Messages own;
        for (int number : c.used)
            own[number] = c.catalog.at(number);
        expect_usage(world, {"-u"}, usage_text("tvkcombo", own), "open ok.");
    }
}

TEST(Usage, OpensNoCatalogWhosePathWouldBeCut) {
    TestWorld world;
    // A root of 1000 characters: its catalog path has 1033, and cut to 1023
    // it would name the decoy below.
    std::string root = world.dir();
    while (root.size() < 1000)
        root += "/" + std::string(std::min<size_t>(200, 999 - root.size()), 'r');
    ASSERT_EQ(root.size(), 1000u);
    const std::string rel = root.substr(world.dir().size() + 1);
    ASSERT_TRUE(world.write_file(rel + "/ver/tvkcombo", "0.1.1\n"));
    ASSERT_TRUE(tvktest::make_catalog(root + "/nls/eng.combo.cat.ANSI", {{2, "    decoy\n"}}, "C"));
    expect_usage(world, {"-h", "-r", root}, usage_text("tvkcombo"), "open failure.");
}

} // namespace
