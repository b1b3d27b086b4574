// Runs the built launcher in private worlds: an install tree, a home, a
// working directory and a recording overlay under a fresh temporary
// directory. Every row of cases.txt is one run, set up and checked as the
// row says (the notation is explained at the head of that file); a burst of
// simultaneous runs and a walk over failing system calls complete it.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spill(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    chmod(path.c_str(), mode);
}

// The character an escape stands for: \n \t \xHH, or the one escaped.
char escaped_at(const std::string& text, size_t& i) {
    if (text[i] == 'x') {
        i += 2;
        return static_cast<char>(std::stoi(text.substr(i - 1, 2), nullptr, 16));
    }
    return text[i] == 'n' ? '\n' : text[i] == 't' ? '\t' : text[i];
}

// Words separated by blanks; "..." keeps blanks in a word.
Strings tokens(const std::string& text) {
    Strings words;
    std::string word;
    bool in_word = false, quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t')) {
            if (in_word)
                words.push_back(std::exchange(word, ""));
            in_word = false;
            continue;
        }
        if (c == '\\' && i + 1 < text.size())
            c = escaped_at(text, ++i);
        word += c;
        in_word = true;
    }
    if (in_word)
        words.push_back(word);
    return words;
}

// {W} is the world's directory, {c*N} the character c N times.
std::string expand(const std::string& text, const std::string& world) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t end = text.find('}', i);
        const std::string inner = end == std::string::npos ? "" : text.substr(i + 1, end - i - 1);
        if (text[i] == '{' && (inner == "W" || (inner.size() > 2 && inner[1] == '*'))) {
            out += inner == "W" ? world : std::string(std::stoul(inner.substr(2)), inner[0]);
            i = end;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct Case {
    std::string name;
    Strings world, args, want;
};
void PrintTo(const Case& row, std::ostream* out) {
    *out << row.name;
}

// A row is "name | setup | arguments | checks"; a row of another shape
// fails as a check that no run can pass.
std::vector<Case> load_cases() {
    std::vector<Case> cases;
    std::istringstream file(slurp(TVK_TEST_CASES));
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        Strings columns;
        for (size_t at = 0;;) {
            const size_t bar = line.find(" | ", at);
            columns.push_back(line.substr(at, bar - at));
            if (bar == std::string::npos)
                break;
            at = bar + 3;
        }
        if (columns.size() == 4)
            cases.push_back({tokens(columns[0]).at(0), tokens(columns[1]), tokens(columns[2]),
                             tokens(columns[3])});
        else
            cases.push_back(
                {"row_" + std::to_string(cases.size()), {}, {}, {"malformed row: " + line}});
    }
    return cases;
}

struct Record {
    bool ran = false;
    std::string exe;
    pid_t pid = -1;
    Strings args, env, fds;

    size_t count(const std::string& name) const {
        return static_cast<size_t>(std::count_if(
            env.begin(), env.end(), [&](auto& entry) { return entry.starts_with(name + "="); }));
    }
    std::string value(const std::string& name) const {
        const auto found = std::find_if(env.begin(), env.end(),
                                        [&](auto& entry) { return entry.starts_with(name + "="); });
        return found == env.end() ? "" : found->substr(name.size() + 1);
    }
};

Record record_at(const std::string& path) {
    Record seen;
    std::ifstream file(path);
    seen.ran = file.is_open();
    for (std::string line; std::getline(file, line);) {
        const std::string key = line.substr(0, line.find(' '));
        std::string rest;
        for (size_t i = key.size() + 1; i < line.size(); ++i)
            rest += line[i] == '\\' && i + 1 < line.size() ? (line[++i] == 'n' ? '\n' : line[i])
                                                           : line[i];
        if (key == "exe")
            seen.exe = rest;
        else if (key == "pid")
            seen.pid = std::stoi(rest);
        else
            (key == "arg" ? seen.args : key == "env" ? seen.env : seen.fds).push_back(rest);
    }
    return seen;
}

struct Outcome {
    pid_t pid = -1;
    int status = -1; // wait status
    std::string out, err;
    Record overlay;
};

class World {
  public:
    std::string dir, cwd, argv0, exe, out_file;
    Strings env;
    bool closed = false;

