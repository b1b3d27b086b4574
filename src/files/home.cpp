#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "files/home.h"
#include "files/primitives.h"

namespace {

constexpr char home_directory[] = "/.tovrek";

// Owned by the effective user (or by root, where root_may_own) and writable
// by no one else: nobody else can have planted or swapped what is inside.
bool tvk_directory_owned(const char* path, bool root_may_own) {
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    const bool owner = info.st_uid == geteuid() || (root_may_own && info.st_uid == 0);
    return owner && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

bool tvk_directory_trusted(const char* path) {
    return tvk_directory_owned(path, true);
}

bool tvk_home_file(tvk_text& path, const char* name, bool create) {
    const char* home = std::getenv("HOME");
    if (home == nullptr)
        return false;
    tvk_text directory;
    // The file's path is checked first: a home too long for it gets no
    // directory either.
    if (!(tvk_copy(path, home) && tvk_append(path, home_directory) && tvk_append(path, name) &&
          tvk_copy(directory, home) && tvk_append(directory, home_directory)))
        return false;
    // An empty HOME names no directory. Someone else's home (root keeping a
    // user's HOME): their links could point anywhere, and their settings are
    // not ours to run with.
    if (!tvk_directory_trusted(home))
        return false;
    if (create && access(directory, F_OK) != 0)
        mkdir(directory, 0700);
    return tvk_directory_owned(directory, false);
}

int tvk_open_locked(const char* path, bool* refused) {
    *refused = false;
    // Non-blocking, so that a FIFO in place of the file cannot stall the run.
    const int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK, 0600);
    if (fd == -1)
        return -1;
    if (tvk_lock_write(fd) != 0) {
        close(fd);
        *refused = true;
        return -1;
    }
    return fd;
}

int tvk_open_regular(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK);
    struct stat info;
    if (fd == -1 || (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)))
        return fd;
    close(fd);
    return -1;
}
