// Where the per-user files may be used, and how they are opened.
#pragma once

#include "core/text.h"

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
