// The black-box harness itself: worlds, runs, the overlay's record, lock
// holders and catalogs must be right before any launcher test can be trusted.
#include <fcntl.h>
#include <nl_types.h>

#include <csignal>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::LockHolder;
using tvktest::TestWorld;

TEST(Harness, DefaultRunBecomesTheOverlay) {
    TestWorld world;
    const tvktest::RunResult result = world.run();
    ASSERT_TRUE(result.exited) << result.out << result.err;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");

    const tvktest::OverlayRecord record = world.record();
    ASSERT_TRUE(record.ran);
    EXPECT_EQ(record.pid, result.pid);
    EXPECT_EQ(record.argv, std::vector<std::string>{"playback"});
    EXPECT_EQ(record.env_value("TOVREK_ACTION"), "playback");
    EXPECT_EQ(record.env_value("LD_LIBRARY_PATH"), world.root() + "/lib");
    EXPECT_FALSE(record.has_env("TOVREK_DEBUG"));
}

TEST(Harness, DebugLogIsHandedToTheOverlayLocked) {
    TestWorld world;
    const tvktest::RunResult result = world.run({"-d"});
    ASSERT_TRUE(result.exited) << result.out << result.err;

    const tvktest::OverlayRecord record = world.record();
    ASSERT_TRUE(record.ran);
    const std::optional<std::string> fd = record.env_value("TOVREK_DEBUG");
    ASSERT_TRUE(fd.has_value());
    const auto descriptor = record.descriptors.find(std::stoi(*fd));
    ASSERT_NE(descriptor, record.descriptors.end());
    EXPECT_EQ(descriptor->second.target, world.log_path());
    ASSERT_TRUE(descriptor->second.probed);
    EXPECT_EQ(descriptor->second.lock_type, F_WRLCK);
    EXPECT_EQ(descriptor->second.lock_pid, record.pid);
}

TEST(Harness, LockHoldersConflictLikeRecordLocks) {
    struct Case {
        char first;
        char second;
        bool second_locked;
    };
    const Case cases[] = {
        {'r', 'r', true}, {'r', 'w', false}, {'w', 'r', false}, {'w', 'w', false}};
    TestWorld world;
    ASSERT_TRUE(world.write_file("locked", "content\n"));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " then " << c.second);
        const LockHolder first(world.path("locked"), c.first);
        ASSERT_TRUE(first.locked());
        const LockHolder second(world.path("locked"), c.second);
        EXPECT_EQ(second.locked(), c.second_locked);
    }
    EXPECT_EQ(world.read_file("locked"), "content\n");
}

TEST(Harness, RunKillsAChildThatOutlivesItsTimeout) {
    TestWorld world;
    const tvktest::RunResult result = world.run(
        {"10"},
        tvktest::RunOptions().with_program("/bin/sleep").with_timeout(std::chrono::seconds(1)));
    EXPECT_TRUE(result.timed_out);
    EXPECT_FALSE(result.exited);
    EXPECT_EQ(result.signal, SIGKILL);
}

TEST(Harness, CatalogKeepsEveryByteOfItsMessages) {
    struct Case {
        const char* locale;
        std::string text;
    };
    const Case cases[] = {
        {"fr_FR", "  caf\xe9 \\ %s\n"},
        {"fr_FR.UTF-8", "caf\xc3\xa9\nsecond line\n"},
        {"de_DE@euro", "\xa4\n"},
    };
    TestWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const std::string catalog = world.path("opt/tovrek/nls/test.cat");
        ASSERT_TRUE(tvktest::make_catalog(catalog, {{1, c.text}, {13, "last\n"}}, c.locale));
        nl_catd descriptor = catopen(catalog.c_str(), NL_CAT_LOCALE);
        ASSERT_NE(descriptor, reinterpret_cast<nl_catd>(-1));
        EXPECT_EQ(std::string(catgets(descriptor, 1, 1, "missing")), c.text);
        EXPECT_EQ(std::string(catgets(descriptor, 1, 2, "missing")), "missing");
        EXPECT_EQ(std::string(catgets(descriptor, 1, 13, "missing")), "last\n");
        catclose(descriptor);
    }
}

} // namespace
