// From the command line to the overlay: abort reports, the debug log, the
// six loader attempts, the exported environment and inputs too long for
// the launcher's buffers.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::RunOptions;
using tvktest::RunResult;
using tvktest::TestWorld;

const std::string log_prefix = "tvkcombo:";

// The loader lines of attempts 1 to last.
std::vector<std::string> loader_lines(std::size_t last) {
    const char* const numbers[] = {"one", "two", "three", "four", "five", "six"};
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < last; ++i)
        lines.push_back(log_prefix + "tvk_execve:loader " + numbers[i] + ".");
    return lines;
}

std::vector<std::string> log_tail(const TestWorld& world, std::size_t count) {
    const std::vector<std::string> lines = world.log_lines();
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int mode_of(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// The variables the overlay found that the world did not give the launcher.
std::set<std::string> added_variables(const TestWorld& world, const tvktest::OverlayRecord& seen) {
    std::set<std::string> added;
    for (const auto& entry : seen.env)
        if (world.env().count(entry.first) == 0)
            added.insert(entry.first);
    return added;
}

void expect_became_overlay(const RunResult& result, const TestWorld& world) {
    EXPECT_TRUE(result.exited && result.status == 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(world.record().ran);
}

TEST(Abort, PrintsTheReportAndEndsTheLog) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool remove_overlay;
        int code;
        std::vector<std::string> log_tail; // empty: no log at all
    };
    std::vector<std::string> overlay_tail = loader_lines(6);
    overlay_tail.push_back(log_prefix + "tvk_abort:abort(6) entry.");
    overlay_tail.push_back(log_prefix + "tvk_debug:debugging turned off!");
    const std::vector<Case> cases = {
        {"-r without value", {"-d", "-r"}, false, 1, {}},
        {"-L without value", {"-d", "-L"}, false, 2, {}},
        {"bad course name", {"-d", "two words"}, false, 5, {}},
        {"no overlay anywhere", {"-d"}, true, 6, overlay_tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        ASSERT_TRUE(!c.remove_overlay || world.remove("opt/tovrek/bin/tvkcombo.ovl"));
        const RunResult result = world.run(c.args);
        EXPECT_TRUE(result.exited && result.status == 1);
        EXPECT_EQ(result.out, tvktest::abort_report(c.code));
        EXPECT_EQ(result.err, "");
        EXPECT_FALSE(world.record().ran);
        EXPECT_EQ(world.exists("home/.tovrek/tvkcombo.log"), !c.log_tail.empty());
        EXPECT_EQ(log_tail(world, c.log_tail.size()), c.log_tail);
    }
}

TEST(DebugLog, HoldsOneRunUpToTheLoaderThatWorked) {
    TestWorld world;
    expect_became_overlay(world.run({"-d", "-a"}), world);
    EXPECT_EQ(mode_of(world.home() + "/.tovrek"), 0700);
    EXPECT_EQ(mode_of(world.log_path()), 0600);
    ASSERT_TRUE(world.write_file(
        "home/.tovrek/tvkcombo.log",
        world.read_file("home/.tovrek/tvkcombo.log") + std::string(5000, 's'), 0600));

    expect_became_overlay(world.run({"-d"}), world);
    const std::vector<std::string> lines = world.log_lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], log_prefix + "tvk_debug:debugging turned on!");
    EXPECT_EQ(lines[1], log_prefix + "tvkcombo:root:7:" + world.root());
    EXPECT_EQ(lines.back(), log_prefix + "tvk_execve:loader one.");
    EXPECT_FALSE(has_line(lines, log_prefix + "tvk_execve:author request."));
    EXPECT_EQ(world.read_file("home/.tovrek/tvkcombo.log").find("sss"), std::string::npos);
}

