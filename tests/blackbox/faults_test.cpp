// Every system call of a run made to fail, one at a time: a first run counts
// the calls of each wrapped function, then the walk fails each of them in
// turn. Whatever fails, the launcher ends cleanly (overlay, report or abort
// report, nothing on standard error) and never leaves a damaged rc file
// behind, except by a failing write of the rc file itself, which it logs.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "world.h"

namespace {

using tvktest::Environment;
using tvktest::RunResult;
using tvktest::TestWorld;

const std::string rc_rel = "home/.tovrek/tvkcombo.rc";
const std::string writer_tag = "tvkcombo:tvk_rcfile_write:";

struct Scenario {
    const char* name;
    std::vector<std::string> args;
    Environment env;
    const char* earlier_lang; // an earlier launch under this LANG leaves the rc file; or none
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

// The rc file's locale wins over LANG, so the runs that must rewrite an
// earlier run's file name their locale in LC_ALL. tovrekish is a test
// locale whose language only the alias file knows.
const Scenario scenarios[] = {
    {"LaunchWithoutRcFile", {}, {{"LANG", "fr_FR"}}, nullptr},
    {"LaunchRewritingRcFile", {}, {{"LC_ALL", "fr_FR"}}, "de_DE"},
    {"Info", {"-i"}, {}, "fr_FR"},
    {"DebugRewritingRcFile", {"-d"}, {{"LC_ALL", "fr_FR"}}, "de_DE"},
    {"AliasFile", {}, {{"LANG", "tovrekish"}}, nullptr},
};

const std::map<std::string, std::vector<int>> fault_errnos = {
    {"read", {EIO, EINTR}}, {"write", {ENOSPC}},  {"open", {EACCES}},   {"fcntl", {EAGAIN}},
    {"mkdir", {EACCES}},    {"execve", {ENOENT}}, {"execvp", {ENOENT}},
};

std::optional<std::string> rc_file(const TestWorld& world) {
    if (!world.exists(rc_rel))
        return std::nullopt;
    return world.read_file(rc_rel);
}

// "lc_all = …", "tovrek_root = <root>" and "tovrek_spell = …", each a whole line.
bool three_lines(const std::optional<std::string>& rc, const std::string& root) {
    if (!rc || !rc->ends_with('\n'))
        return false;
    std::istringstream in(*rc);
    std::string locale;
    std::string found_root;
    std::string spell;
    return std::getline(in, locale) && std::getline(in, found_root) && std::getline(in, spell) &&
           in.peek() == EOF && locale.starts_with("lc_all = ") &&
           found_root == "tovrek_root = " + root && spell.starts_with("tovrek_spell = ");
}

// The lines of a report cut before their values, which faults may change.
std::vector<std::string> labels(const std::string& report) {
    std::vector<std::string> cut;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);)
        cut.push_back(line.substr(0, line.find(" = ")));
    return cut;
}

bool is_abort_report(const std::string& out) {
    for (int code = 1; code <= 6; ++code)
        if (out == tvktest::abort_report(code))
            return true;
    return false;
}

class FaultWalk : public testing::TestWithParam<Scenario> {
  protected:
    void SetUp() override {
        world.set_env("LD_PRELOAD", TVK_TEST_FAULT_PRELOAD);
        // Hundreds of sanitized runs: the leak check at each exit would
        // double the walk's time, and the other tests keep it on.
        if (TVK_TEST_SANITIZED)
            world.set_env("ASAN_OPTIONS", "detect_leaks=0");
        ASSERT_TRUE(world.write_file("work/locale.alias", "tovrekish fr_FR.UTF-8\n"));
        if (scenario().earlier_lang != nullptr) {
            world.set_env("LANG", scenario().earlier_lang);
            ASSERT_TRUE(world.run().exited && world.record().ran);
            rc_before = rc_file(world);
            world.unset_env("LANG");
        }
        for (const auto& [name, value] : scenario().env)
            world.set_env(name, value);
    }

    const Scenario& scenario() const { return GetParam(); }
    bool debug() const { return scenario().args == std::vector<std::string>{"-d"}; }

    // Home as it was before the scenario's run: the rc file, and no log.
    void restore_home() const {
        const bool restored = world.remove("home/.tovrek") &&
                              (!rc_before || (world.make_dir("home/.tovrek", 0700) &&
                                              world.write_file(rc_rel, *rc_before, 0600)));
        ASSERT_TRUE(restored);
    }

