// Many runs at once over one home, half of them with the debug log, in many
// locales: every run still becomes the overlay with a consistent
// environment, nothing hangs, and the rc file and the log each end up
// holding whole lines of a single run, whether a running overlay holds the
// log or the runs race for it.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::OverlayRecord;
using tvktest::TestWorld;
using Clock = std::chrono::steady_clock;

struct LocaleFacts {
    const char* locale;
    const char* language;
    const char* codeset;
    const char* spell;
};

// All test locales; the English dictionary rule wants exactly "en_US".
constexpr LocaleFacts locales[] = {
    {"fr_FR", "fre", "ISO-8859-1", "ispell -d french"},
    {"fr_FR.UTF-8", "fre", "UTF-8", "ispell -d french"},
    {"de_DE", "ger", "ISO-8859-1", "ispell"},
    {"de_DE.UTF-8", "ger", "UTF-8", "ispell"},
    {"es_ES", "spa", "ISO-8859-1", "ispell -d spanish"},
    {"es_ES.UTF-8", "spa", "UTF-8", "ispell -d spanish"},
    {"en_US", "eng", "ISO-8859-1", "ispell -d american"},
    {"en_US.UTF-8", "eng", "UTF-8", "ispell"},
    {"it_IT", "ita", "ISO-8859-1", "ispell"},
    {"it_IT.UTF-8", "ita", "UTF-8", "ispell"},
    {"pt_PT", "por", "ISO-8859-1", "ispell"},
    {"pt_PT.UTF-8", "por", "UTF-8", "ispell"},
};

constexpr std::size_t run_count = 120;
constexpr std::chrono::seconds deadline{120};

const LocaleFacts* facts_of(const std::string& locale) {
    for (const LocaleFacts& facts : locales)
        if (locale == facts.locale)
            return &facts;
    return nullptr;
}

struct GatedRun {
    pid_t pid = -1;
    bool debug = false;
    std::string lang;
    int status = -1;
    bool done = false;
};

