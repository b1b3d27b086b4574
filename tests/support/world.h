// Black-box test support: a private temporary world with an install tree,
// a home and a working directory, in which the built launcher runs as a child
// process, plus readers for what the recording overlay saw.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvktest {

using Environment = std::map<std::string, std::string>;

struct RunOptions {
    std::string program;              // executable; empty: the world's <root>/bin/tvkcombo
    std::optional<std::string> argv0; // unset: the program's path
    std::string cwd;                  // empty: the world's work/ directory
    bool close_std = false;           // start with descriptors 0, 1 and 2 closed
    std::chrono::seconds timeout{30}; // then the child is killed

    // Chainable, since designated initializers that skip fields do not pass
    // the warning flags: run(args, RunOptions().with_argv0("tvkcombo")).
    RunOptions& with_program(std::string path) { return set(program, std::move(path)); }
    RunOptions& with_argv0(std::string text) { return set(argv0, std::move(text)); }
    RunOptions& with_cwd(std::string path) { return set(cwd, std::move(path)); }
    RunOptions& with_std_closed() { return set(close_std, true); }
    RunOptions& with_timeout(std::chrono::seconds limit) { return set(timeout, limit); }

  private:
    template <typename Field, typename Value> RunOptions& set(Field& field, Value value) {
        field = std::move(value);
        return *this;
    }
};

struct RunResult {
    pid_t pid = -1;
    bool exited = false; // ended through exit; status is valid
    int status = -1;
    int signal = 0; // the terminating signal when not exited
    bool timed_out = false;
    std::string out;
    std::string err;
};

// One descriptor the overlay found open.
struct Descriptor {
    std::string target;  // readlink of /proc/self/fd/N
    int flags = 0;       // F_GETFL: compare (flags & O_ACCMODE), O_LARGEFILE may be set
    bool probed = false; // a regular file, so the lock fields are filled
    int lock_type = -1;  // F_UNLCK, F_RDLCK or F_WRLCK, as another process sees it
    pid_t lock_pid = 0;  // holder of that lock
};

// What the recording overlay wrote: ran is false when it never started.
struct OverlayRecord {
    bool ran = false;
    pid_t pid = -1;
    std::vector<std::string> argv;
    Environment env;
    std::map<int, Descriptor> descriptors;

    bool has_env(const std::string& name) const { return env.count(name) != 0; }
    std::optional<std::string> env_value(const std::string& name) const;
};

// The record the overlay wrote at path (TVK_TEST_RECORD).
OverlayRecord overlay_record(const std::string& path);

class TestWorld {
  public:
    // alias_file: bin/tvkcombo is the test build of the launcher, which reads
    // "locale.alias" in its working directory instead of the system's alias
    // file and is always linked dynamically, so a preloaded library reaches it.
    enum class Launcher { standard, alias_file };

    explicit TestWorld(Launcher launcher = Launcher::standard);
    ~TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

    // Paths: dir() is the world's top directory; rel is relative to it.
    const std::string& dir() const { return dir_; }
    std::string path(const std::string& rel) const { return dir_ + "/" + rel; }
    std::string root() const { return path("opt/tovrek"); }
    std::string home() const { return path("home"); }
    std::string work() const { return path("work"); }

    // Files, all relative to dir(); parent directories are created as needed.
    bool write_file(const std::string& rel, const std::string& bytes, mode_t mode = 0644) const;
    std::string read_file(const std::string& rel) const; // empty when unreadable
    bool exists(const std::string& rel) const;           // symbolic links count
    bool make_dir(const std::string& rel, mode_t mode = 0755) const;
    bool symlink(const std::string& target, const std::string& rel) const;
    bool remove(const std::string& rel) const; // a whole tree

    // The environment of every run: HOME, PATH=/usr/bin:/bin, LOCPATH (the test
    // locales) and TVK_TEST_RECORD, nothing else until a test sets it.
    void set_env(const std::string& name, const std::string& value) { env_[name] = value; }
    void unset_env(const std::string& name) { env_.erase(name); }
    const Environment& env() const { return env_; }

    // Runs the launcher with argv {argv0, args...}; a record left by an
    // earlier run is removed first.
    RunResult run(const std::vector<std::string>& args = {}, const RunOptions& options = {}) const;
    // Starts the launcher with argv {program, args...} and the world's
    // environment overridden by extra, standard output and error going to the
    // file output, in a child that first waits until every write end of gate
    // is closed: runs spawned one after the other then start together. The
    // caller reaps the child.
    pid_t spawn_gated(const std::vector<std::string>& args, const Environment& extra,
                      const std::string& output, const int (&gate)[2]) const;
    OverlayRecord record() const;

    std::string log_path() const { return home() + "/.tovrek/tvkcombo.log"; }
    std::vector<std::string> log_lines() const; // without their newlines

  private:
    void build(Launcher launcher);

    std::string dir_;
    Environment env_;
};

// Holds a whole-file lock ('r' or 'w') on path in a helper process until destroyed.
class LockHolder {
  public:
    LockHolder(const std::string& path, char mode);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool locked() const { return locked_; }

  private:
    pid_t pid_ = -1;
    int to_holder_ = -1;
    bool locked_ = false;
};

// The rc file's three lines as the launcher writes them.
std::string rc_lines(const std::string& locale, const std::string& root, const std::string& spell);

// The calls per function in what the fault library left in TVK_FAULT_COUNT.
std::map<std::string, long> call_counts(const std::string& counts);

// The twelve ISO-8859-1 lines the launcher prints when it aborts with code.
std::string abort_report(int code, const std::string& basename = "tvkcombo");

// Compiles set 1 of messages (number -> text bytes) into the catalog dest_path
// with gencat, under codeset_locale (a test locale) so the texts are checked
// against its codeset. Adds a test failure with gencat's output when it fails.
bool make_catalog(const std::string& dest_path, const std::map<int, std::string>& messages,
                  const std::string& codeset_locale);

} // namespace tvktest
