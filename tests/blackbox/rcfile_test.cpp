// The per-user rc file as runs of the launcher see it: when it is written,
// what its values change in later runs, and that locks, failures and
// concurrent runs never leave it damaged.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::LockHolder;
using tvktest::rc_lines;
using tvktest::RunOptions;
using tvktest::RunResult;
using tvktest::TestWorld;

const std::string rc_rel = "home/.tovrek/tvkcombo.rc";

bool logged(const TestWorld& world, const std::string& line) {
    for (const std::string& seen : world.log_lines())
        if (seen == line)
            return true;
    return false;
}

// What the writer logged after its tag; empty when it logged nothing.
std::string writer_outcome(const TestWorld& world) {
    const std::string tag = "tvkcombo:tvk_rcfile_write:";
    for (const std::string& line : world.log_lines())
        if (line.rfind(tag, 0) == 0)
            return line.substr(tag.size());
    return "";
}

mode_t permissions(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Contents and modification time, set far back first so a rewrite shows.
std::string fingerprint(const TestWorld& world) {
    struct stat info {};
    if (stat(world.path(rc_rel).c_str(), &info) != 0)
        return "absent";
    return world.read_file(rc_rel) + "@" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

bool age(const TestWorld& world) {
    const timespec long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
    return utimensat(AT_FDCWD, world.path(rc_rel).c_str(), long_ago, 0) == 0;
}

// A fresh $HOME/.tovrek holding the given rc file, or none.
bool reset_rc(const TestWorld& world, const std::optional<std::string>& contents) {
    return world.remove("home/.tovrek") && (!contents || world.write_file(rc_rel, *contents, 0600));
}

void expect_launched(const TestWorld& world, const RunResult& result) {
    EXPECT_TRUE(result.exited && result.status == 0) << result.out << result.err;
    EXPECT_TRUE(world.record().ran);
}

TEST(RcfileWrite, FirstLaunchCreatesDirectoryAndFile) {
    TestWorld world;
    expect_launched(world, world.run());
    EXPECT_EQ(world.read_file(rc_rel), rc_lines("C", world.root(), "ispell"));
    EXPECT_EQ(permissions(world.home() + "/.tovrek"), 0700u);
    EXPECT_EQ(permissions(world.path(rc_rel)), 0600u);
}

// Each case is followed by a second run, which must read back what the
// first one left and so find nothing to change.
TEST(RcfileWrite, RewritesOnlyWhenLocaleOrRootChanged) {
    struct Case {
        const char* what;
        std::optional<std::string> before;
        std::optional<std::string> lc_all;
        const char* outcome;
        std::string after;
    };
    TestWorld world;
    const std::string root = world.root();
    const Case cases[] = {
        {"no file", {}, {}, "wrote new.", rc_lines("C", root, "ispell")},
        {"only the spell command differs",
         rc_lines("C", root, "ispell -d german"),
         {},
         "not changed.",
         rc_lines("C", root, "ispell -d german")},
        {"another root, longer file",
         rc_lines("C", "/srv/tovrek", "aspell") + "#" + std::string(100, '-') + "\n",
         {},
         "wrote new.",
         rc_lines("C", root, "aspell")},
        {"another locale", rc_lines("de_DE", root, "ispell"), "fr_FR", "wrote new.",
         rc_lines("fr_FR", root, "ispell -d french")},
        {"no root", "lc_all = C\n", {}, "wrote new.", rc_lines("C", root, "ispell")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(reset_rc(world, c.before));
        if (c.lc_all)
            world.set_env("LC_ALL", *c.lc_all);
        else
            world.unset_env("LC_ALL");
        expect_launched(world, world.run({"-d"}));
        EXPECT_EQ(writer_outcome(world), c.outcome);
        EXPECT_EQ(world.read_file(rc_rel), c.after);

        expect_launched(world, world.run({"-d"}));
        EXPECT_EQ(writer_outcome(world), "not changed.");
        EXPECT_EQ(world.read_file(rc_rel), c.after);
    }
}

TEST(RcfileWrite, RequestsAndAbortsNeverTouchIt) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"-h"}, 0}, {{"-u"}, 0}, {{"-i"}, 0}, {{"-v"}, 0}, {{"-l", "xx_YY"}, 1},
    };
    TestWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        ASSERT_TRUE(reset_rc(world, std::nullopt));
        RunResult result = world.run(c.args);
        EXPECT_TRUE(result.exited && result.status == c.status) << result.out;
        EXPECT_FALSE(world.exists(rc_rel));

        ASSERT_TRUE(reset_rc(world, rc_lines("de_DE", "/srv/tovrek", "aspell")) && age(world));
        const std::string before = fingerprint(world);
        result = world.run(c.args);
        EXPECT_TRUE(result.exited && result.status == c.status) << result.out;
        EXPECT_EQ(fingerprint(world), before);
    }
}

