// Where the launcher finds its install tree, and which candidate wins.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::RunOptions;
using tvktest::TestWorld;

struct Invocation {
    std::vector<std::string> args;
    RunOptions options;
};

using Prepare = std::function<void(TestWorld&, Invocation&)>;

// A second install tree, valid like the world's own.
void stamp(const TestWorld& world, const std::string& rel) {
    ASSERT_TRUE(world.write_file(rel + "/ver/tvkcombo", "0.1.1\n"));
}

void copy_launcher(const TestWorld& world, const std::string& rel) {
    ASSERT_TRUE(world.write_file(rel, world.read_file("opt/tovrek/bin/tvkcombo"), 0755));
}

// The tree moves to a path without the marker; opt/tovrek becomes a link to it.
void link_tree(const TestWorld& world) {
    std::filesystem::rename(world.root(), world.path("real"));
    ASSERT_TRUE(world.symlink(world.path("real"), "opt/tovrek"));
}

void rc_root(const TestWorld& world, const std::string& root) {
    ASSERT_TRUE(world.write_file("home/.tovrek/tvkcombo.rc", "tovrek_root = " + root + "\n"));
}

TEST(RootSearch, TriesCandidatesInOrder) {
    struct Case {
        const char* name;
        Prepare setup;
        int source; // 0: no root, abort 1
        std::function<std::string(const TestWorld&)> root;
    };
    const auto world_root = [](const TestWorld& w) { return w.root(); };
    const auto alt_root = [](const TestWorld& w) { return w.path("alt/tovrek"); };
    const auto none = [](const TestWorld&) { return std::string(); };
    const std::vector<Case> cases = {
        {"-r with one trailing slash",
         [](TestWorld& w, Invocation& run) {
             run.args = {"-r", w.root() + "/"};
         },
         1, world_root},
        {"-r loses only one of two slashes",
         [](TestWorld& w, Invocation& run) {
             run.args = {"-r", w.root() + "//"};
         },
         1, [](const TestWorld& w) { return w.root() + "/"; }},
        {"-r relative stays relative",
         [](TestWorld&, Invocation& run) {
             run.args = {"-R", "../opt/tovrek"};
         },
         1, [](const TestWorld&) { return std::string("../opt/tovrek"); }},
        {"-r invalid falls through to the program path",
         [](TestWorld& w, Invocation& run) {
             run.args = {"-r", w.work()};
         },
         7, world_root},
        {"-r beats TOVREK_ROOT",
         [](TestWorld& w, Invocation& run) {
             stamp(w, "alt/tovrek");
             w.set_env("TOVREK_ROOT", w.path("alt/tovrek"));
             run.args = {"-r", w.root()};
         },
         1, world_root},
        {"TOVREK_ROOT beats the program path",
         [](TestWorld& w, Invocation&) {
             stamp(w, "alt/tovrek");
             w.set_env("TOVREK_ROOT", w.path("alt/tovrek/"));
         },
         2, alt_root},
        {"TOVREK_ROOT relative stays relative",
         [](TestWorld& w, Invocation& run) {
             w.set_env("TOVREK_ROOT", "tovrek");
             run.options.with_cwd(w.path("opt"));
         },
         2, [](const TestWorld&) { return std::string("tovrek"); }},
        {"TOVREK_ROOT invalid is final",
         [](TestWorld& w, Invocation&) { w.set_env("TOVREK_ROOT", w.work()); }, 0, none},
        {"-r and TOVREK_ROOT invalid",
         [](TestWorld& w, Invocation& run) {
             w.set_env("TOVREK_ROOT", w.work());
             run.args = {"-r", w.home()};
         },
         0, none},
        {"TOVREK_ROOT empty counts as unset",
         [](TestWorld& w, Invocation&) { w.set_env("TOVREK_ROOT", ""); }, 7, world_root},
        {"bare name through PATH",
         [](TestWorld& w, Invocation& run) {
             w.set_env("PATH", "/usr/bin:" + w.root() + "/bin");
             run.options.with_argv0("tvkcombo");
         },
         7, world_root},
        {"link outside the tree into bin",
         [](TestWorld& w, Invocation& run) {
             ASSERT_TRUE(w.symlink(w.root() + "/bin/tvkcombo", "usr/bin/tvkcombo"));
             run.options.with_program(w.path("usr/bin/tvkcombo"));
         },
         7, world_root},
        {"program path beats the rc file",
         [](TestWorld& w, Invocation&) {
             stamp(w, "alt/tovrek");
             rc_root(w, w.path("alt/tovrek"));
         },
         7, world_root},
        {"first marker decides, then the rc file",
         [](TestWorld& w, Invocation& run) {
             copy_launcher(w, "tovrekuser/tovrek/bin/tvkcombo");
             stamp(w, "tovrekuser/tovrek");
             rc_root(w, w.root());
             run.options.with_program(w.path("tovrekuser/tovrek/bin/tvkcombo"));
         },
         3, world_root},
        {"working directory",
         [](TestWorld& w, Invocation& run) {
             copy_launcher(w, "plain/bin/tvkcombo");
             run.options.with_program(w.path("plain/bin/tvkcombo")).with_cwd(w.root() + "/lib");
         },
         4, world_root},
        {"linked tree by absolute argv[0]", [](TestWorld& w, Invocation&) { link_tree(w); }, 6,
         world_root},
        {"linked tree by relative argv[0]",
         [](TestWorld& w, Invocation& run) {
             link_tree(w);
             run.options.with_argv0("tovrek/bin/tvkcombo").with_cwd(w.path("opt"));
         },
         5, world_root},
        {"working directory with the marker is final",
         [](TestWorld& w, Invocation& run) {
             link_tree(w);
             ASSERT_TRUE(w.make_dir("srv/tovrek-old/work"));
             run.options.with_cwd(w.path("srv/tovrek-old/work"));
         },
         0, none},
        {"no marker anywhere",
         [](TestWorld& w, Invocation& run) {
             copy_launcher(w, "plain/bin/tvkcombo");
             run.options.with_program(w.path("plain/bin/tvkcombo"));
         },
         0, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        Invocation run;
        c.setup(world, run);
        run.args.insert(run.args.begin(), "-d");
        const tvktest::RunResult result = world.run(run.args, run.options);
        ASSERT_TRUE(result.exited) << result.err;
        EXPECT_EQ(result.err, "");
        if (c.source == 0) {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, tvktest::abort_report(1));
            // Root discovery comes before the log is opened.
            EXPECT_FALSE(world.exists("home/.tovrek/tvkcombo.log"));
            continue;
        }
        const std::string root = c.root(world);
        const std::vector<std::string> log = world.log_lines();
        ASSERT_GE(log.size(), 2u) << result.out;
        EXPECT_EQ(log[1], "tvkcombo:tvkcombo:root:" + std::to_string(c.source) + ":" + root);
        EXPECT_EQ(world.record().env_value("TOVREK_ROOT"), root);
    }
}

} // namespace
