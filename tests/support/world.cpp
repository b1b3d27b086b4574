#include "world.h"

#include "line_escape.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace tvktest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* search_path = "/usr/bin:/bin";

// What a child process gets; -1 for in, out or err keeps the inherited descriptor.
struct Child {
    std::string program;
    std::vector<std::string> argv;
    std::vector<std::string> env; // "NAME=value"
    std::string cwd;              // empty: unchanged
    int in = -1;
    int out = -1;
    int err = -1;
    bool close_std = false;
    int gate[2] = {-1, -1}; // a pipe to wait on before anything else, or none
};

void close_if_open(int fd) {
    if (fd >= 0)
        close(fd);
}

// Keeps helper descriptors clear of 0 to 2 (which may be closed in the test
// process), so moving them onto the child's standard descriptors is safe.
int above_std(int fd) {
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

bool open_pipe(int (&ends)[2]) {
    if (pipe2(ends, O_CLOEXEC) == 0) {
        ends[0] = above_std(ends[0]);
        ends[1] = above_std(ends[1]);
        if (ends[0] >= 0 && ends[1] >= 0)
            return true;
    }
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return false;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Only async-signal-safe calls between fork and exec; every descriptor above
// the standard ones is closed, so the child starts as from a clean shell.
pid_t spawn(Child& child) {
    std::vector<char*> argv = pointers(child.argv);
    std::vector<char*> envp = pointers(child.env);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (child.gate[0] >= 0) {
        close(child.gate[1]);
        char byte = 0;
        while (read(child.gate[0], &byte, 1) > 0) {
        }
    }
    if (!child.cwd.empty() && chdir(child.cwd.c_str()) != 0)
        _exit(127);
    if (child.close_std) {
        close_range(0, ~0U, 0);
    } else {
        const int sources[] = {child.in, child.out, child.err};
        for (int fd = 0; fd <= STDERR_FILENO; ++fd)
            if (sources[fd] >= 0)
                dup2(sources[fd], fd);
        close_range(STDERR_FILENO + 1, ~0U, 0);
    }
    execve(child.program.c_str(), argv.data(), envp.data());
    _exit(127);
}

// Reads both pipes together, so a child that fills one never blocks; false
// when the deadline passed first. Closes both.
bool collect(int out_fd, int err_fd, Clock::time_point deadline, RunResult& result) {
    pollfd fds[] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[] = {&result.out, &result.err};
    bool in_time = true;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = left > 0 ? poll(fds, 2, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        in_time = ready > 0;
        if (!in_time)
            break;
        for (size_t i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    close_if_open(fds[0].fd);
    close_if_open(fds[1].fd);
    return in_time;
}

void wait_for(pid_t pid, Clock::time_point deadline, bool in_time, RunResult& result) {
    int status = 0;
    pid_t done = 0;
    while (in_time && (done = waitpid(pid, &status, WNOHANG)) == 0) {
        in_time = Clock::now() < deadline;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done != pid) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.timed_out = true;
    }
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

RunResult run_child(Child child, std::chrono::seconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    RunResult result;
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (!child.close_std) {
        if (!open_pipe(out) || !open_pipe(err))
            return result;
        child.in = above_std(open("/dev/null", O_RDONLY | O_CLOEXEC));
        child.out = out[1];
        child.err = err[1];
    }
    result.pid = spawn(child);
    close_if_open(child.in);
    close_if_open(out[1]);
    close_if_open(err[1]);
    const bool in_time = collect(out[0], err[0], deadline, result);
    if (result.pid < 0)
        ADD_FAILURE() << "fork: " << std::strerror(errno);
    else
        wait_for(result.pid, deadline, in_time, result);
    return result;
}

bool write_bytes(const std::string& path, const std::string& bytes, mode_t mode) {
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    const bool written =
        write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    const bool moded = fchmod(fd, mode) == 0;
    return close(fd) == 0 && written && moded;
}

std::string read_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Tests take permissions away to provoke failures; give them back so the
// tree can be removed. Links are never followed out of the world.
void make_removable(const fs::path& path) {
    std::error_code ignored;
    if (!fs::is_directory(fs::symlink_status(path, ignored)))
        return;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const fs::directory_entry& entry : fs::directory_iterator(path, ignored))
        make_removable(entry.path());
}

// The rest of a record line, after the fields already read and one blank.
std::string rest_of(std::istringstream& in) {
    in.get();
    std::string rest;
    std::getline(in, rest);
    return line_unescaped(rest);
}

void parse_record_line(const std::string& line, OverlayRecord& seen) {
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "pid") {
        in >> seen.pid;
    } else if (key == "argc") {
        size_t count = 0;
        in >> count;
        seen.argv.resize(count);
    } else if (key == "argv") {
        size_t index = 0;
        in >> index;
        if (index < seen.argv.size())
            seen.argv[index] = rest_of(in);
    } else if (key == "env") {
        const std::string entry = rest_of(in);
        const size_t equals = entry.find('=');
        seen.env[entry.substr(0, equals)] =
            equals == std::string::npos ? std::string() : entry.substr(equals + 1);
    } else if (key == "fd") {
        int fd = -1;
        in >> fd;
        Descriptor& descriptor = seen.descriptors[fd];
        in >> descriptor.flags;
        descriptor.target = rest_of(in);
    } else if (key == "lock") {
        int fd = -1;
        in >> fd;
        Descriptor& descriptor = seen.descriptors[fd];
        in >> descriptor.lock_type >> descriptor.lock_pid;
        descriptor.probed = true;
    }
}

std::string line_from(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1) {
        line += c;
        if (c == '\n')
            break;
    }
    return line;
}

struct AbortRow {
    const char* code;
    const char* invalid;
    const char* language_item;
    const char* alias_item;
    const char* terminated;
};

// ISO-8859-1 bytes; a hex escape is split where the next letter is a hex digit.
constexpr AbortRow abort_rows[] = {
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
     "locale ali\xe1s", "O Programa Terminou"},
};

