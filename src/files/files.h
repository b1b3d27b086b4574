// Files and logging: whole-file locks, byte-wise line reader and string
// writer, the settings (rc) file and the debug log.
#pragma once

#include "core/text.h"

int tvk_lock_read(int fd);
int tvk_lock_write(int fd);
int tvk_unlock(int fd);
int tvk_lock_test(int fd);
int tvk_readline(int fd, char* buffer, unsigned max);
int tvk_writestr(int fd, const char* text);
// tvk_readline on a file read no deeper than budget bytes, which it counts
// down: 0 once the budget is spent, also for a line that the budget cuts.
int tvk_readline_within(int fd, tvk_text& line, std::size_t& budget);

// A directory owned by the effective user or by root and writable by no one
// else, so that nobody else can have put anything in it.
bool tvk_directory_trusted(const char* path);
// $HOME/.tovrek/name into path, when the per-user files may be used: HOME
// trusted, and $HOME/.tovrek (made 0700 first when create and missing) a
// directory of the effective user that no one else can write. false when
// HOME is unset, empty, too long or not trusted: the files count as absent.
bool tvk_home_file(tvk_text& path, const char* name, bool create);
// Opens a per-user file for writing (created 0600, not truncated) and takes
// its write lock. Returns the descriptor, or -1 with *refused telling
// whether the open failed (false) or the lock was refused (true); the file
// is then left as it was.
int tvk_open_locked(const char* path, bool* refused);
// Opens a file for line-by-line reading, non-blocking, and only when it is a
// regular file: a device or a FIFO in its place could feed lines without end
// or stall the run. Returns the descriptor or -1.
int tvk_open_regular(const char* path);

void tvk_rcfile_read();
void tvk_rcfile_write();

void tvk_debug_on();
void tvk_debug(const char* text);
__attribute__((format(printf, 1, 2))) void tvk_debugf(const char* format, ...);
// Logs head + value + newline.
void tvk_debug_value(const char* head, const char* value);
void tvk_debug_off();
