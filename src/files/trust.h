// What the launcher may open: directories nobody else can write, the per-user
// files under a trusted home, regular files without blocking. Each check is
// made on the descriptor that is then used, never on a name opened again, so
// a link swapped in between can redirect nothing.
#pragma once

#include "core/text.h"

// A directory owned by the effective user or by root and writable by no one
// else, so that nobody else can have put anything in it. at: a directory
// descriptor, or AT_FDCWD.
bool tvk_directory_trusted(int at, const char* path);

// A per-user file: the directory that holds it and its name there.
struct tvk_place {
    int dir;
    tvk_text name;
};
enum class tvk_place_found { yes, no_directory, link_refused };
// The place of $HOME/.tovrek/<name>. The files may be used only when HOME is
// trusted and $HOME/.tovrek (made 0700 first when create and missing) is a
// directory of the effective user that no one else can write; HOME unset,
// empty, too long for the file's path, or not trusted counts as no directory.
// A link in place of the file is followed into the directory it names when
// that directory passes the same test as .tovrek. When found, place.dir is
// open and the caller closes it.
tvk_place_found tvk_home_place(tvk_place& place, const char* name, bool create);

// Opens a per-user file for writing (created 0600, not truncated, no link
// followed) and takes its write lock. Returns the descriptor, or -1 with
// *refused telling whether the lock was refused (true) or the open failed or
// found no regular file (false); the file is then left as it was.
int tvk_open_locked(const tvk_place& place, bool* refused);
// Opens a file for line-by-line reading, non-blocking, and only when it is a
// regular file: a device or a FIFO in its place could feed lines without end
// or stall the run. flags are added to the open's. Returns the descriptor or -1.
int tvk_open_regular(int at, const char* path, int flags);
