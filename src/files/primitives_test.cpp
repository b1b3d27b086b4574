#include "files/primitives.h"

#include <termios.h>

#include "unit.h"

using Strings = std::vector<std::string>;

// What tvk_readline_within gives within budget: its lines, then its last result. The bytes are
// in a file on disk, or, failing, sent by a terminal that then hangs up, whose next read fails
// with EIO as a bad disk's would.
static Strings lines_of(const std::string& bytes, std::size_t budget, bool failing) {
    const int fd =
        failing ? posix_openpt(O_RDWR | O_NOCTTY) : open("/tmp", O_TMPFILE | O_RDWR, 0600);
    int other = fd;
    termios raw;
    if (failing && grantpt(fd) == 0 && unlockpt(fd) == 0 &&
        (other = open(ptsname(fd), O_RDWR | O_NOCTTY)) != -1 && tcgetattr(other, &raw) == 0)
        cfmakeraw(&raw), tcsetattr(other, TCSANOW, &raw); // a newline stays one byte
    EXPECT_EQ(write(other, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    failing ? close(other) : lseek(fd, 0, SEEK_SET);
    Strings lines;
    tvk_text line;
    int got;
    while ((got = tvk_readline_within(fd, line, budget)) > 0 && got == int(std::strlen(line)))
        lines.push_back(line);
    close(fd);
    lines.push_back(std::to_string(got));
    return lines;
}

TEST(LineReader, LinesPiecesBudgetAndFailures) {
    const std::string x1023(1023, 'x');
    // Bytes, budget, the lines then 0 (the end) or -1 (a failure), whether the reading fails.
    const std::tuple<std::string, std::size_t, Strings, bool> rows[] = {
        {"", 99, {"0"}, false},
        {"\n", 99, {"\n", "0"}, false},
        {"abc", 99, {"abc", "0"}, false},
        {x1023 + "\n", 9999, {x1023, "\n", "0"}, false}, // a line that fills its room
        {"abc\ndef\n", 8, {"abc\n", "def\n", "0"}, false},
        {"abc\ndef\n", 7, {"abc\n", "0"}, false}, // a line the budget cuts is no line
        {"abc\n", 99, {"abc\n", "-1"}, true},
        {"abc\nde", 99, {"abc\n", "-1"}, true}, // a line the failure cuts is no line
    };
    for (const auto& [bytes, budget, lines, failing] : rows)
        EXPECT_EQ(lines_of(bytes, budget, failing), lines) << bytes;
    tvk_text line = "kept"; // a first read that fails leaves the line as it was
    EXPECT_EQ(tvk_readline(open("/", O_RDONLY), line, 1023), -1);
    EXPECT_STREQ(line, "kept");
}
