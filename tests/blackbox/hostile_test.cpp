// Hostile surroundings: closed standard descriptors, broken homes, odd PATHs,
// huge and non-UTF-8 inputs, special files where plain ones belong. Whatever
// the launcher meets, it ends with status 0 or 1 or becomes the overlay,
// promptly, by itself and without a word on standard error.
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::RunOptions;
using tvktest::RunResult;
using tvktest::TestWorld;

const std::string rc_rel = "home/.tovrek/tvkcombo.rc";
const std::string stamp_rel = "opt/tovrek/ver/tvkcombo";
const std::string alias_rel = "work/locale.alias"; // read by the alias-file launcher
const std::string bad_utf8 = "\xFF\xC3\x28\x80";
constexpr std::size_t huge = 100000;

// What a case changes before the run.
struct Launch {
    std::vector<std::string> args;
    RunOptions options = RunOptions().with_timeout(std::chrono::seconds(10));
};
using Prepare = std::function<void(TestWorld&, Launch&)>;
using Check = std::function<void(const TestWorld&)>;

enum class Outcome {
    overlay, // became the overlay, with the world's root
    done,    // exit 0 without the overlay
    abort,   // exit 1 with exactly the report of the case's code
};

struct Case {
    const char* name;
    Prepare setup;
    Outcome outcome;
    int code = 0;
    Check check = [](const TestWorld&) {};
    TestWorld::Launcher launcher = TestWorld::Launcher::standard;
};

Prepare with_args(std::vector<std::string> args) {
    return
        [=](TestWorld&, Launch& run) { run.args.insert(run.args.end(), args.begin(), args.end()); };
}

Prepare with_env(std::string name, std::string value) {
    return [=](TestWorld& world, Launch&) { world.set_env(name, value); };
}

Prepare with_file(std::string rel, std::string bytes) {
    return [=](TestWorld& world, Launch&) {
        ASSERT_TRUE(world.remove(rel) && world.write_file(rel, bytes));
    };
}

Prepare with_link(std::string rel, std::string target) {
    return [=](TestWorld& world, Launch&) {
        ASSERT_TRUE(world.remove(rel) && world.symlink(target, rel));
    };
}

Prepare with_fifo(std::string rel) {
    return [=](TestWorld& world, Launch&) {
        ASSERT_TRUE(world.remove(rel) && world.make_dir(rel.substr(0, rel.rfind('/'))) &&
                    mkfifo(world.path(rel).c_str(), 0600) == 0);
    };
}

// Started by its bare name from work/, so the root comes from the PATH search.
Prepare by_bare_name(std::function<std::string(const TestWorld&)> path) {
    return [=](TestWorld& world, Launch& run) {
        world.set_env("PATH", path(world));
        run.options.with_argv0("tvkcombo");
    };
}

Prepare both(Prepare first, Prepare second) {
    return [=](TestWorld& world, Launch& run) {
        first(world, run);
        second(world, run);
    };
}

// Runs from a directory under work/ whose path has at least length
// characters, invoked as argv0, a name that finds no file.
Prepare from_deep_dir(std::size_t length, std::string argv0) {
    return [=](TestWorld& world, Launch& run) {
        std::string rel = "work";
        while (world.path(rel).size() < length)
            rel += "/" + std::string(200, 'd');
        ASSERT_TRUE(world.make_dir(rel));
        run.options.with_cwd(world.path(rel)).with_argv0(argv0);
    };
}

Check env_is(std::string name, std::string value) {
    return [=](const TestWorld& world) { EXPECT_EQ(world.record().env_value(name), value); };
}

Check no_log = [](const TestWorld& world) { EXPECT_FALSE(world.record().has_env("TOVREK_DEBUG")); };

Check file_holds(std::string rel, std::string bytes) {
    return [=](const TestWorld& world) { EXPECT_EQ(world.read_file(rel), bytes); };
}

Check is_kind(std::string rel, mode_t kind) {
    return [=](const TestWorld& world) {
        struct stat info {};
        ASSERT_EQ(lstat(world.path(rel).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, kind);
    };
}

void run_case(const Case& c) {
    SCOPED_TRACE(c.name);
    TestWorld world(c.launcher);
    Launch run;
    c.setup(world, run);
    const RunResult result = world.run(run.args, run.options);
    ASSERT_FALSE(result.timed_out);
    ASSERT_TRUE(result.exited) << "signal " << result.signal;
    EXPECT_EQ(result.err, "");
    const tvktest::OverlayRecord seen = world.record();
    EXPECT_EQ(seen.ran, c.outcome == Outcome::overlay);
    switch (c.outcome) {
    case Outcome::overlay:
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_EQ(seen.env_value("TOVREK_ROOT"), world.root());
        break;
    case Outcome::done:
        EXPECT_EQ(result.status, 0) << result.out;
        break;
    case Outcome::abort:
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, tvktest::abort_report(c.code));
        break;
    }
    c.check(world);
}