    World() {
        char pattern[] = "/tmp/tvk-XXXXXX";
        dir = mkdtemp(pattern);
        for (const char* sub : {"home", "work", "opt/tovrek/lib", "opt/tovrek/nls"})
            fs::create_directories(dir + "/" + sub);
        chmod(dir.c_str(), 0755);
        spill(dir + "/opt/tovrek/ver/tvkcombo", "0.1.1\n");
        place(TVK_TEST_LAUNCHER, "opt/tovrek/bin/tvkcombo");
        place(TVK_TEST_OVERLAY, "opt/tovrek/bin/tvkcombo.ovl");
        cwd = dir + "/work";
        exe = argv0 = dir + "/opt/tovrek/bin/tvkcombo";
        out_file = dir + "/out";
        env = {"HOME=" + dir + "/home", "PATH=/usr/bin:/bin", "LOCPATH=" TVK_TEST_LOCPATH,
               "TVK_RECORD=" + dir + "/record", "ASAN_OPTIONS=verify_asan_link_order=0"};
    }
    ~World() {
        for (const int fd : held)
            close(fd);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string path(const std::string& rel) const {
        return rel.starts_with('/') ? rel : dir + "/" + rel;
    }

    // A file of its own, not a link: the launcher finds its tree from its path.
    void place(const std::string& from, const std::string& rel) const {
        make_parent(rel);
        if (link(from.c_str(), path(rel).c_str()) != 0)
            fs::copy_file(from, path(rel));
    }
    void set(const std::string& entry, bool replace = true) {
        const std::string name = entry.substr(0, entry.find('=')) + "=";
        if (replace)
            std::erase_if(env, [&](auto& e) { return e.starts_with(name); });
        if (entry.find('=') != std::string::npos)
            env.push_back(entry);
    }

    // One setup word of a row.
    void apply(const std::string& word) {
        const size_t eq = word.find('='), colon = word.find(':');
        const std::string verb = word.substr(0, std::min(eq, colon));
        const std::string target = colon < eq ? word.substr(colon + 1, eq - colon - 1) : "";
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        if (std::isupper(static_cast<unsigned char>(word[0])))
            set(word);
        else if (word[0] == '+' || word[0] == '-')
            set(word.substr(1), word[0] == '-');
        else if (verb == "cwd")
            cwd = path(value);
        else if (verb == "argv0")
            argv0 = value;
        else if (verb == "exe")
            exe = path(value);
        else if (verb == "stdout")
            out_file = path(value);
        else if (word == "closed")
            closed = true;
        else if (word == "preload")
            set("LD_PRELOAD=" TVK_TEST_FAULTS);
        else if (word == "catalogs")
            link_catalogs();
        else if (verb == "rc")
            spill(path("home/.tovrek/tvkcombo.rc"), value);
        else if (verb == "f")
            spill(path(target), value);
        else if (verb == "x")
            place(TVK_TEST_OVERLAY, target);
        else if (verb == "d")
            fs::create_directories(path(target));
        else if (verb == "l")
            make_parent(target), fs::create_symlink(path(value), path(target));
        else if (verb == "m")
            chmod(path(target).c_str(), static_cast<mode_t>(std::stoul(value, nullptr, 8)));
        else if (verb == "o")
            ASSERT_EQ(lchown(path(target).c_str(), static_cast<uid_t>(std::stoul(value)), 0), 0);
        else if (verb == "rm")
            fs::remove_all(path(target));
        else if (verb == "mv")
            fs::rename(path(target), path(value));
        else if (verb == "p")
            make_parent(target), mkfifo(path(target).c_str(), 0644);
        else if (verb == "lock")
            hold(path(target), value == "w");
        else if (verb == "cat")
            catalog(path(target), value);
        else
            FAIL() << "unknown setup word " << word;
    }

    void make_parent(const std::string& rel) const {
        fs::create_directories(fs::path(path(rel)).parent_path());
    }

    // The built catalogs in place of the tree's empty nls directory.
    void link_catalogs() const {
        fs::remove(path("opt/tovrek/nls"));
        fs::create_directory_symlink(TVK_TEST_CATALOGS, path("opt/tovrek/nls"));
    }

    // A record lock held by this process, which the launcher's asks meet.
    void hold(const std::string& file, bool write) {
        const int fd = open(file.c_str(), write ? O_WRONLY | O_CREAT : O_RDONLY, 0600);
        struct flock lock {};
        lock.l_type = write ? F_WRLCK : F_RDLCK;
        ASSERT_EQ(fcntl(fd, F_SETLK, &lock), 0) << file;
        held.push_back(fd);
    }

    // A catalog compiled from set 1 of a gencat source, in an ISO-8859-1
    // locale so that any byte gets through.
    void catalog(const std::string& file, const std::string& messages) const {
        spill(file + ".msg", "$set 1\n" + messages + "\n");
        const std::string command =
            "LOCPATH=" TVK_TEST_LOCPATH " LC_ALL=fr_FR gencat --new " + file + " " + file + ".msg";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // Starts the launcher; with a gate pipe, once every write end of it is closed.
    pid_t start(const Strings& args, const int* gate = nullptr) const {
        Strings argv{argv0}, envp = env;
        argv.insert(argv.end(), args.begin(), args.end());
        const auto pointers = [](Strings& texts) {
            std::vector<char*> list;
            for (std::string& text : texts)
                list.push_back(text.data());
            list.push_back(nullptr);
            return list;
        };
        std::vector<char*> av = pointers(argv), ev = pointers(envp);
        const std::string err = dir + "/err";
        const pid_t pid = fork();
        if (pid != 0)
            return pid;
        char byte;
        if (gate != nullptr && close(gate[1]) == 0)
            while (read(gate[0], &byte, 1) > 0) {
            }
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        if (!closed) {
            dup2(open("/dev/null", O_RDONLY), 0);
            dup2(open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        }
        close_range(closed ? 0 : 3, ~0U, 0);
        alarm(20); // a launcher that hangs dies of it
        execve(exe.c_str(), av.data(), ev.data());
        _exit(127);
    }

    Outcome finish(pid_t pid, const std::string& record) const {
        Outcome result;
        result.pid = pid;
        waitpid(pid, &result.status, 0);
        if (out_file == dir + "/out") // not /dev/full, which reads without end
            result.out = slurp(out_file);
        result.err = slurp(dir + "/err");
        result.overlay = record_at(record);
        return result;
    }

    Outcome run(const Strings& args) const {
        fs::remove(dir + "/record");
        return finish(start(args), dir + "/record");
    }

    std::string log() const { return slurp(dir + "/home/.tovrek/tvkcombo.log"); }

  private:
    std::vector<int> held;
};

// The twelve ISO-8859-1 lines of an abort, written out apart from the program's table.
std::string abort_report(int code, const std::string& basename) {
    const char* rows[][5] = {
        {"ger", "Unzul\xe4ssig", "sprachencode", "schauplatz alias", "Programm Beendete"},
        {"eng", "Invalid", "language code", "locale alias", "Program Terminated"},
        {"spa", "Inv\xe1lido",
         "c\xf3"
         "digo de la lengua",
         "locale alias", "Programa Terminado"},
        {"fre", "Inadmissible", "code de langue", "lieu dit", "Programme Termin\xe9"},
        {"ita", "Non valido", "codice di lingua", "locale altrimenti detto", "Programma Terminato"},
        {"por", "Inv\xe1lido",
         "c\xf3"
         "digo da l\xedngua",
         "locale ali\xe1s", "O Programa Terminou"}};
    std::string report;
    for (const auto& row : rows) {
        const std::string details[] = {" getenv(\"TOVREK_ROOT\")", " setlocale(LC_ALL, \"\")",
                                       std::string(" ") + row[2],  std::string(" ") + row[3],
                                       " posix coursename",        " execve(" + basename + ".ovl)"};
        report += std::string(row[0]) + " - " + row[1] + "," + details[code - 1] + "\n" + row[0] +
                  " - " + row[4] + ".\n";
    }
    return report;
}

// What holds after every run: nothing on standard error, no signal, and an
// overlay that is the launcher's own process, with each exported variable
// once, and exactly the descriptors it should inherit: 0 to 2, and the
// debug log, write-locked, that TOVREK_DEBUG names.
void expect_clean(const World& world, const Outcome& run) {
    const Record& seen = run.overlay;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(WIFEXITED(run.status)) << "wait status " << run.status;
    if (!seen.ran)
        return;
    EXPECT_EQ(seen.pid, run.pid);
    EXPECT_EQ(seen.args.size(), 1U);
    for (const char* name :
         {"LD_LIBRARY_PATH", "TOVREK_BASENAME", "TOVREK_DEBUG", "TOVREK_ROOT", "TOVREK_LOCALE",
          "TOVREK_LANG", "TOVREK_CODESET", "TOVREK_SPELL", "TOVREK_COURSE", "TOVREK_ACTION"})
        EXPECT_LE(seen.count(name), 1U) << name;
    if (seen.count("TOVREK_ROOT") != 0) {
        EXPECT_EQ(seen.value("LD_LIBRARY_PATH"), seen.value("TOVREK_ROOT") + "/lib");
    }
    const std::string log = fs::weakly_canonical(world.path("home/.tovrek/tvkcombo.log"));
    for (const std::string& fd : seen.fds) {
        std::istringstream in(fd);
        int n = -1, mode = -1, lock = -1;
        std::string target;
        in >> n >> mode >> lock >> target;
        if (n > 2) {
            EXPECT_EQ(target, log) << "stray descriptor " << fd;
            EXPECT_EQ(seen.value("TOVREK_DEBUG"), std::to_string(n));
            EXPECT_EQ(mode, O_WRONLY);
            EXPECT_EQ(lock, F_WRLCK);
        } else {
            EXPECT_EQ(mode, n == 0 ? O_RDONLY : O_WRONLY) << fd;
            EXPECT_TRUE(!world.closed || target == "/dev/null") << fd;
        }
    }
    EXPECT_GE(seen.fds.size(), 3U);
}

// The file a check names: log, rc, or f:<path in the world>.
std::string named_file(const World& world, const std::string& key) {
    if (key == "log" || key == "last")
        return world.path("home/.tovrek/tvkcombo.log");
    if (key == "rc")
        return world.path("home/.tovrek/tvkcombo.rc");
    return key.starts_with("f:") ? world.path(key.substr(2)) : "";
}

void expect(const World& world, const Outcome& run, const std::string& word) {
    const Record& seen = run.overlay;
    const size_t eq = word.find_first_of("=~");
    const std::string key = word.substr(0, eq),
                      value = eq == std::string::npos ? "" : word.substr(eq + 1);
    const bool negated = key[0] == '!';
    const std::string file = named_file(world, negated ? key.substr(1) : key);
    const auto text = [&](const std::string& actual, const std::string& wanted) {
        if (eq != std::string::npos && word[eq] == '~') {
            EXPECT_NE(actual.find(wanted), std::string::npos) << word << "\nin:\n" << actual;
        } else {
            EXPECT_EQ(actual, wanted) << word;
        }
    };
    if (key == "exit") {
        EXPECT_FALSE(seen.ran) << word;
        EXPECT_EQ(WEXITSTATUS(run.status), std::stoi(value)) << word;
    } else if (key == "abort") {
        expect(world, run, "exit=1");
        text(run.out, abort_report(std::stoi(value), fs::path(world.argv0).filename()));
    } else if (key == "ran") {
        EXPECT_EQ(seen.exe, world.path(value.empty() ? "opt/tovrek/bin/tvkcombo.ovl" : value))
            << word;
    } else if (key == "arg") {
        EXPECT_EQ(seen.args, Strings{value});
    } else if (std::isupper(static_cast<unsigned char>(key[0]))) {
        EXPECT_TRUE(seen.count(key) == 1 && seen.value(key) == value)
            << word << " in the overlay's environment";
    } else if (negated && file.empty()) {
        EXPECT_EQ(seen.count(key.substr(1)), 0U) << word;
    } else if (negated) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(file))) << word;
    } else if (key == "last") {
        EXPECT_TRUE(slurp(file).ends_with(value)) << word << "\nlog:\n" << slurp(file);
    } else if (key == "out") {
        text(run.out, value);
    } else if (!file.empty()) {
        text(slurp(file), value);
    } else if (key.starts_with("mode:")) {
        const auto perms = fs::status(world.path(key.substr(5))).permissions();
        EXPECT_EQ(perms, static_cast<fs::perms>(std::stoul(value, nullptr, 8))) << word;
    } else {
        ADD_FAILURE() << "unknown check " << word;
    }
}