// A copy of the launcher outside the tree, started from a working directory
// without the install marker, finds its root through the rc file alone.
TEST(RcfileRead, ValuesFeedRootLocaleAndSpell) {
    TestWorld world;
    ASSERT_TRUE(
        world.write_file("elsewhere/tvkcombo", world.read_file("opt/tovrek/bin/tvkcombo"), 0755));
    ASSERT_TRUE(world.write_file(
        rc_rel, "LC_ALL=de_DE\n\ttovrek_root = " + world.root() + "/\ntovrek_spell aspell  -d=fr\n",
        0600));
    world.set_env("LANG", "fr_FR");
    const RunResult result =
        world.run({"-i"}, RunOptions().with_program(world.path("elsewhere/tvkcombo")));
    ASSERT_TRUE(result.exited && result.status == 0) << result.out;
    const std::string rc_phrase = " from $HOME/.tovrek/tvkcombo.rc\n";
    EXPECT_NE(result.out.find("Root Directory = " + world.root() + rc_phrase), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Locale = de_DE" + rc_phrase), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Spell Check = aspell -d fr\n"), std::string::npos) << result.out;
}

// The lock holder stands for another run reading ('r') or writing ('w') the
// file: a writer keeps the reader out, and either keeps the writer out.
TEST(RcfileLocks, AnotherRunsLockIsNeverWaitedFor) {
    struct Case {
        char mode;
        const char* locale_line;
    };
    const Case cases[] = {
        {'r', "tvkcombo:tvk_locale:4:rcfile:de_DE"},
        {'w', "tvkcombo:tvk_locale:2:getenv:fr_FR"},
    };
    TestWorld world;
    world.set_env("LANG", "fr_FR");
    const std::string stale = rc_lines("de_DE", "/srv/tovrek", "aspell");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(world.write_file(rc_rel, stale, 0600));
        const LockHolder holder(world.path(rc_rel), c.mode);
        ASSERT_TRUE(holder.locked());
        expect_launched(world, world.run({"-d"}));
        EXPECT_TRUE(logged(world, c.locale_line));
        EXPECT_EQ(writer_outcome(world), "cannot lock.");
        EXPECT_EQ(world.read_file(rc_rel), stale);
    }
}

// A directory inside the world whose absolute path has exactly length characters.
std::string home_of_length(const TestWorld& world, std::size_t length) {
    std::string rel = "homes/" + std::to_string(length);
    while (world.path(rel).size() + 201 < length)
        rel += "/" + std::string(200, 'd');
    rel += "/" + std::string(length - world.path(rel).size() - 1, 'd');
    return world.make_dir(rel) ? world.path(rel) : "";
}

TEST(RcfileHome, UnusableHomeMeansNoRcFile) {
    struct Case {
        const char* what;
        std::size_t home_length; // 0: HOME unset
        bool written;
    };
    const std::size_t fits = 1023 - std::string("/.tovrek/tvkcombo.rc").size();
    const Case cases[] = {
        {"unset", 0, false},
        {"path of 1023 characters", fits, true},
        {"path of 1024 characters", fits + 1, false},
    };
    TestWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string home = world.home();
        if (c.home_length == 0) {
            world.unset_env("HOME");
        } else {
            home = home_of_length(world, c.home_length);
            ASSERT_EQ(home.size(), c.home_length);
            world.set_env("HOME", home);
        }
        expect_launched(world, world.run());
        EXPECT_EQ(world.exists(home.substr(world.dir().size() + 1) + "/.tovrek"), c.written);
    }
}