Prepare std_closed = [](TestWorld&, Launch& run) { run.options.with_std_closed(); };

TEST(Hostile, CommandLineAndEnvironment) {
    const Case cases[] = {
        {"standard descriptors closed", std_closed, Outcome::overlay, 0,
         [](const TestWorld& world) {
             // Reopened on /dev/null, so no file the launcher opened took one.
             const auto seen = world.record().descriptors;
             for (int fd = 0; fd <= 2; ++fd)
                 EXPECT_EQ(seen.count(fd) ? seen.at(fd).target : "closed", "/dev/null") << fd;
         }},
        {"standard descriptors closed, -i", both(std_closed, with_args({"-i"})), Outcome::done},
        {"standard descriptors closed, -h", both(std_closed, with_args({"-h"})), Outcome::done},

        {"HOME unset", [](TestWorld& w, Launch&) { w.unset_env("HOME"); }, Outcome::overlay},
        {"HOME empty", with_env("HOME", ""), Outcome::overlay},
        {"HOME a regular file",
         both(with_file("home-file", "mine\n"),
              [](TestWorld& w, Launch&) { w.set_env("HOME", w.path("home-file")); }),
         Outcome::overlay, 0, file_holds("home-file", "mine\n")},
        // Tests run as root, for whom a read-only home is writable: a home
        // whose .tovrek cannot be a directory stands in for it.
        {"$HOME/.tovrek a regular file",
         both(with_file("home/.tovrek", "mine\n"), with_args({"-d"})), Outcome::overlay, 0,
         [](const TestWorld& world) {
             no_log(world);
             EXPECT_EQ(world.read_file("home/.tovrek"), "mine\n");
         }},
        {"$HOME/.tovrek a dangling link",
         both(with_link("home/.tovrek", "nowhere"), with_args({"-d"})), Outcome::overlay, 0,
         [](const TestWorld& world) {
             no_log(world);
             EXPECT_FALSE(world.exists("home/nowhere"));
         }},

        {"PATH unset",
         [](TestWorld& w, Launch& r) {
             w.unset_env("PATH");
             r.options.with_argv0("tvkcombo");
         },
         Outcome::abort, 1},
        {"PATH empty", by_bare_name([](const TestWorld&) { return ""; }), Outcome::abort, 1},
        // 999 empty elements (the working directory) and work/b, a link to
        // <root>/bin: 1000 elements in 1000 characters.
        {"PATH of 1000 elements",
         both(by_bare_name([](const TestWorld&) { return std::string(999, ':') + "b"; }),
              [](TestWorld& w, Launch&) { ASSERT_TRUE(w.symlink(w.root() + "/bin", "work/b")); }),
         Outcome::overlay},

        {"argv[0] a link to itself",
         [](TestWorld& w, Launch& r) {
             ASSERT_TRUE(w.symlink("loop", "opt/tovrek/bin/loop"));
             r.options.with_argv0(w.root() + "/bin/loop");
         },
         Outcome::overlay, 0, env_is("TOVREK_BASENAME", "loop")},
        {"working directory beyond 1023 characters", from_deep_dir(1100, "tvkcombo"),
         Outcome::abort, 1},
        {"working directory and relative argv[0] beyond 1023 characters together",
         from_deep_dir(800, std::string(300, 'a')), Outcome::abort, 1},
        // The root fits, <root>/bin/ and a name do not: only the PATH
        // search is left, and it finds no overlay.
        {"root too long for the loader paths",
         [](TestWorld& w, Launch& r) {
             r.args = {"-r", std::string(1023 - w.root().size(), '/') + w.root()};
             r.options.with_argv0("tvkcombo");
         },
         Outcome::abort, 6},

        {"argv[0] huge",
         [](TestWorld& w, Launch& r) {
             r.options.with_argv0(std::string(huge, '/') + w.root() + "/bin/tvkcombo");
         },
         Outcome::abort, 1},
        {"-r huge",
         [](TestWorld& w, Launch& r) {
             r.args = {"-r", std::string(huge, '/') + w.root()};
         },
         Outcome::overlay},
        {"-l huge", with_args({"-l", std::string(huge, 'l')}), Outcome::abort, 2},
        {"course name huge", with_args({std::string(huge, 'c')}), Outcome::abort, 5},
        {"TOVREK_ROOT huge", with_env("TOVREK_ROOT", std::string(huge, 'r')), Outcome::abort, 1},
        {"HOME huge", both(with_env("HOME", std::string(huge, 'h')), with_args({"-d"})),
         Outcome::overlay, 0, no_log},
        {"PATH huge", by_bare_name([](const TestWorld& w) {
             return w.root() + "/bin:" + std::string(huge, 'p');
         }),
         Outcome::overlay},
        {"LC_ALL huge", with_env("LC_ALL", std::string(huge, 'l')), Outcome::overlay, 0,
         env_is("TOVREK_LOCALE", "C")},
        {"LANG huge", with_env("LANG", std::string(huge, 'l')), Outcome::overlay, 0,
         env_is("TOVREK_LOCALE", "C")},

        {"argv[0] not UTF-8",
         [](TestWorld& w, Launch& r) { r.options.with_argv0(w.root() + "/bin/" + bad_utf8); },
         Outcome::overlay, 0, env_is("TOVREK_BASENAME", bad_utf8)},
        {"-r not UTF-8", with_args({"-r", bad_utf8}), Outcome::overlay},
        {"-l not UTF-8", with_args({"-l", bad_utf8}), Outcome::abort, 2},
        {"course name not UTF-8", with_args({bad_utf8}), Outcome::abort, 5},
        {"TOVREK_ROOT not UTF-8", with_env("TOVREK_ROOT", bad_utf8), Outcome::abort, 1},
        {"HOME not UTF-8",
         both(with_args({"-d"}),
              [](TestWorld& w, Launch&) {
                  ASSERT_TRUE(w.make_dir("home" + bad_utf8));
                  w.set_env("HOME", w.path("home" + bad_utf8));
              }),
         Outcome::overlay, 0,
         [](const TestWorld& world) {
             EXPECT_TRUE(world.record().has_env("TOVREK_DEBUG"));
             EXPECT_TRUE(world.exists("home" + bad_utf8 + "/.tovrek/tvkcombo.rc"));
         }},
        {"PATH not UTF-8",
         by_bare_name([](const TestWorld& w) { return bad_utf8 + ":" + w.root() + "/bin"; }),
         Outcome::overlay},
        {"LC_ALL not UTF-8", with_env("LC_ALL", bad_utf8), Outcome::overlay, 0,
         env_is("TOVREK_LOCALE", "C")},
        {"LANG not UTF-8", with_env("LANG", bad_utf8), Outcome::overlay, 0,
         env_is("TOVREK_LOCALE", "C")},
    };
    for (const Case& c : cases)
        run_case(c);
}

