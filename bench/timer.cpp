// Times whole processes from spawn to exit, in interleaved rounds, with
// their page faults; counts their system calls under strace and, where
// valgrind is installed, their instructions under callgrind. Prints one
// Markdown table.
//
//   tvk_bench_timer [--warmup N] [--rounds N] CASEFILE
//
// CASEFILE holds cases, each a block of "key value" lines:
//   case LABEL       starts a case
//   build NAME       the build it runs
//   group NAME       cases are compared with the floor of their group
//   floor            this case is its group's floor
//   expect N         the exit status every run must end with
//   arg TEXT         the argument vector in order; the first is the program
//   env NAME=VALUE   the whole environment
// Every case runs in the timer's working directory with standard input and
// output on /dev/null.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "syscall_count.h"

namespace {

struct Case {
    std::string label;
    std::string build = "-";
    std::string group;
    bool floor = false;
    int expect = 0;
    std::vector<std::string> argv;
    std::vector<std::string> env;
    std::vector<char*> argv_array; // execve's form of argv and env, made once
    std::vector<char*> env_array;
    std::vector<double> micros;
    std::vector<double> faults; // minor page faults of the process tree
    long calls = -1;            // up to and including the execve of the overlay
    long instructions = -1;     // up to the execve of the overlay; -1 without valgrind
};

struct Settings {
    int warmup = 30;
    int rounds = 2000;
    std::string strace = "/usr/bin/strace";
    std::string valgrind = "/usr/bin/valgrind";
    std::string case_file;
};

[[noreturn]] void fail(const std::string& message) {
    std::cerr << "tvk_bench_timer: " << message << "\n";
    std::exit(2);
}

// A list of texts in the form execve takes: pointers, then NULL. The texts
// must stay where they are while it is in use.
std::vector<char*> exec_array(std::vector<std::string>& texts) {
    std::vector<char*> array(texts.size() + 1, nullptr);
    std::transform(texts.begin(), texts.end(), array.begin(),
                   [](std::string& text) { return text.data(); });
    return array;
}

std::vector<Case> read_cases(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        fail("cannot read " + path);
    std::vector<Case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (key == "case") {
            cases.emplace_back();
            cases.back().label = value;
            continue;
        }
        if (cases.empty())
            fail("\"" + line + "\" before the first case");
        Case& c = cases.back();
        if (key == "build")
            c.build = value;
        else if (key == "group")
            c.group = value;
        else if (key == "floor")
            c.floor = true;
        else if (key == "expect")
            c.expect = std::stoi(value);
        else if (key == "arg")
            c.argv.push_back(value);
        else if (key == "env")
            c.env.push_back(value);
        else
            fail("unknown key in \"" + line + "\"");
    }
    // Only now that no case moves any more.
    for (Case& c : cases) {
        if (c.argv.empty())
            fail("case \"" + c.label + "\" has no arg");
        c.argv_array = exec_array(c.argv);
        c.env_array = exec_array(c.env);
    }
    return cases;
}

double now_micros() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

struct Outcome {
    int status = -1; // the exit status, or 128 + the signal
    long faults = 0; // minor page faults
};

// Spawns argv with envp, standard input and output on /dev/null, and waits.
Outcome run(char* const* argv, char* const* envp) {
    static const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, null_fd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, null_fd, STDOUT_FILENO);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        fail(std::string(argv[0]) + ": " + std::strerror(error));
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_minflt};
}

void timed_run(Case& c, bool keep) {
    const double start = now_micros();
    const Outcome outcome = run(c.argv_array.data(), c.env_array.data());
    const double end = now_micros();
    if (outcome.status != c.expect)
        fail("case \"" + c.label + "\" (" + c.build + ") ended with status " +
             std::to_string(outcome.status) + ", not " + std::to_string(c.expect));
    if (!keep)
        return;
    c.micros.push_back(end - start);
    c.faults.push_back(static_cast<double>(outcome.faults));
}

// Each round runs every case once, starting one case further on than the
// round before, so no case always follows the same one.
void time_rounds(std::vector<Case>& cases, int rounds, bool keep) {
    const std::size_t n = cases.size();
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < n; ++i)
            timed_run(cases[(static_cast<std::size_t>(round) + i) % n], keep);
}

std::string temp_file() {
    char name[] = "/tmp/tvk_bench_trace.XXXXXX";
    const int fd = mkstemp(name);
    if (fd == -1)
        fail("mkstemp failed");
    close(fd);
    return name;
}