TEST(DebugLog, RunGoesOnWithoutOneItCannotHave) {
    struct Case {
        const char* name;
        std::function<void(TestWorld&)> setup;
        char other_lock; // lock another process holds on the log, or none
    };
    const std::string others_log = "tvkcombo:the other run's line\n";
    const std::vector<Case> cases = {
        {"HOME unset", [](TestWorld& w) { w.unset_env("HOME"); }, 0},
        {"HOME empty", [](TestWorld& w) { w.set_env("HOME", ""); }, 0},
        {"directory cannot be made",
         [](TestWorld& w) {
             ASSERT_TRUE(w.write_file("home-file", ""));
             w.set_env("HOME", w.path("home-file"));
         },
         0},
        {"log is a FIFO", [](TestWorld& w) { ASSERT_EQ(mkfifo(w.log_path().c_str(), 0600), 0); },
         0},
        {"another holds a read lock",
         [&](TestWorld& w) { w.write_file("home/.tovrek/tvkcombo.log", others_log); }, 'r'},
        {"another holds a write lock",
         [&](TestWorld& w) { w.write_file("home/.tovrek/tvkcombo.log", others_log); }, 'w'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        ASSERT_TRUE(world.make_dir("home/.tovrek", 0700));
        c.setup(world);
        std::optional<tvktest::LockHolder> holder;
        if (c.other_lock != 0) {
            holder.emplace(world.log_path(), c.other_lock);
            ASSERT_TRUE(holder->locked());
        }
        const RunResult result =
            world.run({"-d"}, RunOptions().with_timeout(std::chrono::seconds(10)));
        expect_became_overlay(result, world);
        EXPECT_FALSE(world.record().has_env("TOVREK_DEBUG"));
        if (c.other_lock != 0) {
            EXPECT_EQ(world.read_file("home/.tovrek/tvkcombo.log"), others_log);
        }
    }
}

TEST(DebugLog, NeverTakesAStandardDescriptor) {
    TestWorld world;
    world.run({"-d"}, RunOptions().with_std_closed());
    const tvktest::OverlayRecord seen = world.record();
    ASSERT_TRUE(seen.ran);
    const std::optional<std::string> fd = seen.env_value("TOVREK_DEBUG");
    ASSERT_TRUE(fd.has_value());
    EXPECT_GT(std::stoi(*fd), 2);
    EXPECT_EQ(seen.descriptors.at(std::stoi(*fd)).target, world.log_path());
    EXPECT_EQ(world.log_lines().front(), log_prefix + "tvk_debug:debugging turned on!");
}

TEST(Loader, TriesTheSixLocationsInOrder) {
    struct Case {
        const char* name;
        std::string argv0;      // "@": the root
        std::string overlay;    // where trainer.ovl is put, relative to the world
        bool keep_tvkcombo_ovl; // the world's own <root>/bin/tvkcombo.ovl
        std::size_t attempt;
    };
    const std::vector<Case> cases = {
        {"argv[0] + .ovl", "@/bin/trainer", "opt/tovrek/bin/trainer.ovl", true, 1},
        {"basename + .ovl here", "@/bin/trainer", "work/trainer.ovl", true, 2},
        {"root/bin/argv[0] + .ovl", "./trainer", "opt/tovrek/bin/./trainer.ovl", true, 3},
        {"root/bin/basename + .ovl", "sub/trainer", "opt/tovrek/bin/trainer.ovl", true, 4},
        {"fixed name", "@/bin/trainer", "", true, 5},
        {"PATH search", "trainer", "path/trainer.ovl", false, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        world.set_env("PATH", world.path("path") + ":/usr/bin:/bin");
        ASSERT_TRUE(world.symlink("tvkcombo", "opt/tovrek/bin/trainer"));
        ASSERT_TRUE(c.overlay.empty() || world.symlink(TVK_TEST_OVERLAY, c.overlay));
        ASSERT_TRUE(c.keep_tvkcombo_ovl || world.remove("opt/tovrek/bin/tvkcombo.ovl"));
        std::string argv0 = c.argv0;
        if (argv0[0] == '@')
            argv0.replace(0, 1, world.root());
        // Only an absolute argv[0] finds the root by itself.
        const std::vector<std::string> args =
            argv0[0] == '/' ? std::vector<std::string>{"-d"}
                            : std::vector<std::string>{"-d", "-r", world.root()};
        const RunResult result = world.run(
            args, RunOptions().with_program(world.root() + "/bin/trainer").with_argv0(argv0));
        expect_became_overlay(result, world);
        const tvktest::OverlayRecord seen = world.record();
        EXPECT_EQ(seen.argv, std::vector<std::string>{"playback"});
        EXPECT_EQ(seen.env_value("TOVREK_BASENAME"), "trainer");
        EXPECT_EQ(log_tail(world, c.attempt), loader_lines(c.attempt));
    }
}

TEST(OverlayEnvironment, CarriesTheRunsResults) {
    struct Case {
        std::vector<std::string> args;
        std::string action;
        const char* log_line; // the request line, if any
        std::set<std::string> added;
    };
    const std::set<std::string> settings = {"TOVREK_BASENAME", "TOVREK_ROOT",    "TOVREK_LOCALE",
                                            "TOVREK_LANG",     "TOVREK_CODESET", "TOVREK_SPELL",
                                            "TOVREK_ACTION"};
    std::set<std::string> with_course = settings;
    with_course.insert("TOVREK_COURSE");
    const std::vector<Case> cases = {
        {{}, "playback", nullptr, settings},
        {{"-d"}, "playback", "tvk_execve:default playback request.", settings},
        {{"-d", "-p"}, "playback", "tvk_execve:playback request.", settings},
        {{"-d", "-a"}, "author", "tvk_execve:author request.", settings},
        {{"-d", "-a", "-P"}, "playback", "tvk_execve:playback request.", settings},
        {{"-d", "-p", "-A", "algebra"}, "author", "tvk_execve:author request.", with_course},
        {{"-v"}, "version", nullptr, {"TOVREK_BASENAME"}},
        {{"-d", "-v", "algebra"}, "version", "tvk_execve:version request.", {"TOVREK_BASENAME"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        TestWorld world;
        // Inherited values: the library path is replaced, the log number only with -d.
        world.set_env("LD_LIBRARY_PATH", "/inherited");
        world.set_env("TOVREK_DEBUG", "7");
        const RunResult result = world.run(c.args);
        expect_became_overlay(result, world);
        const bool debug = c.args.size() > 0 && c.args[0] == "-d";
        const bool version = c.action == "version";
        // A report printed before the exec must not be lost in the buffer.
        EXPECT_EQ(result.out.empty(), !version);
        const tvktest::OverlayRecord seen = world.record();
        EXPECT_EQ(seen.argv, std::vector<std::string>{c.action});
        EXPECT_EQ(added_variables(world, seen), c.added);
        EXPECT_EQ(seen.env_value("LD_LIBRARY_PATH"), world.root() + "/lib");
        EXPECT_EQ(seen.env_value("TOVREK_DEBUG"), debug ? "3" : "7");
        if (!version) {
            EXPECT_EQ(seen.env_value("TOVREK_ACTION"), c.action);
        }
        if (c.log_line != nullptr) {
            EXPECT_TRUE(has_line(world.log_lines(), log_prefix + c.log_line));
        }
    }
}

// Leading slashes stretch a path to length without changing what it names.
std::string stretched(const std::string& path, std::size_t length) {
    return std::string(length - path.size(), '/') + path;
}

// The value as the overlay should see it: a variable that does not fit the
// launcher's buffer is left out rather than cut.
std::optional<std::string> exported(const std::string& name, const std::string& value) {
    if (name.size() + 1 + value.size() > 1023)
        return std::nullopt;
    return value;
}

TEST(OverLong, InputsNeverOverrunABuffer) {
    enum class Input {
        argv0,
        argv0_and_root,
        root_option,
        locale_option,
        root_variable,
        home,
        path
    };
    struct Case {
        Input input;
        std::size_t length;
        int abort_code;            // 0: the overlay runs
        int source = 7;            // root source
        std::size_t root_length{}; // the root stretched to this length; 0: as it is
        std::size_t loader = 1;    // the loader attempt that works
        int home_files = 2;        // 2: log and rc file fit the home, 1: the rc file only
    };
    const Case cases[] = {
        {Input::argv0, 1023, 0, 7, 0, 4},
        {Input::argv0, 1024, 1},
        {Input::argv0, 5000, 1},
        {Input::argv0_and_root, 1023, 0, 1, 0, 4},
        {Input::argv0_and_root, 1024, 0, 1, 0, 5},
        {Input::argv0_and_root, 5000, 0, 1, 0, 5},
        {Input::root_option, 1023, 0, 1, 1023},
        {Input::root_option, 1024, 0},
        {Input::root_option, 5000, 0},
        {Input::locale_option, 1023, 2},
        {Input::locale_option, 1024, 2},
        {Input::locale_option, 5000, 2},
        {Input::root_variable, 1023, 0, 2, 1023},
        {Input::root_variable, 1024, 0, 2, 1023},
        {Input::root_variable, 5000, 0, 2, 1023},
        {Input::home, 1002, 0},
        {Input::home, 1003, 0, 7, 0, 1, 1},
        {Input::home, 1004, 0, 7, 0, 1, 0},
        {Input::home, 1023, 0, 7, 0, 1, 0},
        {Input::home, 1024, 0, 7, 0, 1, 0},
        {Input::home, 5000, 0, 7, 0, 1, 0},
        {Input::path, 1023, 0, 7, 0, 3},
        {Input::path, 1024, 0, 7, 0, 3},
        {Input::path, 5000, 0, 7, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.input) << " of " << c.length);
        TestWorld world;
        world.set_env("LD_LIBRARY_PATH", "/inherited");
        std::vector<std::string> args = {"-d"};
        RunOptions options;
        // What a cut would drop lies after 1023 characters that work.
        const std::string beyond = c.length > 1023 ? std::string(c.length - 1023, 'x') : "";
        switch (c.input) {
        case Input::argv0_and_root:
            args.insert(args.end(), {"-r", world.root()});
            [[fallthrough]];
        case Input::argv0:
            options.with_argv0(stretched(world.root() + "/bin/tvkcombo", 1023) + beyond);
            break;
        case Input::root_option:
            args.insert(args.end(), {"-r", stretched(world.root(), c.length)});
            break;
        case Input::locale_option:
            args.insert(args.end(), {"-l", std::string(c.length, 'l')});
            break;
        case Input::root_variable:
            world.set_env("TOVREK_ROOT", stretched(world.root(), 1023) + beyond);
            break;
        case Input::home:
            world.set_env("HOME", stretched(world.home(), c.length));
            break;
        case Input::path:
            // The first element leaves room for "/tvkcombo" in the candidate.
            world.set_env("PATH", stretched(world.root() + "/bin", 1014) + ":" +
                                      std::string(c.length - 1015, 'p'));
            options.with_argv0("tvkcombo");
            break;
        }
        const RunResult result = world.run(args, options);
        ASSERT_TRUE(result.exited) << "signal " << result.signal;
        EXPECT_EQ(result.err, "");
        if (c.abort_code != 0) {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, tvktest::abort_report(c.abort_code));
            continue;
        }
        expect_became_overlay(result, world);
        const std::string root =
            c.root_length ? stretched(world.root(), c.root_length) : world.root();
        const tvktest::OverlayRecord seen = world.record();
        EXPECT_EQ(seen.env_value("TOVREK_ROOT"), exported("TOVREK_ROOT", root));
        EXPECT_EQ(seen.env_value("LD_LIBRARY_PATH"), exported("LD_LIBRARY_PATH", root + "/lib"));
        const bool logged = c.home_files == 2;
        EXPECT_EQ(seen.has_env("TOVREK_DEBUG"), logged);
        // A home that cannot hold the files gets no directory for them.
        EXPECT_EQ(world.exists("home/.tovrek"), c.home_files > 0);
        if (logged) {
            // A root line too long for the log keeps its first 1022 characters.
            const std::string line =
                log_prefix + "tvkcombo:root:" + std::to_string(c.source) + ":" + root;
            EXPECT_EQ(world.log_lines().at(1), line.substr(0, 1022));
            EXPECT_EQ(world.log_lines().back(), loader_lines(c.loader).back());
        }
    }
}

} // namespace