// Only the world's own tree could be the root: a stamp it rejects aborts.
TEST(Hostile, Files) {
    const auto alias = TestWorld::Launcher::alias_file;
    const Prepare wants_alias = with_env("LANG", "tovrekish");
    const Case cases[] = {
        {"rc line huge", with_file(rc_rel, "#" + std::string(huge, 'x') + "\nlc_all = fr_FR\n"),
         Outcome::overlay, 0, env_is("TOVREK_LOCALE", "fr_FR")},
        {"alias line huge",
         both(wants_alias, with_file(alias_rel, std::string(huge, 'x') + "\ntovrekish fr_FR\n")),
         Outcome::overlay, 0, env_is("TOVREK_LANG", "fre"), alias},
        {"stamp line huge", with_file(stamp_rel, std::string(huge, '0') + "\n"), Outcome::abort, 1},

        {"rc file not UTF-8", with_file(rc_rel, "tovrek_spell = " + bad_utf8 + "\n"),
         Outcome::overlay, 0, env_is("TOVREK_SPELL", bad_utf8)},
        {"alias file not UTF-8",
         both(wants_alias, with_file(alias_rel, "tovrekish " + bad_utf8 + "\n")), Outcome::abort, 4,
         [](const TestWorld&) {}, alias},
        {"stamp not UTF-8", with_file(stamp_rel, bad_utf8 + "\n"), Outcome::abort, 1},

        {"stamp a FIFO without writer", with_fifo(stamp_rel), Outcome::abort, 1},
        {"stamp a link to /dev/zero", with_link(stamp_rel, "/dev/zero"), Outcome::abort, 1},
        {"stamp a link to /dev/urandom", with_link(stamp_rel, "/dev/urandom"), Outcome::abort, 1},
        {"ver a regular file", with_file("opt/tovrek/ver", "0.1.1\n"), Outcome::abort, 1},

        {"rc file a directory", [](TestWorld& w, Launch&) { ASSERT_TRUE(w.make_dir(rc_rel)); },
         Outcome::overlay, 0, is_kind(rc_rel, S_IFDIR)},
        {"rc file a FIFO", with_fifo(rc_rel), Outcome::overlay, 0, is_kind(rc_rel, S_IFIFO)},
        // -i: only the reader meets the device.
        {"rc file a link to /dev/zero", both(with_link(rc_rel, "/dev/zero"), with_args({"-i"})),
         Outcome::done},
        {"alias file a link to /dev/zero", both(wants_alias, with_link(alias_rel, "/dev/zero")),
         Outcome::abort, 4, [](const TestWorld&) {}, alias},
        {"log a directory",
         both(with_args({"-d"}),
              [](TestWorld& w, Launch&) { ASSERT_TRUE(w.make_dir("home/.tovrek/tvkcombo.log")); }),
         Outcome::overlay, 0, no_log},
        {"log a link to /dev/null",
         both(with_args({"-d"}), with_link("home/.tovrek/tvkcombo.log", "/dev/null")),
         Outcome::overlay, 0, no_log},
    };
    for (const Case& c : cases)
        run_case(c);
}

} // namespace
