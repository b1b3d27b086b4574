// Runs the built launcher in private worlds (install tree, home, working directory, recording
// overlay): each row of cases.txt is one run, set up and checked as its head explains.
#include <elf.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <regex>

#include "report/abort.h"
#include "report/report.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spill(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A word of a row with \n, \xHH, {c*N} (c N times) and the names of cases.txt's head replaced.
std::string expand(const std::string& word, const std::string& world) {
    const std::map<std::string, std::string> names = {
        {"{W}", world},      {"{R}", world + "/opt/tovrek"}, {"{H}", world + "/home/.tovrek"},
        {"{B}", tvk_banner}, {"{V}", TVK_TEST_STAMP},        {"{F}", TVK_TEST_VERSION}};
    std::string out;
    for (size_t i = 0, end; i < word.size(); ++i) {
        const auto name = names.find(word.substr(i, 3));
        if (name != names.end())
            out += name->second, i += 2;
        else if (word.compare(i, 2, "\\x") == 0)
            out += static_cast<char>(std::stoi(word.substr(i + 2, 2), nullptr, 16)), i += 3;
        else if (word[i] == '\\')
            out += word[i + 1] == 'n' ? '\n' : word[i + 1], ++i;
        else if (word[i] == '{' && (end = word.find('}', i)) != std::string::npos &&
                 word[i + 2] == '*')
            out.append(std::stoul(word.substr(i + 3, end - i - 3)), word[i + 1]), i = end;
        else
            out += word[i];
    }
    return out;
}

struct Case {
    std::string name;
    Strings setup, args, checks;
    friend void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }
};

bool has(const Strings& words, const std::string& head) {
    return std::any_of(words.begin(), words.end(),
                       [&](auto& word) { return word.starts_with(head); });
}

// A row is "name | setup | arguments | checks", its words "quoted" at need; a line that
// begins with "+" goes on with the row before it; a row of another shape fails at the start.
std::vector<Case> load_cases() {
    std::vector<Case> cases;
    std::string text, line;
    for (std::ifstream file(TVK_TEST_CASES); std::getline(file, line);)
        text += line.starts_with('+') ? line.substr(1) : "\n" + line;
    for (std::istringstream rows(text); std::getline(rows, line);) {
        std::istringstream row(line);
        std::vector<Strings> columns;
        for (std::string column, word; std::getline(row, column, '|');)
            for (std::istringstream words((columns.emplace_back(), column));
                 words >> std::quoted(word, '"', '\x01');)
                columns.back().push_back(word);
        if (!line.empty() && line[0] != '#')
            cases.push_back({columns.at(0).at(0), columns.at(1), columns.at(2), columns.at(3)});
    }
    return cases;
}

// A run, and the recording overlay's items when it ran: exe, pid, arg,
// env:NAME, and fd ("n access-mode lock target").
struct Outcome {
    pid_t pid = -1;
    int status = -1;
    std::string out, err;
    bool ran = false;
    std::multimap<std::string, std::string> seen;

    Strings all(const std::string& key) const {
        Strings values;
        for (auto [at, end] = seen.equal_range(key); at != end; ++at)
            values.push_back(at->second);
        return values;
    }
};

struct World {
    std::string dir, cwd, argv0, exe, out, rc_before;
    Strings env;
    std::string closed; // the standard descriptors the run starts without
    rlim_t stack = 0;   // the run's stack limit, when set
    std::string walk;   // the fault of a walk: an errno name, or KILL
    uid_t user = 0;     // who runs the launcher

