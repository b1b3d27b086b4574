// Line reader, string writer, record locks and the debug line limit.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/state.h"
#include "files/files.h"

namespace {

// A file of its own for one test, removed again at its end.
struct ScratchFile {
    std::string path;

    explicit ScratchFile(const std::string& bytes) {
        char pattern[] = "/tmp/tvkprimitives-XXXXXX";
        const int fd = mkstemp(pattern);
        path = pattern;
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    ~ScratchFile() { std::filesystem::remove_all(path); }

    std::string contents() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

constexpr std::size_t buffer_size = 2048;
const std::string untouched(buffer_size - 1, '#');

struct ReadStep {
    int result;
    std::string text; // what the buffer holds before its NUL; untouched: as filled
};

TEST(Readline, ReturnsOneLineOrPieceAtATime) {
    struct Case {
        std::string name;
        std::string bytes;
        unsigned max;
        std::vector<ReadStep> steps;
    };
    const std::string x1023(1023, 'x');
    const std::vector<Case> cases = {
        {"no newline", "abc", 1023, {{3, "abc"}, {0, untouched}}},
        {"single newline", "\n", 1023, {{1, "\n"}, {0, untouched}}},
        {"empty file", "", 1023, {{0, untouched}}},
        {"two lines", "ab\ncd\n", 1023, {{3, "ab\n"}, {3, "cd\n"}, {0, untouched}}},
        {"1500 characters",
         std::string(1500, 'x') + "\n",
         1023,
         {{1023, x1023}, {478, std::string(477, 'x') + "\n"}, {0, untouched}}},
        {"1023 characters", x1023 + "\n", 1023, {{1023, x1023}, {1, "\n"}, {0, untouched}}},
        {"max 0", "ab\n", 0, {{0, ""}, {0, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFile file(c.bytes);
        const int fd = open(file.path.c_str(), O_RDONLY);
        off_t consumed = 0;
        for (const ReadStep& step : c.steps) {
            char buffer[buffer_size];
            std::memset(buffer, '#', buffer_size - 1);
            buffer[buffer_size - 1] = '\0';
            const int got = tvk_readline(fd, buffer, c.max);
            ASSERT_EQ(got, step.result);
            if (step.text == untouched) {
                EXPECT_EQ(std::string(buffer), untouched);
            } else {
                EXPECT_EQ(std::string(buffer), step.text);
                EXPECT_EQ(buffer[step.text.size() + 1], '#') << "wrote past the NUL";
            }
            consumed += got;
            // Nothing read ahead: the caller may use the descriptor in between.
            EXPECT_EQ(lseek(fd, 0, SEEK_CUR), consumed);
        }
        close(fd);
    }
}

TEST(Readline, FailingFirstReadLeavesBufferUntouched) {
    const int fd = open(".", O_RDONLY | O_DIRECTORY);
    char buffer[8] = "#######";
    EXPECT_EQ(tvk_readline(fd, buffer, 7), -1);
    EXPECT_STREQ(buffer, "#######");
    close(fd);
}

TEST(Writestr, WritesTheTextAndCountsItsNul) {
    enum class Target { file, read_only, no_descriptor };
    struct Case {
        const char* text;
        Target target;
        int result;
        const char* written;
    };
    const Case cases[] = {
        {"", Target::file, 1, ""},
        {"abc", Target::file, 4, "abc"},
        {"abc", Target::read_only, -1, ""},
        // No write is even tried for the empty text.
        {"", Target::no_descriptor, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ScratchFile file("");
        const int fd =
            c.target == Target::no_descriptor
                ? -1
                : open(file.path.c_str(), c.target == Target::file ? O_WRONLY : O_RDONLY);
        EXPECT_EQ(tvk_writestr(fd, c.text), c.result);
        if (fd != -1)
            close(fd);
        EXPECT_EQ(file.contents(), c.written);
    }
}

// Record locks belong to a process, so the other side runs in a child; its
// result comes back through the exit status.
int in_other_process(const std::function<int()>& action) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(action() + 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) - 1 : -100;
}

TEST(RecordLock, RefusesOnlyWhatConflicts) {
    enum class Operation { read, write, test };
    struct Case {
        const char* name;
        char held;       // lock this process takes: 'r', 'w', 'u' (w, then released) or none
        bool other;      // asked by another process, else by this one
        int asker_flags; // how the asker opens the file
        Operation operation;
        int result;
    };
    const Case cases[] = {
        {"write against a read lock", 'r', true, O_WRONLY, Operation::write, -1},
        {"read beside a read lock", 'r', true, O_RDONLY, Operation::read, 0},
        {"read against a write lock", 'w', true, O_RDONLY, Operation::read, -1},
        {"read lock on a write-only descriptor", 0, true, O_WRONLY, Operation::read, -1},
        {"write lock on a read-only descriptor", 0, true, O_RDONLY, Operation::write, -1},
        {"test sees the other's write lock", 'w', true, O_RDWR, Operation::test, F_WRLCK},
        {"test sees the other's read lock", 'r', true, O_RDWR, Operation::test, F_RDLCK},
        {"test with no lock", 0, true, O_RDWR, Operation::test, F_UNLCK},
        {"own lock is never in the way", 'w', false, O_RDWR, Operation::test, F_UNLCK},
        {"released lock", 'u', true, O_RDWR, Operation::write, 0},
    };
    const ScratchFile file("content\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int held = open(file.path.c_str(), O_RDWR);
        if (c.held != 0) {
            ASSERT_EQ(c.held == 'r' ? tvk_lock_read(held) : tvk_lock_write(held), 0);
        }
        ASSERT_EQ(c.held == 'u' ? tvk_unlock(held) : 0, 0);
        const auto ask = [&] {
            const int fd = open(file.path.c_str(), c.asker_flags);
            const int result = c.operation == Operation::read    ? tvk_lock_read(fd)
                               : c.operation == Operation::write ? tvk_lock_write(fd)
                                                                 : tvk_lock_test(fd);
            close(fd);
            return result;
        };
        EXPECT_EQ(c.other ? in_other_process(ask) : ask(), c.result);
        close(held);
    }
}

TEST(DebugLine, LongTextIsCutToAWholeLine) {
    struct Case {
        const char* name;
        std::size_t length;
        std::function<void(const std::string&)> log;
        std::string head; // what the call puts before the text
    };
    const std::vector<Case> cases = {
        {"text that just fits", 1013, [](const std::string& t) { tvk_debug((t + "\n").c_str()); },
         ""},
        {"text one too long", 1014, [](const std::string& t) { tvk_debug((t + "\n").c_str()); },
         ""},
        {"formatted", 5000, [](const std::string& t) { tvk_debugf("tvk_test:%s\n", t.c_str()); },
         "tvk_test:"},
        {"head and value", 5000,
         [](const std::string& t) { tvk_debug_value("tvk_test:", t.c_str()); }, "tvk_test:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFile file("");
        tvk_state = {};
        tvk_state.debug_on = 1;
        tvk_state.debug_fd = open(file.path.c_str(), O_WRONLY);
        const std::string text(c.length, 'y');
        c.log(text);
        close(tvk_state.debug_fd);
        tvk_state = {};
        const std::string whole = "tvkcombo:" + c.head + text;
        EXPECT_EQ(file.contents(), whole.substr(0, 1022) + "\n");
    }
}

} // namespace