class Launch : public testing::TestWithParam<Case> {};

TEST_P(Launch, Row) {
    const Case& row = GetParam();
    World world;
    for (const std::string& word : row.world) {
        if (word.starts_with("o:") && geteuid() != 0)
            GTEST_SKIP() << "needs root to give files away";
        ASSERT_NO_FATAL_FAILURE(world.apply(expand(word, world.dir)));
    }
    Strings args;
    for (const std::string& word : row.args)
        args.push_back(expand(word, world.dir));
    const Outcome run = world.run(args);
    expect_clean(world, run);
    for (const std::string& word : row.want)
        expect(world, run, expand(word, world.dir));
}

std::string row_name(const testing::TestParamInfo<Case>& row) {
    return row.param.name;
}
INSTANTIATE_TEST_SUITE_P(Cases, Launch, testing::ValuesIn(load_cases()), row_name);

} // namespace

// Runs started together over one home, half with -d, in four locales: each
// reaches the overlay, and the rc file and the log end up holding the whole
// lines of one run.
TEST(Burst, SixteenRunsAtOnce) {
    World world;
    const std::map<std::string, std::string> spells = {{"fr_FR", "ispell -d french"},
                                                       {"de_DE", "ispell"},
                                                       {"en_US", "ispell -d american"},
                                                       {"es_ES", "ispell -d spanish"}};
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> runs;
    for (const auto& [locale, spell] : spells) {
        for (const Strings& args :
             {Strings{"-d"}, Strings{"-d", "algebra"}, Strings{}, Strings{"-a"}}) {
            world.set("LANG=" + locale);
            world.set("TVK_RECORD=" + world.dir + "/record" + std::to_string(runs.size()));
            runs.push_back(world.start(args, gate));
        }
    }
    close(gate[0]);
    close(gate[1]);
    for (size_t i = 0; i < runs.size(); ++i) {
        const Outcome run = world.finish(runs[i], world.dir + "/record" + std::to_string(i));
        expect_clean(world, run);
        EXPECT_TRUE(run.overlay.ran) << i;
    }
    const std::string rc = slurp(world.path("home/.tovrek/tvkcombo.rc"));
    EXPECT_TRUE(std::any_of(spells.begin(), spells.end(), [&](auto& row) {
        return rc == "lc_all = " + row.first + "\ntovrek_root = " + world.dir +
                         "/opt/tovrek\ntovrek_spell = " + row.second + "\n";
    })) << rc;
    const std::string log = world.log();
    EXPECT_TRUE(log.starts_with("tvkcombo:tvk_debug:debugging turned on!\n") &&
                log.rfind("turned on!") == 29 && log.ends_with("tvkcombo:tvk_execve:loader one.\n"))
        << log;
}