    World() {
        char pattern[] = "/tmp/tvk-XXXXXX";
        dir = mkdtemp(pattern);
        for (const char* sub : {"home", "work", "opt/tovrek/lib", "opt/tovrek/nls"})
            fs::create_directories(path(sub));
        spill(path("opt/tovrek/ver/tvkcombo"), TVK_TEST_STAMP "\n");
        place(TVK_TEST_LAUNCHER, path("opt/tovrek/bin/tvkcombo"));
        place(TVK_TEST_OVERLAY, path("opt/tovrek/bin/tvkcombo.ovl"));
        cwd = path("work"), out = path("out"), exe = argv0 = path("opt/tovrek/bin/tvkcombo");
        env = {"HOME=" + path("home"), "PATH=/nonexistent", "LOCPATH=" TVK_TEST_LOCPATH,
               "TVK_RECORD=" + path("record"), "ASAN_OPTIONS=verify_asan_link_order=0"};
    }
    ~World() { fs::remove_all(dir); }
    std::string path(const std::string& rel) const { return rel[0] == '/' ? rel : dir + "/" + rel; }
    std::string home(const std::string& f) const { return path("home/.tovrek/tvkcombo." + f); }

    // A file of its own, not a link: the launcher finds its tree from its path.
    static void place(const std::string& from, const std::string& to) {
        fs::create_directories(fs::path(to).parent_path());
        if (link(from.c_str(), to.c_str()) != 0)
            fs::copy_file(from, to);
    }
    void set(const std::string& entry, bool replace = true) {
        const std::string name = entry.substr(0, entry.find('=')) + "=";
        if (replace)
            std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
        if (entry.find('=') != std::string::npos)
            env.push_back(entry);
    }