    RunResult run() const {
        restore_home();
        return world.run(scenario().args,
                         tvktest::RunOptions().with_timeout(std::chrono::seconds(20)));
    }

    // A run without a fault: how often each function is called, what it
    // prints, and which write calls carry the rc file's bytes. Every byte is
    // a write call of its own, so with the log open the log's bytes before
    // the writer's line are the write calls before the rc file's first.
    void count_calls() {
        world.set_env("TVK_FAULT_COUNT", world.path("counts"));
        const RunResult result = run();
        world.unset_env("TVK_FAULT_COUNT");
        report = result.out;
        expect_clean_end(result, "no fault");
        EXPECT_TRUE(result.status == 0 && (world.record().ran || !report.empty())) << result.out;
        calls = tvktest::call_counts(world.read_file("counts"));
        EXPECT_GT(calls["read"], 0) << "no counts: the preload did not reach the launcher";
        const std::optional<std::string> rc = rc_file(world);
        if (rc == rc_before)
            return;
        const std::string log = world.read_file("home/.tovrek/tvkcombo.log");
        rc_first_write = (debug() ? static_cast<long>(log.find(writer_tag)) : 0) + 1;
        rc_last_write = rc_first_write + static_cast<long>(rc->size()) - 1;
        rc_lock_call = calls["fcntl"]; // the last before the overlay starts
    }

    void expect_clean_end(const RunResult& result, const std::string& fault) const {
        SCOPED_TRACE(fault);
        ASSERT_TRUE(result.exited)
            << "signal " << result.signal << (result.timed_out ? ", timed out" : "");
        EXPECT_EQ(result.err, "");
        if (world.record().ran)
            EXPECT_TRUE(result.status == 0 && result.out.empty()) << result.out;
        else if (result.status == 0)
            EXPECT_TRUE(!report.empty() && labels(result.out) == labels(report)) << result.out;
        else
            EXPECT_TRUE(result.status == 1 && is_abort_report(result.out)) << result.out;
    }

    void expect_rc_whole(const std::string& function, long nth, const std::string& fault) const {
        SCOPED_TRACE(fault);
        const bool rc_write = function == "write" && nth >= rc_first_write && nth <= rc_last_write;
        if (rc_write && debug()) {
            const std::vector<std::string> lines = world.log_lines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), writer_tag + "write failure."),
                      lines.end());
        }
        const std::optional<std::string> rc = rc_file(world);
        // A refused lock leaves the file the writer has just created empty,
        // which the reader takes for no file at all.
        const bool refused_new =
            !rc_before && function == "fcntl" && nth == rc_lock_call && rc == "";
        EXPECT_TRUE(rc == rc_before || three_lines(rc, world.root()) || rc_write || refused_new)
            << rc.value_or("(none)");
    }

    // Fails every call of function in turn; returns how many runs that took.
    long walk(const std::string& function) {
        long faults = 0;
        for (const int error : fault_errnos.at(function)) {
            for (long nth = 1; nth <= calls[function]; ++nth, ++faults) {
                const std::string fault =
                    function + ":" + std::to_string(nth) + ":" + std::to_string(error);
                world.set_env("TVK_FAULT", fault);
                expect_clean_end(run(), fault);
                expect_rc_whole(function, nth, fault);
            }
        }
        world.unset_env("TVK_FAULT");
        return faults;
    }

    TestWorld world{TestWorld::Launcher::alias_file};
    std::optional<std::string> rc_before;
    std::map<std::string, long> calls;
    std::string report;
    long rc_first_write = 0; // none when the run leaves the rc file alone
    long rc_last_write = -1;
    long rc_lock_call = 0;
};

TEST_P(FaultWalk, EveryFailingCallEndsCleanlyAndKeepsTheRcFileWhole) {
    const auto start = std::chrono::steady_clock::now();
    count_calls();
    ASSERT_FALSE(HasFailure());
    long total = 0;
    std::string summary;
    for (const auto& entry : fault_errnos) {
        const long faults = walk(entry.first);
        total += faults;
        summary += " " + entry.first + " " + std::to_string(faults);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    RecordProperty("faults_injected", static_cast<int>(total));
    std::cout << "[ faults   ] " << scenario().name << ": " << total << " faults injected ("
              << summary.substr(1) << ") in " << took.count() << " s\n";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultWalk, testing::ValuesIn(scenarios),
                         [](const testing::TestParamInfo<Scenario>& tested) {
                             return std::string(tested.param.name);
                         });

} // namespace
