#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "core/why.h"
#include "files/primitives.h"
#include "files/trust.h"

namespace {

constexpr char home_directory[] = ".tovrek";
// A link to a link to ... in place of a per-user file: a chain this long is
// no dotfile set-up.
constexpr int link_hops_max = 8;
// As many links as the kernel follows in one lookup.
constexpr int way_links_max = 40;

bool tvk_owner_trusted(const struct stat& info, bool root_may_own) {
    return info.st_uid == tvk_euid() || (root_may_own && info.st_uid == 0);
}

// Owned by the effective user (or by root, where root_may_own) and writable
// by no one else: nobody else can have planted or swapped what is inside.
// goal: what the directory is on the way to, for the diagnosis.
bool tvk_owned(const char* name, const struct stat& info, bool root_may_own,
               const char* goal = nullptr) {
    const char* rule = !tvk_owner_trusted(info, root_may_own) ? "owned by another user"
                       : (info.st_mode & S_IWOTH) != 0        ? "writable by others"
                       : (info.st_mode & S_IWGRP) != 0        ? "writable by its group"
                                                              : nullptr;
    return rule == nullptr ||
           tvk_refused("%s (owner %u, mode %04o) is %s%s%s", name,
                       static_cast<unsigned>(info.st_uid),
                       static_cast<unsigned>(info.st_mode & 07777), rule,
                       goal != nullptr ? ", on the way to " : "", goal != nullptr ? goal : "");
}

// A walk along a way: the directory it stands in, open, and what is left.
struct tvk_walk {
    int dir;
    bool owned; // dir is the walk's own, not the caller's, and closed when it moves on
    struct stat info;
    tvk_text rest;
    std::size_t at;  // where in rest the next entry begins
    tvk_text walked; // the path of dir, kept only for the diagnosis
    const char* goal;
};

// What joins an entry to the path walked: nothing at its start or after "/".
const char* tvk_walk_separator(const tvk_walk& walk) {
    const std::string_view walked = walk.walked;
    return walked.empty() || walked.ends_with('/') ? "" : "/";
}

// Moves the walk to dir, whose status info holds, or which it asks for.
bool tvk_walk_to(tvk_walk& walk, int dir, std::string_view walked,
                 const struct stat* info = nullptr) {
    if (walk.owned)
        close(walk.dir);
    walk.dir = dir;
    walk.owned = dir != -1;
    if (tvk_state.opt_diagnose) {
        if (walked.starts_with('/'))
            walk.walked[0] = '\0';
        else
            tvk_append(walk.walked, tvk_walk_separator(walk));
        tvk_append(walk.walked, walked);
    }
    if (info != nullptr)
        walk.info = *info;
    return dir != -1 && (info != nullptr || fstat(dir, &walk.info) == 0);
}

// A directory a way passes through, judged with the entry it goes on to: in
// a sticky directory only that entry's owner can move or replace it.
bool tvk_way_passes(const char* name, const struct stat& dir, const struct stat& next,
                    const char* goal) {
    const mode_t mode = dir.st_mode;
    if ((mode & (S_IWGRP | S_IWOTH)) == 0 || (mode & S_ISVTX) == 0 || !tvk_owner_trusted(dir, true))
        return tvk_owned(name, dir, true, goal);
    return tvk_owner_trusted(next, true) ||
           tvk_refused("%s (mode %04o) is shared, and what it holds on the way to %s is "
                       "another user's (owner %u)",
                       name, static_cast<unsigned>(mode & 07777), goal,
                       static_cast<unsigned>(next.st_uid));
}

// Goes on where the link points, from "/" or from the directory that holds
// it, and then on with the rest of the path.
bool tvk_way_link(tvk_walk& walk, int link) {
    tvk_text target;
    const ssize_t length = readlinkat(link, "", target, sizeof target - 1);
    if (length < 0)
        return tvk_refused("a link on the way to %s cannot be read: %s", walk.goal,
                           std::strerror(errno));
    if (length == 0 || static_cast<std::size_t>(length) == sizeof target - 1)
        return tvk_refused("a link on the way to %s is too long", walk.goal);
    target[length] = '\0';
    if (!(tvk_append(target, "/") && tvk_append(target, tvk_tail(walk.rest, walk.at))))
        return tvk_refused("the way to %s is too long", walk.goal);
    tvk_copy(walk.rest, target);
    walk.at = 0;
    return target[0] != '/' || tvk_walk_to(walk, openat(AT_FDCWD, "/", O_PATH | O_CLOEXEC), "/");
}

// One entry further along, opened without following it.
bool tvk_way_step(tvk_walk& walk, const char* entry, int& links) {
    const int fd = openat(walk.dir, entry, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat next;
    if (fd == -1 || fstat(fd, &next) != 0) {
        const int error = errno;
        if (fd != -1)
            close(fd);
        return tvk_refused("%s%s%s: %s", walk.walked, tvk_walk_separator(walk), entry,
                           std::strerror(error));
    }
    bool passed = tvk_way_passes(walk.walked, walk.info, next, walk.goal);
    if (passed && S_ISDIR(next.st_mode))
        return tvk_walk_to(walk, fd, entry, &next);
    if (passed && S_ISLNK(next.st_mode))
        passed = ++links <= way_links_max
                     ? tvk_way_link(walk, fd)
                     : tvk_refused("too many links on the way to %s", walk.goal);
    else if (passed)
        passed =
            tvk_refused("%s%s%s is no directory", walk.walked, tvk_walk_separator(walk), entry);
    close(fd);
    return passed;
}

// Walks what is left of the path; false as soon as a step fails.
bool tvk_way_walk(tvk_walk& walk) {
    int links = 0;
    for (;;) {
        const std::string_view rest = tvk_tail(walk.rest, walk.at);
        const std::size_t start = rest.find_first_not_of('/');
        if (start == std::string_view::npos)
            return true;
        const std::string_view name =
            tvk_head(tvk_tail(rest, start), rest.find('/', start) - start);
        walk.at += start + name.size();
        tvk_text entry;
        tvk_copy(entry, name);
        if (name != "." && !tvk_way_step(walk, entry, links))
            return false;
    }
}

// Starts a walk of a relative path in the working directory, whose own way
// is walked first from "/" along the path getcwd gives.
bool tvk_walk_cwd(tvk_walk& walk, const char* path) {
    struct stat here;
    if (getcwd(walk.rest, sizeof walk.rest) == nullptr || stat(".", &here) != 0)
        return tvk_refused("the way to the working directory cannot be read: %s",
                           std::strerror(errno));
    if (!tvk_walk_to(walk, openat(AT_FDCWD, "/", O_PATH | O_CLOEXEC), "/") || !tvk_way_walk(walk))
        return false;
    if (walk.info.st_dev != here.st_dev || walk.info.st_ino != here.st_ino)
        return tvk_refused("the working directory is no longer at %s", walk.walked);
    walk.at = 0;
    return tvk_copy(walk.rest, path);
}

// $HOME/.tovrek, open, or -1; -2 when it is not made yet. Someone else's home (root keeping a
// user's HOME): their links could point anywhere, and their settings are not ours to run with.
int tvk_home_directory(const char* name, bool create) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') { // not the working directory
        tvk_refused("HOME is unset or empty");
        return -1;
    }
    tvk_text path;
    // A home too long for the file's path gets no directory either.
    if (!(tvk_copy(path, home) && tvk_append(path, "/") && tvk_append(path, home_directory) &&
          tvk_append(path, "/") && tvk_append(path, name))) {
        tvk_refused("HOME is too long");
        return -1;
    }
    struct stat info;
    const int home_fd = tvk_way_open(AT_FDCWD, home, info);
    if (home_fd == -1)
        return -1;
    int dir = -1;
    if (tvk_owned(home, info, true)) {
        if (create)
            mkdirat(home_fd, home_directory, 0700);
        dir = tvk_way_open(home_fd, home_directory, info, home);
        if (dir == -1 && !create &&
            faccessat(home_fd, home_directory, F_OK, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            dir = -2;
    }
    close(home_fd);
    if (dir >= 0 && !tvk_owned(home_directory, info, false)) {
        close(dir);
        return -1;
    }
    return dir;
}

// Moves place to where the link in its place points: its directory is -1
// when it may not go there.
void tvk_follow_link(tvk_place& place, std::string_view target) {
    tvk_text directory;
    tvk_copy(place.name, tvk_split_path(directory, target));
    struct stat info;
    int next = tvk_way_open(place.dir, directory, info);
    if (next != -1 && !tvk_owned(directory, info, false)) {
        close(next);
        next = -1;
    }
    close(place.dir);
    place.dir = next;
}

} // namespace

uid_t tvk_euid() {
    static uid_t euid = static_cast<uid_t>(-1); // asked once: no set-id program changes it
    if (euid == static_cast<uid_t>(-1))
        euid = geteuid();
    return euid;
}

int tvk_way_open(int at, const char* path, struct stat& info, const char* at_name) {
    tvk_walk walk;
    walk.dir = at; // the caller's, until the walk moves on
    walk.owned = false;
    walk.at = 0;
    walk.walked[0] = '\0';
    walk.goal = path;
    bool walked;
    if (path[0] == '/')
        walked = tvk_walk_to(walk, openat(AT_FDCWD, "/", O_PATH | O_CLOEXEC), "/") &&
                 tvk_copy(walk.rest, path);
    else if (at == AT_FDCWD)
        walked = tvk_walk_cwd(walk, path);
    else {
        tvk_copy(walk.walked, at_name); // for the diagnosis: cut, it still names the place
        walked = fstat(at, &walk.info) == 0 && tvk_copy(walk.rest, path);
    }
    if (!(walked && tvk_way_walk(walk))) {
        if (walk.owned)
            close(walk.dir);
        return -1;
    }
    info = walk.info;
    // A path that named at itself: a descriptor of the caller's own to close.
    return walk.owned ? walk.dir : openat(at, ".", O_PATH | O_CLOEXEC);
}

int tvk_trusted_open(int at, const char* path) {
    struct stat info;
    const int fd = tvk_way_open(at, path, info);
    if (fd == -1 || tvk_owned(path, info, true))
        return fd;
    close(fd);
    return -1;
}

bool tvk_directory_trusted(int at, const char* path) {
    const int fd = tvk_trusted_open(at, path);
    if (fd == -1)
        return false;
    close(fd);
    return true;
}

tvk_place_found tvk_home_place(tvk_place& place, const char* name, bool create) {
    place.dir = tvk_home_directory(name, create);
    if (place.dir < 0)
        return place.dir == -1 ? tvk_place_found::no_directory : tvk_place_found::not_made;
    tvk_copy(place.name, name);
    for (int hop = 0; hop <= link_hops_max; ++hop) {
        tvk_text target;
        const ssize_t length = readlinkat(place.dir, place.name, target, sizeof target);
        if (length == -1 && (errno == EINVAL || errno == ENOENT))
            return tvk_place_found::yes; // no link, or no file yet
        if (length == -1 || static_cast<std::size_t>(length) == sizeof target) {
            tvk_refused("the link %s cannot be read: %s", place.name,
                        length == -1 ? std::strerror(errno) : "it is too long");
            close(place.dir);
            return tvk_place_found::link_refused;
        }
        tvk_follow_link(place, std::string_view(target, static_cast<std::size_t>(length)));
        if (place.dir == -1)
            return tvk_place_found::link_refused;
    }
    tvk_refused("more than %i links lead to %s", link_hops_max, name);
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
    if (fd == -1)
        return -1;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return fd;
    close(fd);
    return -1;
}

bool tvk_file_private(int fd, const char* name) {
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && tvk_owned(name, info, false);
}

void tvk_refused_file(int at, const char* path) {
    const int error = errno;
    struct stat info;
    if (tvk_state.opt_diagnose && fstatat(at, path, &info, 0) == 0 && !S_ISREG(info.st_mode))
        tvk_refused("not a regular file");
    else
        tvk_refused("%s", std::strerror(error));
}

bool tvk_file_owned(const char* path) {
    tvk_text directory;
    const char* name = tvk_split_path(directory, path).data(); // the end of path: NUL-terminated
    struct stat dir_info;
    const int dir = tvk_way_open(AT_FDCWD, directory, dir_info);
    if (dir == -1)
        return false;
    const int fd = tvk_open_regular(dir, name, 0);
    close(dir);
    if (fd == -1)
        return false;
    struct stat info;
    const bool owned = fstat(fd, &info) == 0 && tvk_owned(path, info, true) &&
                       tvk_way_passes(directory, dir_info, info, path);
    close(fd);
    return owned;
}
