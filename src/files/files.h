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

// $HOME + suffix; false when HOME is unset or the path would not fit.
bool tvk_home_path(tvk_text& path, const char* suffix);
// For a file about to be written: $HOME + suffix into path, and
// $HOME/.tovrek made (0700) when missing; false when either cannot be.
bool tvk_home_prepare(tvk_text& path, const char* suffix);
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
// Applies one line of the rc file to the rc fields of tvk_state.
void tvk_rcfile_line(const char* line);
void tvk_rcfile_write();

void tvk_debug_on();
void tvk_debug(const char* text);
__attribute__((format(printf, 1, 2))) void tvk_debugf(const char* format, ...);
// Logs head + value + newline.
void tvk_debug_value(const char* head, const char* value);
void tvk_debug_off();