// Odd runs log; the locale changes every second run, so both kinds meet
// every locale.
std::vector<GatedRun> start_together(const TestWorld& world) {
    int gate[2] = {-1, -1};
    if (pipe2(gate, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    std::vector<GatedRun> runs(run_count);
    for (std::size_t i = 0; i < run_count; ++i) {
        GatedRun& run = runs[i];
        run.debug = i % 2 == 1;
        run.lang = locales[i / 2 % std::size(locales)].locale;
        const std::string name = world.path("runs/" + std::to_string(i));
        run.pid = world.spawn_gated(
            run.debug ? std::vector<std::string>{"-d"} : std::vector<std::string>{},
            {{"LANG", run.lang}, {"TVK_TEST_RECORD", name + ".record"}}, name + ".out", gate);
    }
    close(gate[0]);
    close(gate[1]);
    return runs;
}

// Reaps every run; those still going at the deadline are killed. False then.
bool wait_all(std::vector<GatedRun>& runs) {
    const Clock::time_point end = Clock::now() + deadline;
    auto left =
        std::count_if(runs.begin(), runs.end(), [](const GatedRun& run) { return run.pid > 0; });
    while (left > 0 && Clock::now() < end) {
        for (GatedRun& run : runs) {
            if (!run.done && run.pid > 0 && waitpid(run.pid, &run.status, WNOHANG) == run.pid) {
                run.done = true;
                --left;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (GatedRun& run : runs) {
        if (!run.done && run.pid > 0) {
            kill(run.pid, SIGKILL);
            waitpid(run.pid, &run.status, 0);
        }
    }
    return left == 0;
}

// The run's environment agrees with itself and with a locale some run was
// given: its own LANG, or the one an earlier run left in the rc file.
void expect_consistent_overlay(const TestWorld& world, const GatedRun& run, std::size_t index) {
    const std::string name = "runs/" + std::to_string(index);
    SCOPED_TRACE(name + (run.debug ? " -d, LANG=" : ", LANG=") + run.lang);
    EXPECT_TRUE(run.done && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
    EXPECT_EQ(world.read_file(name + ".out"), "");
    const OverlayRecord seen = tvktest::overlay_record(world.path(name + ".record"));
    ASSERT_TRUE(seen.ran);
    EXPECT_EQ(seen.argv, std::vector<std::string>{"playback"});
    EXPECT_EQ(seen.env_value("TOVREK_ROOT"), world.root());
    const LocaleFacts* facts = facts_of(seen.env_value("TOVREK_LOCALE").value_or(""));
    ASSERT_NE(facts, nullptr) << seen.env_value("TOVREK_LOCALE").value_or("(unset)");
    EXPECT_EQ(seen.env_value("TOVREK_LANG"), facts->language);
    EXPECT_EQ(seen.env_value("TOVREK_CODESET"), facts->codeset);
    EXPECT_EQ(seen.env_value("TOVREK_SPELL"), facts->spell);
}

// A run that got the log hands it to its overlay write-locked.
bool had_the_log(const TestWorld& world, std::size_t index) {
    const OverlayRecord seen =
        tvktest::overlay_record(world.path("runs/" + std::to_string(index) + ".record"));
    const std::optional<std::string> fd = seen.env_value("TOVREK_DEBUG");
    if (!fd)
        return false;
    const auto descriptor = seen.descriptors.find(std::stoi(*fd));
    EXPECT_TRUE(descriptor != seen.descriptors.end() &&
                descriptor->second.target == world.log_path() &&
                descriptor->second.lock_type == F_WRLCK && descriptor->second.lock_pid == seen.pid);
    return true;
}

void expect_rc_of_one_run(const TestWorld& world) {
    const std::string rc = world.read_file("home/.tovrek/tvkcombo.rc");
    const std::string key = "lc_all = ";
    const std::size_t end = rc.find('\n');
    ASSERT_TRUE(rc.starts_with(key) && end != std::string::npos) << rc;
    const LocaleFacts* facts = facts_of(rc.substr(key.size(), end - key.size()));
    ASSERT_NE(facts, nullptr) << rc;
    EXPECT_EQ(rc, tvktest::rc_lines(facts->locale, world.root(), facts->spell));
}

bool one_of(const std::string& line, std::initializer_list<std::string> choices) {
    return std::find(choices.begin(), choices.end(), line) != choices.end();
}

// The whole log of one run: a line of another run, or two runs' bytes in one
// line, breaks the sequence.
void expect_log_of_one_run(const TestWorld& world) {
    const std::vector<std::string> lines = world.log_lines();
    ASSERT_EQ(lines.size(), 10u) << world.read_file("home/.tovrek/tvkcombo.log");
    const std::string locale = lines[2].substr(lines[2].rfind(':') + 1);
    const LocaleFacts* facts = facts_of(locale);
    ASSERT_NE(facts, nullptr) << lines[2];
    const std::string p = "tvkcombo:";
    const std::string spell = facts->spell;
    const bool expected[] = {
        lines[0] == p + "tvk_debug:debugging turned on!",
        lines[1] == p + "tvkcombo:root:7:" + world.root(),
        one_of(lines[2],
               {p + "tvk_locale:2:getenv:" + locale, p + "tvk_locale:4:rcfile:" + locale}),
        lines[3] == p + "tvk_language:1:locale:" + facts->language,
        lines[4] == p + "tvkcombo:codeset:" + facts->codeset,
        lines[5] == p + "tvk_spell:set name ispell" ||
            lines[5].starts_with(p + "tvk_spell:found name ispell"),
        lines[6].starts_with(p + "tvk_spell:") && lines[6].ends_with(":" + spell),
        one_of(lines[7], {p + "tvk_rcfile_write:wrote new.", p + "tvk_rcfile_write:not changed.",
                          p + "tvk_rcfile_write:cannot lock."}),
        lines[8] == p + "tvk_execve:default playback request.",
        lines[9] == p + "tvk_execve:loader one.",
    };
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(expected[i]) << lines[i];
}

TEST(Stress, SimultaneousRunsOverOneHomeStayConsistent) {
    TestWorld world;
    const std::string held_log = "the running overlay's own lines\n";
    for (const bool log_held : {true, false}) {
        SCOPED_TRACE(log_held ? "log held by a running overlay" : "runs racing for the log");
        ASSERT_TRUE(world.remove("home/.tovrek") && world.make_dir("home/.tovrek", 0700) &&
                    world.remove("runs") && world.make_dir("runs"));
        std::optional<tvktest::LockHolder> holder;
        if (log_held) {
            ASSERT_TRUE(world.write_file("home/.tovrek/tvkcombo.log", held_log, 0600));
            holder.emplace(world.log_path(), 'w');
            ASSERT_TRUE(holder->locked());
        }
        const auto start = Clock::now();
        std::vector<GatedRun> runs = start_together(world);
        EXPECT_TRUE(wait_all(runs)) << "runs still going after " << deadline.count() << " s";
        const std::chrono::duration<double> took = Clock::now() - start;

        std::size_t log_owners = 0;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            expect_consistent_overlay(world, runs[i], i);
            const bool owner = had_the_log(world, i);
            EXPECT_TRUE(!owner || (runs[i].debug && !log_held)) << "runs/" << i;
            log_owners += owner ? 1 : 0;
        }
        std::cout << "[ stress   ] " << runs.size() << " runs at once, "
                  << (log_held ? "log held" : "log free") << ": " << took.count() << " s, "
                  << log_owners << " got the log\n";
        expect_rc_of_one_run(world);
        if (log_held) {
            EXPECT_EQ(world.read_file("home/.tovrek/tvkcombo.log"), held_log);
        } else {
            EXPECT_GT(log_owners, 0u);
            expect_log_of_one_run(world);
        }
    }
}

} // namespace
