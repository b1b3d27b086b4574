#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "core/state.h"
#include "files/primitives.h"

namespace {

void tvk_lock_fill(struct flock& record, short type) {
    record.l_type = type;
    record.l_whence = SEEK_SET;
    record.l_start = 0;
    record.l_len = 0; // the whole file, however far it grows
    record.l_pid = getpid();
}

int tvk_lock_set(int fd, short type) {
    tvk_lock_fill(tvk_state.lock_request, type);
    return fcntl(fd, F_SETLK, &tvk_state.lock_request);
}

} // namespace

int tvk_lock_read(int fd) {
    return tvk_lock_set(fd, F_RDLCK);
}
int tvk_lock_write(int fd) {
    return tvk_lock_set(fd, F_WRLCK);
}

int tvk_lock_test(int fd) {
    tvk_lock_fill(tvk_state.lock_probe, F_WRLCK);
    fcntl(fd, F_GETLK, &tvk_state.lock_probe);
    return tvk_state.lock_probe.l_type;
}

// One byte per read, so nothing beyond the line is consumed and the
// descriptor's offset always stands right after the bytes returned.
int tvk_readline(int fd, char* buffer, unsigned max) {
    unsigned n = 0;
    while (n < max) {
        char byte;
        const ssize_t got = read(fd, &byte, 1);
        if (got != 1) {
            if (n == 0)
                return static_cast<int>(got); // 0 at the end, -1 on a failure
            break;
        }
        buffer[n++] = byte;
        if (byte == '\n')
            break;
    }
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// One byte per write, so each byte is in the file before the next is sent.
int tvk_writestr(int fd, const char* text) {
    const std::size_t length = std::strlen(text);
    for (std::size_t i = 0; i < length; ++i) {
        if (write(fd, text + i, 1) == -1)
            return -1;
    }
    return static_cast<int>(length + 1);
}

int tvk_readline_within(int fd, tvk_text& line, std::size_t& budget) {
    const std::size_t max = budget < tvk_text_size - 1 ? budget : tvk_text_size - 1;
    const int got = tvk_readline(fd, line, static_cast<unsigned>(max));
    if (got <= 0)
        return got;
    budget -= static_cast<std::size_t>(got);
    if (line[got - 1] == '\n')
        return got;
    if (budget == 0)
        return 0;
    if (static_cast<std::size_t>(got) == max)
        return got; // a piece of a longer line
    // Short of its room and of a newline: the end of the file, or a read
    // that failed, which one more read tells apart.
    char byte;
    return read(fd, &byte, 1) == 0 ? got : -1;
}