// Every call of these functions that a run makes, failed in turn: the run
// still ends in the overlay, a report or the abort report, and leaves the
// rc file as it was, whole, or empty.
TEST(Faults, EveryCallFailsInTurn) {
    const std::pair<std::string, int> calls[] = {{"read", EIO},     {"write", ENOSPC},
                                                 {"open", EACCES},  {"fcntl", EAGAIN},
                                                 {"mkdir", EACCES}, {"execve", ENOENT}};
    const Strings scenarios[] = {
        {"LANG=de_DE", "rc=lc_all = fr_FR\n", "-p"},
        {"LANG=tovrekish", "f:work/locale.alias=tovrekish fr\n", "-d", "-i"}};
    int runs = 0;
    for (const Strings& scenario : scenarios) {
        for (const auto& [name, error] : calls) {
            for (int n = 1; n <= 100; ++n, ++runs) {
                World world;
                world.apply("preload");
                world.set("TVK_FAULT=" + name + ":" + std::to_string(n) + ":" +
                          std::to_string(error));
                world.set("TVK_FAULT_MARK=" + world.dir + "/mark");
                spill(world.dir + "/mark", "");
                for (const std::string& word : scenario)
                    if (!word.starts_with("-"))
                        world.apply(word);
                const std::string before = slurp(world.path("home/.tovrek/tvkcombo.rc"));
                const Outcome run = world.run({scenario.back()});
                if (fs::exists(world.dir + "/mark"))
                    break; // the run made no n-th call
                SCOPED_TRACE(name + " call " + std::to_string(n) + " fails, " + scenario[0]);
                expect_clean(world, run);
                bool aborted = false;
                for (int code = 1; code <= 6; ++code)
                    aborted = aborted || run.out == abort_report(code, "tvkcombo");
                EXPECT_TRUE(run.overlay.ran || WEXITSTATUS(run.status) == 0 || aborted) << run.out;
                const std::string rc = slurp(world.path("home/.tovrek/tvkcombo.rc"));
                const std::string root =
                    "\ntovrek_root = " + world.dir + "/opt/tovrek\ntovrek_spell = ";
                EXPECT_TRUE(rc == before || rc.empty() ||
                            rc == "lc_all = fr_FR" + root + "ispell -d french\n" ||
                            rc == "lc_all = de_DE" + root + "ispell\n")
                    << rc;
            }
        }
    }
    std::cout << "[ faults   ] " << runs << " runs, each with one failing call\n";
}