std::string abort_detail(int code, const AbortRow& row, const std::string& basename) {
    switch (code) {
    case 1:
        return " getenv(\"TOVREK_ROOT\")\n";
    case 2:
        return " setlocale(LC_ALL, \"\")\n";
    case 3:
        return std::string(" ") + row.language_item + "\n";
    case 4:
        return std::string(" ") + row.alias_item + "\n";
    case 5:
        return " posix coursename\n";
    case 6:
        return " execve(" + basename + ".ovl)\n";
    default:
        ADD_FAILURE() << "no abort code " << code;
        return "\n";
    }
}

Child launcher_child(const TestWorld& world, const std::vector<std::string>& args,
                     const RunOptions& options, const Environment& env) {
    Child child;
    child.program = options.program.empty() ? world.root() + "/bin/tvkcombo" : options.program;
    child.argv.push_back(options.argv0.value_or(child.program));
    child.argv.insert(child.argv.end(), args.begin(), args.end());
    for (const auto& [name, value] : env)
        child.env.push_back(name + "=" + value);
    child.cwd = options.cwd.empty() ? world.work() : options.cwd;
    child.close_std = options.close_std;
    return child;
}

} // namespace

std::optional<std::string> OverlayRecord::env_value(const std::string& name) const {
    const auto found = env.find(name);
    if (found == env.end())
        return std::nullopt;
    return found->second;
}

TestWorld::TestWorld(Launcher launcher) {
    // The prefix must not contain "/tovrek": the launcher cuts paths there.
    char pattern[] = "/tmp/tvkworld-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        return;
    }
    dir_ = pattern;
    env_ = {{"HOME", home()},
            {"PATH", search_path},
            {"LOCPATH", TVK_TEST_LOCPATH},
            {"TVK_TEST_RECORD", path("record")}};
    build(launcher);
}

// A copy, not a link, of the launcher: it finds the install tree from its own real path.
void TestWorld::build(Launcher launcher) {
    const char* launcher_file =
        launcher == Launcher::standard ? TVK_TEST_LAUNCHER : TVK_TEST_ALIAS_LAUNCHER;
    const std::string program = read_bytes(launcher_file);
    const bool built = !program.empty() && make_dir("home") && make_dir("work") &&
                       make_dir("opt/tovrek/lib") && make_dir("opt/tovrek/nls") &&
                       write_file("opt/tovrek/ver/tvkcombo", "0.1.1\n") &&
                       write_file("opt/tovrek/bin/tvkcombo", program, 0755) &&
                       symlink(TVK_TEST_OVERLAY, "opt/tovrek/bin/tvkcombo.ovl");
    if (!built)
        ADD_FAILURE() << "cannot build the test world in " << dir_;
}