// Every byte goes out in a write call of its own, so the bytes the log holds
// before the writer's line tell which call writes the rc file's first byte.
TEST(RcfileWrite, FailedWriteIsLoggedAndTheLaunchGoesOn) {
    TestWorld world(TestWorld::Launcher::alias_file); // dynamically linked
    world.set_env("LD_PRELOAD", TVK_TEST_FAULT_PRELOAD);
    world.set_env("TVK_FAULT_COUNT", world.path("counts"));
    expect_launched(world, world.run({"-d"}));
    const std::string log = world.read_file("home/.tovrek/tvkcombo.log");
    const std::string written = world.read_file(rc_rel);
    ASSERT_EQ(written, rc_lines("C", world.root(), "ispell"));
    const std::string counts = world.read_file("counts");
    std::map<std::string, long> calls = tvktest::call_counts(counts);
    EXPECT_EQ(calls["write"], static_cast<long>(log.size() + written.size())) << counts;
    EXPECT_EQ(calls["execve"], 1) << counts;
    EXPECT_FALSE(world.record().has_env("TVK_FAULT_COUNT"));

    const std::size_t writer_line = log.find("tvkcombo:tvk_rcfile_write:");
    ASSERT_NE(writer_line, std::string::npos) << log;
    ASSERT_TRUE(world.remove("home/.tovrek"));
    world.set_env("TVK_FAULT", "write:" + std::to_string(writer_line + 1) + ":28");
    expect_launched(world, world.run({"-d"}));
    EXPECT_EQ(writer_outcome(world), "write failure.");
    // The failing piece ends there; the pieces after it are still written.
    EXPECT_EQ(world.read_file(rc_rel), written.substr(std::string("lc_all = ").size()));
}

// Fifty runs at once, with locales among the test locales: whatever the
// interleaving, the file ends up holding the three lines of one run, its
// locale matching its spell-checker. Under LANG most runs take the locale a
// first run stored and leave the file alone; under LC_ALL nearly all write.
TEST(RcfileConcurrency, SimultaneousRunsNeverMixTheirLines) {
    const std::pair<const char*, const char*> locales[] = {
        {"fr_FR", "ispell -d french"},
        {"es_ES", "ispell -d spanish"},
        {"en_US", "ispell -d american"},
        {"en_UK", "ispell -d british"},
        {"de_DE", "ispell"},
        {"it_IT", "ispell"},
    };
    struct Round {
        const char* variable;
        std::optional<std::string> start;
    };
    TestWorld world;
    const Round rounds[] = {
        {"LANG", std::nullopt},
        {"LC_ALL", rc_lines("de_DE", "/srv/tovrek", "ispell -d german")},
    };
    std::set<std::string> possible;
    for (const auto& [locale, spell] : locales)
        possible.insert(rc_lines(locale, world.root(), spell));
    for (const Round& round : rounds) {
        SCOPED_TRACE(std::string(round.variable) + (round.start ? ", stale file" : ", no file"));
        ASSERT_TRUE(reset_rc(world, round.start));
        int gate[2] = {-1, -1};
        ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
        std::vector<pid_t> runs;
        for (std::size_t i = 0; i < 50; ++i) {
            const char* locale = locales[i % std::size(locales)].first;
            runs.push_back(world.spawn_gated({}, {{round.variable, locale}}, "/dev/null", gate));
        }
        close(gate[0]);
        close(gate[1]);
        for (const pid_t pid : runs) {
            int status = -1;
            EXPECT_TRUE(pid > 0 && waitpid(pid, &status, 0) == pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(possible.count(world.read_file(rc_rel)), 1u) << world.read_file(rc_rel);
    }
}

} // namespace
