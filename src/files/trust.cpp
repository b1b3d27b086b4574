#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "files/primitives.h"
#include "files/trust.h"

namespace {

constexpr char home_directory[] = ".tovrek";
// A link to a link to ... : a chain this long is no dotfile set-up.
constexpr int link_hops_max = 8;

// Owned by the effective user (or by root, where root_may_own) and writable
// by no one else: nobody else can have planted or swapped what is inside.
bool tvk_owned(int fd, bool root_may_own) {
    struct stat info;
    if (fstat(fd, &info) != 0) // a directory: it was opened as one
        return false;
    const bool owner = info.st_uid == geteuid() || (root_may_own && info.st_uid == 0);
    return owner && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The directory at path, open, when it passes the test; otherwise -1.
int tvk_open_owned(int at, const char* path, bool root_may_own) {
    const int fd = openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd != -1 && !tvk_owned(fd, root_may_own)) {
        close(fd);
        return -1;
    }
    return fd;
}

// $HOME/.tovrek, open, or -1. Someone else's home (root keeping a user's
// HOME): their links could point anywhere, and their settings are not ours
// to run with.
int tvk_home_directory(const char* name, bool create) {
    const char* home = std::getenv("HOME");
    if (home == nullptr)
        return -1;
    tvk_text path;
    // A home too long for the file's path gets no directory either.
    if (!(tvk_copy(path, home) && tvk_append(path, "/") && tvk_append(path, home_directory) &&
          tvk_append(path, "/") && tvk_append(path, name)))
        return -1;
    const int home_fd = tvk_open_owned(AT_FDCWD, home, true);
    if (home_fd == -1)
        return -1;
    if (create)
        mkdirat(home_fd, home_directory, 0700);
    const int dir = tvk_open_owned(home_fd, home_directory, false);
    close(home_fd);
    return dir;
}

// Moves place to where the link in its place points; its directory is -1
// when it may not go there.
void tvk_follow_link(tvk_place& place, std::string_view target) {
    const std::size_t slash = target.rfind('/');
    tvk_text directory;
    tvk_copy(directory, slash == std::string_view::npos ? "." : tvk_head(target, slash + 1));
    tvk_copy(place.name, slash == std::string_view::npos ? target : tvk_tail(target, slash + 1));
    const int next = tvk_open_owned(place.dir, directory, false);
    close(place.dir);
    place.dir = next;
}

} // namespace

bool tvk_directory_trusted(int at, const char* path) {
    const int fd = tvk_open_owned(at, path, true);
    if (fd == -1)
        return false;
    close(fd);
    return true;
}

tvk_place_found tvk_home_place(tvk_place& place, const char* name, bool create) {
    place.dir = tvk_home_directory(name, create);
    if (place.dir == -1)
        return tvk_place_found::no_directory;
    tvk_copy(place.name, name);
    // A directory of -1 fails readlinkat with EBADF: refused.
    for (int hop = 0; hop <= link_hops_max; ++hop) {
        tvk_text target;
        const ssize_t length = readlinkat(place.dir, place.name, target, sizeof target);
        if (length == -1) {
            if (errno == EINVAL || errno == ENOENT)
                return tvk_place_found::yes; // no link, or no file yet
            break;
        }
        if (static_cast<std::size_t>(length) == sizeof target)
            break;
        tvk_follow_link(place, std::string_view(target, static_cast<std::size_t>(length)));
    }
    close(place.dir);
    return tvk_place_found::link_refused;
}

int tvk_open_locked(const tvk_place& place, bool* refused) {
    *refused = false;
    // Non-blocking, so that a FIFO in place of the file cannot stall the run.
    const int fd =
        openat(place.dir, place.name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd == -1)
        return -1;
    struct stat info;
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!regular || tvk_lock_write(fd) != 0) {
        close(fd);
        *refused = regular;
        return -1;
    }
    return fd;
}

int tvk_open_regular(int at, const char* path, int flags) {
    const int fd = openat(at, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    struct stat info;
    if (fd == -1 || (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)))
        return fd;
    close(fd);
    return -1;
}
