#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "files/files.h"

bool tvk_home_path(tvk_text& path, const char* suffix) {
    const char* home = std::getenv("HOME");
    // An empty HOME names no home: without this the files would land in "/".
    if (home == nullptr || home[0] == '\0')
        return false;
    return tvk_copy(path, home) && tvk_append(path, suffix);
}

bool tvk_home_prepare(tvk_text& path, const char* suffix) {
    // The file's path is checked first: a home too long for it gets no
    // directory either.
    tvk_text directory;
    if (!tvk_home_path(path, suffix) || !tvk_home_path(directory, "/.tovrek"))
        return false;
    return access(directory, F_OK) == 0 || mkdir(directory, 0700) == 0;
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
