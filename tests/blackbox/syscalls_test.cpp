// Counts the system calls a launch makes on its way to the overlay, so that
// a change which adds calls to every start fails here instead of going
// unnoticed. A count, unlike a time, does not depend on the machine's load.
#include <unistd.h>

#include <fstream>
#include <iostream>

#include <gtest/gtest.h>

#include "syscall_count.h"
#include "world.h"

namespace {

using tvktest::TestWorld;

// Today's counts: every call from the launcher's start up to and including
// the execve of the overlay (for -i, up to the exit), in a test world with
// LANG=fr_FR.UTF-8 from the test locales and the rc file already written.
// They depend on the C library and on how the launcher is linked. To refresh
// them after a change meant to alter them, run
//   tvk_blackbox_tests --gtest_filter='Syscalls.*'
// in a plain build and in one configured with -DTVK_STATIC=ON, and copy the
// counts that each prints.
struct Launch {
    const char* name;
    std::vector<std::string> args;
    bool reaches_overlay;
    long static_calls;
    long dynamic_calls;
};

const Launch launches[] = {
    {"normal", {"-p", "algebra"}, true, 201, 248},
    {"-d", {"-d", "-p", "algebra"}, true, 610, 657},
    {"-i", {"-i"}, false, 203, 250},
};

constexpr long margin_percent = 10;

long expected_calls(const Launch& launch) {
    return TVK_TEST_STATIC_LAUNCHER ? launch.static_calls : launch.dynamic_calls;
}

// Runs the launcher under strace and counts its calls; -1 without a trace.
long traced_calls(const TestWorld& world, const Launch& launch) {
    const std::string trace = world.path("trace");
    std::vector<std::string> args = {"-f", "-qq", "-e", "signal=none",
                                     "-o", trace, "--", world.root() + "/bin/tvkcombo"};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    const tvktest::RunResult result =
        world.run(args, tvktest::RunOptions().with_program(TVK_TEST_STRACE));
    EXPECT_TRUE(result.exited && result.status == 0) << result.out << result.err;
    EXPECT_EQ(world.record().ran, launch.reaches_overlay);
    std::ifstream in(trace);
    return in ? tvktest::syscalls_until_overlay(in) : -1;
}

TEST(Syscalls, LaunchesMakeNoMoreCallsThanToday) {
    if (TVK_TEST_SANITIZED)
        GTEST_SKIP() << "the sanitizer runtimes make system calls of their own";
    ASSERT_EQ(access(TVK_TEST_STRACE, X_OK), 0)
        << "strace is missing (\"" << TVK_TEST_STRACE
        << "\"): install the Debian package 'strace' and configure again";
    for (const Launch& launch : launches) {
        SCOPED_TRACE(launch.name);
        TestWorld world;
        world.set_env("LANG", "fr_FR.UTF-8");
        ASSERT_TRUE(world.run({"-p", "algebra"}).exited);
        ASSERT_TRUE(world.exists("home/.tovrek/tvkcombo.rc")); // so the counted run reads it
        const long calls = traced_calls(world, launch);
        const long expected = expected_calls(launch);
        std::cout << "[ counts   ] " << launch.name << ": " << calls << " calls (figure "
                  << expected << ", " << (TVK_TEST_STATIC_LAUNCHER ? "static" : "dynamic")
                  << " launcher)\n";
        EXPECT_GT(calls, 0);
        EXPECT_LE(calls, expected + expected * margin_percent / 100)
            << "the " << launch.name << " launch makes more system calls than it did";
    }
}

} // namespace
