#include "files/primitives.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// A file on disk that holds bytes, open for reading from its start.
int file_of(const std::string& bytes) {
    char path[] = "/tmp/tvk-lines-XXXXXX";
    const int fd = mkstemp(path);
    unlink(path);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    lseek(fd, 0, SEEK_SET);
    return fd;
}

// A terminal whose other end wrote bytes and hung up: it gives them, then
// fails with EIO, as a failing disk would.
int failing_after(const std::string& bytes) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_TRUE(grantpt(master) == 0 && unlockpt(master) == 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios raw;
    tcgetattr(slave, &raw);
    cfmakeraw(&raw); // no newline turned into "\r\n"
    tcsetattr(slave, TCSANOW, &raw);
    EXPECT_EQ(write(slave, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(slave);
    return master;
}

// The lines read by tvk_readline_within within budget, then its last result.
Strings lines_of(int fd, std::size_t budget) {
    Strings lines;
    tvk_text line;
    int got;
    while ((got = tvk_readline_within(fd, line, budget)) > 0) {
        EXPECT_EQ(std::string(line).size(), static_cast<std::size_t>(got));
        lines.push_back(line);
    }
    lines.push_back(std::to_string(got));
    close(fd);
    return lines;
}

struct Read {
    std::string bytes;
    std::size_t budget;
    Strings lines; // then 0 (the end) or -1 (a failure)
};

TEST(LineReader, LinesPiecesAndBudget) {
    const std::string x1023(1023, 'x');
    const Read rows[] = {
        {"", 99, {"0"}},
        {"\n", 99, {"\n", "0"}},
        {"abc", 99, {"abc", "0"}},
        {"a\r\n\tb = c\n", 99, {"a\r\n", "\tb = c\n", "0"}},
        {x1023 + "\n", 9999, {x1023, "\n", "0"}}, // a line that fills its room
        {x1023 + "yy\n", 9999, {x1023, "yy\n", "0"}},
        {"abc\ndef\n", 8, {"abc\n", "def\n", "0"}},
        {"abc\ndef\n", 7, {"abc\n", "0"}}, // a line the budget cuts is no line
        {"abcdef", 3, {"0"}},
    };
    for (const Read& row : rows)
        EXPECT_EQ(lines_of(file_of(row.bytes), row.budget), row.lines) << row.bytes;
}

TEST(LineReader, FailedReads) {
    EXPECT_EQ(lines_of(failing_after("abc\n"), 99), (Strings{"abc\n", "-1"}));
    EXPECT_EQ(lines_of(failing_after("abc\nde"), 99), (Strings{"abc\n", "-1"})); // cut short
    EXPECT_EQ(lines_of(open("/", O_RDONLY), 99), Strings{"-1"});
    // The plain reader gives what it read before the failure, then the failure.
    tvk_text line = "kept";
    const int fd = failing_after("de");
    EXPECT_EQ(tvk_readline(fd, line, 1023), 2);
    EXPECT_STREQ(line, "de");
    EXPECT_EQ(tvk_readline(fd, line, 1023), -1);
    EXPECT_STREQ(line, "de");
    close(fd);
}

} // namespace