TestWorld::~TestWorld() {
    if (dir_.empty())
        return;
    make_removable(dir_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

bool TestWorld::write_file(const std::string& rel, const std::string& bytes, mode_t mode) const {
    return write_bytes(path(rel), bytes, mode);
}

std::string TestWorld::read_file(const std::string& rel) const {
    return read_bytes(path(rel));
}

bool TestWorld::exists(const std::string& rel) const {
    struct stat info {};
    return lstat(path(rel).c_str(), &info) == 0;
}

bool TestWorld::make_dir(const std::string& rel, mode_t mode) const {
    std::error_code ignored;
    fs::create_directories(path(rel), ignored);
    return chmod(path(rel).c_str(), mode) == 0;
}

bool TestWorld::symlink(const std::string& target, const std::string& rel) const {
    std::error_code ignored;
    fs::create_directories(fs::path(path(rel)).parent_path(), ignored);
    return ::symlink(target.c_str(), path(rel).c_str()) == 0;
}

bool TestWorld::remove(const std::string& rel) const {
    make_removable(path(rel));
    std::error_code error;
    fs::remove_all(path(rel), error);
    return !error;
}

RunResult TestWorld::run(const std::vector<std::string>& args, const RunOptions& options) const {
    unlink(path("record").c_str());
    return run_child(launcher_child(*this, args, options, env_), options.timeout);
}

pid_t TestWorld::spawn_gated(const std::vector<std::string>& args, const Environment& extra,
                             const std::string& output, const int (&gate)[2]) const {
    Environment env = env_;
    for (const auto& [name, value] : extra)
        env[name] = value;
    Child child = launcher_child(*this, args, RunOptions(), env);
    child.in = above_std(open("/dev/null", O_RDONLY | O_CLOEXEC));
    child.out = above_std(open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    child.err = child.out;
    child.gate[0] = gate[0];
    child.gate[1] = gate[1];
    if (child.in < 0 || child.out < 0)
        ADD_FAILURE() << "cannot open /dev/null or " << output;
    const pid_t pid = spawn(child);
    close_if_open(child.in);
    close_if_open(child.out);
    return pid;
}

OverlayRecord TestWorld::record() const {
    return overlay_record(path("record"));
}

OverlayRecord overlay_record(const std::string& path) {
    OverlayRecord seen;
    std::ifstream file(path, std::ios::binary);
    seen.ran = file.is_open();
    std::string line;
    while (std::getline(file, line))
        parse_record_line(line, seen);
    return seen;
}

std::vector<std::string> TestWorld::log_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(read_bytes(log_path()));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

LockHolder::LockHolder(const std::string& path, char mode) {
    int to_holder[2] = {-1, -1};
    int from_holder[2] = {-1, -1};
    if (!open_pipe(to_holder) || !open_pipe(from_holder))
        return;
    Child child;
    child.program = TVK_TEST_LOCKHOLDER;
    child.argv = {"tvk_test_lockholder", std::string(1, mode), path};
    child.in = to_holder[0];
    child.out = from_holder[1];
    pid_ = spawn(child);
    close(to_holder[0]);
    close(from_holder[1]);
    to_holder_ = to_holder[1];
    locked_ = line_from(from_holder[0]) == "locked\n";
    close(from_holder[0]);
}

LockHolder::~LockHolder() {
    close_if_open(to_holder_);
    if (pid_ > 0)
        waitpid(pid_, nullptr, 0);
}

std::string rc_lines(const std::string& locale, const std::string& root, const std::string& spell) {
    return "lc_all = " + locale + "\ntovrek_root = " + root + "\ntovrek_spell = " + spell + "\n";
}

std::map<std::string, long> call_counts(const std::string& counts) {
    std::map<std::string, long> calls;
    std::istringstream in(counts);
    std::string name;
    long count = 0;
    while (in >> name >> count)
        calls[name] = count;
    return calls;
}

std::string abort_report(int code, const std::string& basename) {
    std::string report;
    for (const AbortRow& row : abort_rows) {
        report +=
            std::string(row.code) + " - " + row.invalid + "," + abort_detail(code, row, basename);
        report += std::string(row.code) + " - " + row.terminated + ".\n";
    }
    return report;
}

bool make_catalog(const std::string& dest_path, const std::map<int, std::string>& messages,
                  const std::string& codeset_locale) {
    std::string source = "$set 1\n";
    // gencat ends a message at a real newline and reads "\n" and "\\" as escapes.
    for (const auto& [number, text] : messages)
        source += std::to_string(number) + " " + line_escaped(text) + "\n";
    const std::string source_path = dest_path + ".msg";
    if (!write_bytes(source_path, source, 0644)) {
        ADD_FAILURE() << "cannot write " << source_path;
        return false;
    }
    // gencat merges into an existing catalog; a test wants exactly these messages.
    unlink(dest_path.c_str());
    Child gencat;
    gencat.program = TVK_TEST_GENCAT;
    gencat.argv = {"gencat", dest_path, source_path};
    gencat.env = {std::string("LOCPATH=") + TVK_TEST_LOCPATH, "LC_ALL=" + codeset_locale,
                  std::string("PATH=") + search_path};
    const RunResult result = run_child(std::move(gencat), std::chrono::seconds(30));
    unlink(source_path.c_str());
    if (result.exited && result.status == 0)
        return true;
    ADD_FAILURE() << "gencat " << dest_path << " in " << codeset_locale << " failed:\n"
                  << result.out << result.err;
    return false;
}

} // namespace tvktest