    // One setup word of a row.
    void apply(const std::string& word) {
        const size_t eq = word.find('='), colon = word.find(':');
        const std::string file = colon < eq ? path(word.substr(colon + 1, eq - colon - 1)) : "";
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        const std::string nls = path("opt/tovrek/nls");
        // Byte 0 (w) or bytes 1 on (r), held till the end: a lock of the whole file meets both.
        struct flock lock {};
        lock.l_type = value == "w" ? F_WRLCK : F_RDLCK, lock.l_start = value != "w",
        lock.l_len = value == "w";
        const int mode = value == "w" ? O_WRONLY | O_CREAT : O_RDONLY; // of the file to lock
        const std::map<std::string, std::function<void()>> verbs = {
            {"cwd", [&] { cwd = path(value); }},
            {"exe", [&] { exe = argv0 = path(value); }},
            {"stdout", [&] { out = path(value); }},
            {"argv0", [&] { argv0 = value; }},
            {"uid",
             [&] { user = uid_t(std::stoul(value)), fs::permissions(dir, fs::perms(01777)); }},
            {"closed", [&] { closed = value.empty() ? "012" : value; }},
            {"undiagnosed", [] {}}, // its reason is the word's value
            {"preload", [&] { set("LD_PRELOAD=" TVK_TEST_FAULTS); }},
            {"walk",
             [&] {
                 apply("preload"), set("TVK_FAULT_MARK=" + path("mark")), spill(path("mark"), "");
                 rc_before = slurp(home("rc")), walk = value.empty() ? "EIO" : value;
             }},
            {"catalogs",
             [&] { fs::remove(nls), fs::create_directory_symlink(TVK_TEST_CATALOGS, nls); }},
            {"rc", [&] { spill(home("rc"), value); }},
            {"f", [&] { spill(file, value); }},
            {"x", [&] { place(TVK_TEST_OVERLAY, file); }},
            {"elf", // the overlay made a program for the machine's other mode (32 or 64 bits)
             [&] {
                 std::string image = slurp(TVK_TEST_OVERLAY);
                 image[EI_CLASS] = char(ELFCLASS32 + ELFCLASS64 - image[EI_CLASS]);
                 spill(file, image), fs::permissions(file, fs::perms::owner_all);
             }},
            {"stack", [&] { stack = std::stoul(value); }},
            {"d", [&] { fs::create_directories(file); }},
            {"l", [&] { fs::create_symlink(path(value), file); }},
            {"m", [&] { fs::permissions(file, fs::perms(std::stoul(value, nullptr, 8))); }},
            {"o", [&] { EXPECT_EQ(lchown(file.c_str(), uid_t(std::stoul(value)), 0), 0); }},
            {"rm", [&] { fs::remove_all(file); }},
            {"mv", [&] { fs::rename(file, path(value)); }},
            {"p", [&] { EXPECT_EQ(mkfifo(file.c_str(), 0644), 0); }},
            {"c", [&] { EXPECT_EQ(mknod(file.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0); }},
            {"lock", [&] { EXPECT_EQ(fcntl(open(file.c_str(), mode, 0600), F_SETLK, &lock), 0); }},
            // Compiled in an ISO-8859-1 locale, where any byte is a character.
            {"cat", [&] {
                 const std::string gencat =
                     "LOCPATH=" TVK_TEST_LOCPATH " LC_ALL=fr_FR gencat --new " + file + " -";
                 EXPECT_EQ(system(("printf '$set 1\\n%s\\n' '" + value + "' | " + gencat).c_str()),
                           0);
             }}};
        if (!file.empty())
            fs::create_directories(fs::path(file).parent_path());
        const auto verb = verbs.find(word.substr(0, std::min(eq, colon)));
        if (std::isupper(static_cast<unsigned char>(word[0])))
            set(word);
        else if (word[0] == '+' || word[0] == '-')
            set(word.substr(1), word[0] == '-');
        else if (verb != verbs.end())
            verb->second();
        else
            ADD_FAILURE() << "unknown setup word " << word;
    }

    // Runs the launcher to its end.
    Outcome run(const Strings& args) const {
        Strings argv{argv0}, envp = env;
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> av(argv.size() + 1), ev(envp.size() + 1); // each ends in nullptr
        const auto data = [](std::string& text) { return text.data(); };
        std::transform(argv.begin(), argv.end(), av.begin(), data);
        std::transform(envp.begin(), envp.end(), ev.begin(), data);
        const std::string err = path("err"), record = path("record");
        fs::remove(record);
        Outcome result;
        if ((result.pid = fork()) == 0) {
            if (chdir(cwd.c_str()) != 0)
                _exit(126);
            dup2(open("/dev/null", O_RDONLY), 0);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            close_range(3, ~0U, 0);
            for (const char fd : closed)
                close(fd - '0');
            alarm(20); // a launcher that hangs dies of it
            const rlimit limit = {stack, RLIM_INFINITY};
            if (stack != 0)
                setrlimit(RLIMIT_STACK, &limit);
            if (user != 0 && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
                _exit(126);
            execve(exe.c_str(), av.data(), ev.data());
            _exit(127);
        }
        waitpid(result.pid, &result.status, 0);
        result.out = out == path("out") ? slurp(out) : ""; // not /dev/full, which reads without end
        result.err = slurp(err);
        std::ifstream file(record, std::ios::binary);
        result.ran = file.is_open();
        for (std::string item; std::getline(file, item, '\0');)
            result.seen.emplace(item.substr(0, item.find('=')), item.substr(item.find('=') + 1));
        return result;
    }
};

// The twelve lines of an abort, from the launcher's own texts; rows of cases.txt check their bytes.
std::string abort_report(int reason, const std::string& basename) {
    std::string report;
    for (const tvk_abort_language& row : tvk_abort_texts) {
        std::string detail = row.detail[reason - 1];
        if (const size_t name = detail.find("%s"); name != std::string::npos)
            detail.replace(name, 2, basename);
        report += std::string(row.code) + " - " + row.invalid + ", " + detail + "\n" + row.code +
                  " - " + row.terminated + ".\n";
    }
    return report;
}

// What holds after every run: nothing on standard error, no signal, and an
// overlay in the launcher's own process, with each exported variable once
// and no descriptor but 0 to 2 and the write-locked log that TOVREK_DEBUG names.
void expect_clean(const World& world, const Outcome& run) {
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(WIFEXITED(run.status) || (world.walk == "KILL" && WTERMSIG(run.status) == SIGKILL))
        << "wait status " << run.status;
    if (!run.ran)
        return;
    EXPECT_EQ(run.all("pid"), Strings{std::to_string(run.pid)});
    std::ifstream status("/proc/self/status"); // no signal ignored that was not here
    std::string ignored;
    while (std::getline(status, ignored) && !ignored.starts_with("SigIgn:")) {
    }
    EXPECT_EQ(run.all("ignored"), Strings{ignored});
    EXPECT_EQ(run.all("arg").size(), 1U);
    for (const auto& [key, value] : run.seen)
        EXPECT_TRUE(!key.starts_with("env:") || run.seen.count(key) == 1) << key;
    for (const std::string& root :
         run.all("env:TOVREK_ROOT")) { // absolute, also for a relative root
        const std::string lib =
            (root.empty() || root[0] == '/' ? "" : fs::canonical(world.cwd).string() + "/") + root +
            "/lib";
        EXPECT_EQ(run.all("env:LD_LIBRARY_PATH"),
                  lib.size() < 1008 ? Strings{lib} : Strings{}); // fits
    }
    const Strings fds = run.all("fd");
    EXPECT_EQ(std::count_if(fds.begin(), fds.end(),
                            [](auto& fd) { return fd[1] == ' ' && fd[0] <= '2'; }),
              3);
    for (const std::string& fd : fds) {
        int n = -1, mode = -1, lock = -1;
        std::string target;
        std::istringstream(fd) >> n >> mode >> lock >> target;
        const bool log = target.ends_with("/tvkcombo.log") && mode == O_WRONLY && lock == F_WRLCK &&
                         run.all("env:TOVREK_DEBUG") == Strings{std::to_string(n)};
        EXPECT_TRUE(n > 2 ? log
                          : mode == (n == 0 ? O_RDONLY : O_WRONLY) && lock == F_UNLCK &&
                                (world.closed.find(char('0' + n)) == std::string::npos ||
                                 target == "/dev/null"))
            << "descriptor " << fd;
    }
}

// One check word of a row.
void expect(const World& world, const Outcome& run, const Outcome& diagnosis,
            const std::string& word) {
    if (word.starts_with("why~")) { // a check of the diagnosis, run first
        EXPECT_NE(diagnosis.out.find(word.substr(4)), std::string::npos) << word << diagnosis.out;
        return;
    }
    const size_t eq = word.find_first_of("=~");
    const std::string key = word.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
    const std::string name = key.substr(key[0] == '!' ? 1 : 0);
    for (size_t at = 0; (key == "log" || key == "last") && at < value.size(); ++at) {
        value.insert(at, "tvkcombo:"); // every log line's prefix
        at = std::min(value.find('\n', at), value.size());
    }
    const std::string file = name == "log" || name == "last" ? world.home("log")
                             : name == "rc"                  ? world.home("rc")
                             : name.starts_with("f:")        ? world.path(name.substr(2))
                                                             : "";
    const std::string actual = name == "out" ? run.out : slurp(file);
    if (key == "exit" || key == "abort") {
        EXPECT_TRUE(!run.ran && WEXITSTATUS(run.status) == (key == "exit" ? std::stoi(value) : 1))
            << word;
        EXPECT_EQ(run.out, key == "exit"
                               ? run.out
                               : abort_report(std::stoi(value), fs::path(world.argv0).filename()));
    } else if (key == "settled") { // after a failed call: no half-done end or rc file
        EXPECT_TRUE(run.ran || WEXITSTATUS(run.status) == 0 ||
                    run.out.ends_with("por - O Programa Terminou.\n"))
            << run.out;
        const std::string rc = slurp(world.home("rc")),
                          root = "\ntovrek_root = " + world.path("opt/tovrek\n");
        EXPECT_TRUE(rc == world.rc_before ||
                    (rc.starts_with("lc_all = ") &&
                     rc.find(root + "tovrek_spell = ") != std::string::npos && rc.ends_with("\n")))
            << rc;
        EXPECT_TRUE(world.walk == "KILL" || !fs::exists(world.home("rc.new"))); // none half done
    } else if (key == "ran") {
        EXPECT_EQ(run.all("exe"),
                  Strings{world.path(value.empty() ? "opt/tovrek/bin/tvkcombo.ovl" : value)});
    } else if (key == "arg") {
        EXPECT_EQ(run.all("arg"), Strings{value});
    } else if (key[0] == '!' && eq != std::string::npos && word[eq] == '~') {
        EXPECT_EQ(actual.find(value), std::string::npos) << word << "\nin:\n" << actual;
    } else if (std::isupper(static_cast<unsigned char>(key[0])) ||
               (key[0] == '!' && file.empty())) {
        EXPECT_EQ(run.all("env:" + name), key[0] == '!' ? Strings{} : Strings{value}) << word;
    } else if (key[0] == '!') {
        EXPECT_FALSE(fs::exists(fs::symlink_status(file))) << word;
    } else if (key.starts_with("mode:")) {
        EXPECT_EQ(fs::status(world.path(key.substr(5))).permissions(),
                  static_cast<fs::perms>(std::stoul(value, nullptr, 8)));
    } else if (eq == std::string::npos || (key != "out" && file.empty())) {
        ADD_FAILURE() << "unknown check " << word;
    } else if (key == "last") {
        EXPECT_TRUE(actual.ends_with(value)) << word << "\nlog:\n" << actual;
    } else if (word[eq] == '~') {
        EXPECT_NE(actual.find(value), std::string::npos) << word << "\nin:\n" << actual;
    } else {
        EXPECT_EQ(actual, value) << word;
    }
}

class Launch : public testing::TestWithParam<Case> {};

// Every file under the world with its type, mode, owner, link target and
// contents, but the run's output and the overlay's record; listed by
// another process, since a file closed here would drop the row's locks.
std::string tree(const World& world) {
    const std::string list = "cd " + world.dir +
                             " && find . ! -path ./out ! -path ./err ! -path ./record "
                             "-printf '%p %M %U %l\\n' -type f -exec md5sum {} +";
    FILE* pipe = popen(list.c_str(), "r");
    std::string files;
    for (int ch; (ch = std::fgetc(pipe)) != EOF;)
        files += static_cast<char>(ch);
    pclose(pipe);
    return files;
}

// The diagnosis's last line names what the launch then did: the overlay it ran and with which
// action, the shell it handed a script to, the abort it ended in, or a report.
void expect_verdict(const World& world, const std::string& out, const Outcome& run) {
    const std::string verdict = out.substr(out.rfind('\n', out.size() - 2) + 1);
    std::smatch part;
    const auto is = [&](const char* line) { return regex_match(verdict, part, std::regex(line)); };
    const auto ran = [&] {
        return fs::weakly_canonical(fs::path(world.cwd) / std::string(part[1]));
    };
    if (is("a launch would run \"(.*)\" \\(attempt \\d\\) with the action (\\w+)(, unless .*)?\n"))
        EXPECT_TRUE(run.ran && (part[3].matched || run.all("exe") == Strings{ran()}) &&
                    run.all("arg") == Strings{part[2]}) // unless: or the next attempt's
            << verdict;
    else if (is("a launch stops here, with abort code (\\d) .*\n"))
        EXPECT_TRUE(
            run.out.ends_with(abort_report(std::stoi(part[1]), fs::path(world.argv0).filename())))
            << verdict;
    else
        EXPECT_TRUE(!run.ran && (is("a launch would run \"/bin/sh\" with the script .*\n") ||
                                 (is("a launch would print the (usage text|environment report|"
                                     "version report) and exit with status 0\n") &&
                                  run.out.starts_with(tvk_banner))))
            << verdict;
}

// Each row is first diagnosed in its world, then launched in it, as written:
// the diagnosis must run nothing, change no file, end with the launch's
// status and name what the launch then did. A row whose world changes
// between the two (a fault walk, a link swapped mid-run) says why not.
// A row with the setup word "walk" runs again for each of its first calls of
// these functions, failing that call (through the fault library).
TEST_P(Launch, Row) {
    const Case& row = GetParam();
    if ((has(row.setup, "o:") || has(row.setup, "c:") || has(row.setup, "uid=")) && geteuid() != 0)
        GTEST_SKIP() << "only root can give files away, make devices and run as another user";
    const bool walk = has(row.setup, "walk");
    const bool diagnosed = !has(row.setup, "undiagnosed=");
    ASSERT_TRUE(diagnosed ? !walk : !has(row.checks, "why~"))
        << "a walk or a why~ check, undiagnosed";
    for (const std::string& function :
         walk ? Strings{"read", "write", "open", "fcntl", "fsync", "mkdir", "rename", "execve"}
              : Strings{""})
        for (int n = 1; n <= 40; ++n) {
            World world;
            for (const std::string& word : row.setup)
                world.apply(expand(word, world.dir));
            Strings args;
            for (const std::string& word : row.args)
                args.push_back(expand(word, world.dir));
            if (walk)
                world.set("TVK_FAULT=" + function + ":" + std::to_string(n) + ":" + world.walk);
            Outcome diagnosis;
            if (diagnosed) {
                const auto before = tree(world);
                Strings diagnose = args; // first: after "--" or -l it would be a value
                diagnose.insert(diagnose.begin(), "--diagnose");
                diagnosis = world.run(diagnose);
                EXPECT_TRUE(tree(world) == before) << "the diagnosis changed the world";
                EXPECT_TRUE(!diagnosis.ran && diagnosis.err.empty() && WIFEXITED(diagnosis.status))
                    << diagnosis.status;
            }
            const Outcome run = world.run(args);
            if (walk && fs::exists(world.path("mark")))
                break; // the run made no n-th call
            SCOPED_TRACE(walk ? function + " call " + std::to_string(n) + " failed" : "");
            expect_clean(world, run);
            for (const std::string& word : row.checks)
                expect(world, run, diagnosis, expand(word, world.dir));
            if (!diagnosed)
                continue;
            EXPECT_EQ(WEXITSTATUS(diagnosis.status), run.ran ? 0 : WEXITSTATUS(run.status));
            if (world.out == world.path("out") && world.closed.empty())
                expect_verdict(world, diagnosis.out, run);
            break;
        }
}

INSTANTIATE_TEST_SUITE_P(Table, Launch, testing::ValuesIn(load_cases()),
                         [](const auto& row) { return row.param.name; });

// Sixteen runs let go together over one home, half with -d, in two locales:
// each reaches the overlay, and the rc file ends up whole, each of its lines
// once, the hand-set spell-checker kept.
TEST(Burst, SixteenRunsAtOnce) {
    World world;
    world.apply("rc=tovrek_spell = aspell\n");
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> runs;
    for (int i = 0; i < 16; ++i) {
        world.set(i % 2 ? "LANG=de_DE" : "LANG=fr_FR");
        world.set("TVK_RECORD=" + world.path("record" + std::to_string(i)));
        if (runs.emplace_back(fork()) == 0) {
            char byte;
            close(gate[1]);
            _exit(
                read(gate[0], &byte, 1) == 0 && // every write end closed
                        world.run(i % 4 < 2 ? Strings{"-d", "algebra"} : Strings{"-a"}).err.empty()
                    ? 0
                    : 1);
        }
    }
    close(gate[0]), close(gate[1]);
    for (size_t i = 0; i < runs.size(); ++i) {
        int status = -1;
        waitpid(runs[i], &status, 0);
        EXPECT_TRUE(status == 0 && fs::exists(world.path("record" + std::to_string(i)))) << i;
    }
    const std::string rc = "\n" + slurp(world.home("rc"));
    const auto once = [&](const std::string& line) {
        return rc.find(line) != std::string::npos && rc.find(line) == rc.rfind(line);
    };
    EXPECT_TRUE(once("\nlc_all = ") && (once("\nlc_all = fr_FR\n") || once("\nlc_all = de_DE\n")) &&
                once("\ntovrek_spell = aspell\n") &&
                once("\ntovrek_root = " + world.path("opt/tovrek\n")) && rc.ends_with("\n"))
        << rc;
}

} // namespace
