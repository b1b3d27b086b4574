// tvk_test_lockholder r|w FILE: holds a whole-file read or write lock on FILE
// until its standard input reaches end of file. Record locks belong to a
// process, so a test needs this separate process to hold one against the
// launcher. Says "locked" or "refused" on standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "r") != 0 && std::strcmp(argv[1], "w") != 0)) {
        std::fputs("usage: tvk_test_lockholder r|w FILE\n", stderr);
        return 2;
    }
    const bool write_lock = argv[1][0] == 'w';
    const int fd = write_lock ? open(argv[2], O_WRONLY | O_CREAT, 0600) : open(argv[2], O_RDONLY);
    if (fd < 0) {
        std::perror(argv[2]);
        return 2;
    }
    struct flock lock {};
    lock.l_type = write_lock ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &lock) != 0) {
        std::fputs("refused\n", stdout);
        return 1;
    }
    std::fputs("locked\n", stdout);
    std::fflush(stdout);
    char buffer[256];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
