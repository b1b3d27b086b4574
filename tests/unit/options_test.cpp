// Command line: options in either case, values, the course name operand.
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/state.h"

namespace {

void parse(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    optind = 0; // getopt starts afresh, as in a new process
    tvk_options(static_cast<int>(args.size()), argv.data());
}

// The flags that are set, then each value that is set.
std::string parsed() {
    const tvk_record& s = tvk_state;
    const std::pair<int, char> flags[] = {
        {s.opt_author, 'a'}, {s.opt_playback, 'p'}, {s.opt_debug, 'd'},   {s.opt_help, 'h'},
        {s.opt_info, 'i'},   {s.opt_usage, 'u'},    {s.opt_version, 'v'},
    };
    std::string text;
    for (const auto& [on, letter] : flags)
        if (on)
            text += letter;
    if (s.opt_locale)
        text += " l=" + std::string(s.cmdline_locale);
    if (s.opt_root)
        text += " r=" + std::string(s.cmdline_root);
    if (s.opt_course)
        text += " c=" + std::string(s.course);
    return text;
}

TEST(Options, SetFlagsValuesAndCourse) {
    struct Case {
        std::vector<std::string> argv;
        std::string parsed;
        std::string basename = "tvkcombo";
    };
    const std::string r1023(1023, 'r');
    const std::string long_argv0 = "/" + std::string(1023, 'b');
    const std::vector<Case> cases = {
        {{"tvkcombo"}, ""},
        {{"./bin/tvkcombo"}, ""},
        {{"bin/trainer/"}, "", "trainer"},
        {{long_argv0}, "", std::string(1022, 'b')},
        {{"x", "-a", "-d", "-h", "-i", "-u", "-v"}, "adhiuv", "x"},
        {{"x", "-A", "-D", "-H", "-I", "-U", "-V"}, "adhiuv", "x"},
        {{"x", "-a", "-p"}, "p", "x"},
        {{"x", "-p", "-A"}, "a", "x"},
        {{"x", "-l", "fr_FR", "-L", "de_DE"}, " l=de_DE", "x"},
        {{"x", "-r", "/one", "-R", "/two"}, " r=/two", "x"},
        {{"x", "-r", r1023}, " r=" + r1023, "x"},
        {{"x", "-r", r1023 + "r"}, "", "x"},
        {{"x", "-x", "-p"}, "p", "x"},
        {{"x", "first", "second"}, " c=first", "x"},
        {{"x", "algebra", "-a"}, "a c=algebra", "x"},
        {{"x", ""}, " c=", "x"},
        {{"x", "Az09-_.Az09-_."}, " c=Az09-_.Az09-_.", "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.argv));
        tvk_state = {};
        parse(c.argv);
        EXPECT_EQ(parsed(), c.parsed);
        EXPECT_EQ(tvk_state.basename, c.basename);
        const bool fits = c.argv[0].size() <= 1023;
        EXPECT_EQ(tvk_state.argv0_cut, fits ? 0 : 1);
        EXPECT_EQ(tvk_state.argv0, fits ? c.argv[0] : c.argv[0].substr(0, 1023));
    }
}

TEST(Options, BadCommandLinesAbort) {
    struct Case {
        std::vector<std::string> argv;
        const char* report; // a piece of the English line
    };
    const std::vector<Case> cases = {
        {{"x", "-l"}, "Invalid, setlocale"},
        {{"x", "-L"}, "Invalid, setlocale"},
        {{"x", "-l", std::string(1024, 'l')}, "Invalid, setlocale"},
        {{"x", "-r"}, "Invalid, getenv"},
        {{"x", "-R"}, "Invalid, getenv"},
        {{"x", "Az09-_.Az09-_.A"}, "Invalid, posix coursename"},
        {{"x", "two words"}, "Invalid, posix coursename"},
        {{"x", "a/b"}, "Invalid, posix coursename"},
        {{"x", "caf\xe9"}, "Invalid, posix coursename"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.argv));
        tvk_state = {};
        // The report goes to standard output; the death test reads standard error.
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                parse(c.argv);
            },
            testing::ExitedWithCode(1), c.report);
    }
}

} // namespace
