// Whole-file locks that never wait, a line reader and a string writer, one
// byte per system call, on descriptors the caller opens and closes.
#pragma once

#include "core/text.h"

int tvk_lock_read(int fd);
int tvk_lock_write(int fd);
// The type of another process's lock in the way of a write lock, or F_UNLCK.
int tvk_lock_test(int fd);
int tvk_readline(int fd, char* buffer, unsigned max);
int tvk_writestr(int fd, const char* text);
// tvk_readline on a file read no deeper than budget bytes, which it counts
// down: 0 once the budget is spent, also for a line that the budget cuts;
// -1 when a read failed, also for a line that the failure cut short.
int tvk_readline_within(int fd, tvk_text& line, std::size_t& budget);
