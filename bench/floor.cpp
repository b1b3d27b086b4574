// The floor of the launch benchmark: the work every launch must do and
// nothing else. It finds its tree through its own real path, reads the stamp
// and the rc file one byte per read, the rc file under a read lock, takes the
// user's locale and execs the overlay with the action as argv[0]. bench/run
// installs it as <root>/bin/tvkfloor and builds it exactly as the launcher.
//
//   tvkfloor [NAME=VALUE]...
//
// The arguments are the variables the launcher exports: the overlay gets this
// program's environment with them after it, as the launcher's. Any step that
// fails ends the run with status 127, so a timed run proves it did them all.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr int failed = 127;
constexpr std::size_t env_max = 64;

// One byte per read up to the end of the file, or of its first line.
bool read_bytes(const char* path, bool locked, bool first_line) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd == -1)
        return false;
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    bool read_all = !locked || fcntl(fd, F_SETLK, &lock) == 0;
    char byte = '\0';
    while (read_all && !(first_line && byte == '\n') && read(fd, &byte, 1) == 1) {
    }
    close(fd);
    return read_all;
}

// dir + tail in path; false when it does not fit.
bool join(char (&path)[PATH_MAX], const char* dir, const char* tail) {
    const std::size_t head = std::strlen(dir);
    const std::size_t rest = std::strlen(tail);
    if (head + rest >= sizeof path)
        return false;
    std::memcpy(path, dir, head);
    std::memcpy(path + head, tail, rest + 1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    char root[PATH_MAX];
    char path[PATH_MAX];
    if (argc < 1 || realpath(argv[0], root) == nullptr)
        return failed;
    char* marker = std::strstr(root, "/tovrek");
    if (marker == nullptr)
        return failed;
    marker[std::strlen("/tovrek")] = '\0';
    const char* home = std::getenv("HOME");
    if (!join(path, root, "/ver/tvkcombo") || !read_bytes(path, false, true) || home == nullptr ||
        !join(path, home, "/.tovrek/tvkcombo.rc") || !read_bytes(path, true, false) ||
        std::setlocale(LC_ALL, "") == nullptr)
        return failed;

    // More than env_max variables would be cut, which bench/run's check of
    // the overlay's environment would show.
    char* env[env_max + 1];
    std::size_t n = 0;
    for (char** variable = environ; *variable != nullptr && n < env_max; ++variable)
        env[n++] = *variable;
    for (int i = 1; i < argc && n < env_max; ++i)
        env[n++] = argv[i];
    env[n] = nullptr;
    char action[] = "playback";
    char* overlay_argv[] = {action, nullptr};
    if (join(path, root, "/bin/tvkcombo.ovl"))
        execve(path, overlay_argv, env);
    return failed;
}
