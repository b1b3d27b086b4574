// What the launcher may open. A directory is judged by its whole way: every
// directory the kernel searches to reach it from "/", those that hold a link
// met on the way and the way to that link's target included. Each step is
// opened on the descriptor of the one before, never by a name looked up
// again, so nothing swapped in between can redirect the walk.
#pragma once

#include <sys/stat.h>

#include "core/text.h"

// The effective user, asked once: no set-id program changes it.
uid_t tvk_euid();

// Opens the directory that path names from at (a directory descriptor whose
// own way is safe, or AT_FDCWD for the working directory, whose way is then
// judged too), when every directory on the way is owned by root or the
// effective user and writable by neither group nor others; a sticky one that
// others may write passes when the entry the way goes on to is owned by root
// or the effective user too. The directory itself is not judged: it keeps the
// rule of its use. Returns an O_PATH descriptor, its status in info, or -1.
// at_name names at in the diagnosis.
int tvk_way_open(int at, const char* path, struct stat& info, const char* at_name = ".");

// A directory on a safe way that is owned by the effective user or by root
// and writable by no one else: nobody else can have put anything in it.
// Opened as tvk_way_open does, or -1.
int tvk_trusted_open(int at, const char* path);
bool tvk_directory_trusted(int at, const char* path);

// A per-user file: the directory that holds it and its name there.
struct tvk_place {
    int dir;
    tvk_text name;
};
// not_made: HOME is trusted and .tovrek is not there yet (looked up only).
enum class tvk_place_found { yes, no_directory, not_made, link_refused };
// The place of $HOME/.tovrek/<name>. The files may be used only when HOME is
// a trusted directory and $HOME/.tovrek (made 0700 first when create and
// missing) is a directory of the effective user that no one else can write,
// both on safe ways; HOME unset, too long for the file's path, or not trusted
// counts as no directory. A link in place of the file is followed when the
// directory it names passes the same tests as .tovrek. When found, place.dir
// is open and the caller closes it.
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
// A regular file, open at fd, of the effective user's that no one else can
// write: settings of hers that nobody else can have put words in.
bool tvk_file_private(int fd, const char* name);
// Keeps why tvk_open_regular refused the file: its open's error, or that it
// is no regular file.
void tvk_refused_file(int at, const char* path);
// A regular file that nobody but root and the effective user can write,
// reached on a safe way: what is read by its name later is what is there now.
bool tvk_file_owned(const char* path);