// Runs the case under a tool, whose own command line is argv.
void run_under(const Case& c, const char* tool, std::vector<std::string> argv) {
    argv.emplace_back("--");
    argv.insert(argv.end(), c.argv.begin(), c.argv.end());
    const int status = run(exec_array(argv).data(), c.env_array.data()).status;
    if (status != c.expect)
        fail("case \"" + c.label + "\" under " + tool + " ended with status " +
             std::to_string(status));
}

long count_calls(const Settings& settings, const Case& c) {
    const std::string output = temp_file();
    run_under(c, "strace", {settings.strace, "-f", "-qq", "-e", "signal=none", "-o", output});
    std::ifstream trace(output);
    const long calls = tvktest::syscalls_until_overlay(trace);
    unlink(output.c_str());
    return calls;
}

// callgrind writes its counts before each execve call, failed or not, into
// output.1, output.2 and so on, and at an exit into output; the overlay
// itself runs outside it.
long count_instructions(const Settings& settings, const Case& c) {
    if (access(settings.valgrind.c_str(), X_OK) != 0)
        return -1;
    const std::string output = temp_file();
    run_under(c, "callgrind",
              {settings.valgrind, "-q", "--tool=callgrind", "--dump-before=execve",
               "--callgrind-out-file=" + output});
    long total = 0;
    for (int part = 0;; ++part) {
        const std::string name = part == 0 ? output : output + "." + std::to_string(part);
        std::ifstream in(name);
        if (!in && part > 0)
            break;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("totals: "))
                total += std::stol(line.substr(8));
        }
        unlink(name.c_str());
    }
    return total;
}

double percentile(const std::vector<double>& sorted, double p) {
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[index];
}

std::string load_average() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const Case* floor_of(const std::vector<Case>& cases, const Case& c) {
    for (const Case& other : cases)
        if (other.floor && other.group == c.group)
            return &other;
    return nullptr;
}

void print_table(std::vector<Case>& cases) {
    for (Case& c : cases) {
        std::sort(c.micros.begin(), c.micros.end());
        std::sort(c.faults.begin(), c.faults.end());
    }
    std::cout << "| case | build | median µs | p10 µs | p90 µs | × floor | × floor at p10 | "
                 "page faults | calls to exec | k instructions to exec |\n";
    std::cout << "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Case& c : cases) {
        const Case* floor = floor_of(cases, c);
        const auto ratio = [&](double p) {
            return floor ? fixed(percentile(c.micros, p) / percentile(floor->micros, p), 3)
                         : std::string("-");
        };
        std::cout << "| " << c.label << " | " << c.build << " | "
                  << fixed(percentile(c.micros, 0.5), 0) << " | "
                  << fixed(percentile(c.micros, 0.1), 0) << " | "
                  << fixed(percentile(c.micros, 0.9), 0) << " | " << ratio(0.5) << " | "
                  << ratio(0.1) << " | " << fixed(percentile(c.faults, 0.5), 0) << " | " << c.calls
                  << " | "
                  << (c.instructions < 0 ? "-"
                                         : fixed(static_cast<double>(c.instructions) / 1e3, 1))
                  << " |\n";
    }
}

int number_after(int& i, int argc, char** argv) {
    if (++i >= argc)
        fail(std::string(argv[i - 1]) + " needs a value");
    return std::stoi(argv[i]);
}

Settings parse(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--warmup")
            settings.warmup = number_after(i, argc, argv);
        else if (option == "--rounds")
            settings.rounds = number_after(i, argc, argv);
        else
            settings.case_file = option;
    }
    if (settings.case_file.empty() || settings.rounds < 1 || settings.warmup < 0)
        fail("usage: tvk_bench_timer [--warmup N] [--rounds N] CASEFILE");
    return settings;
}

} // namespace

int main(int argc, char** argv) {
    const Settings settings = parse(argc, argv);
    std::vector<Case> cases = read_cases(settings.case_file);
    for (Case& c : cases) {
        c.calls = count_calls(settings, c);
        c.instructions = count_instructions(settings, c);
    }
    const std::string load_before = load_average();
    time_rounds(cases, settings.warmup, false);
    time_rounds(cases, settings.rounds, true);
    std::cout << settings.rounds << " rounds of " << cases.size() << " cases after "
              << settings.warmup << " warm-up rounds; load average " << load_before << " before, "
              << load_average() << " after.\n\n";
    print_table(cases);
}
