// Stands in for the course program: writes down in the file TVK_RECORD names what the launcher
// handed it, as NUL-separated items: exe=<its path>, pid=<n>, arg=<text>, env:<NAME>=<value>,
// ignored=<its SigIgn line>, and fd=<n> <access mode> <lock another process meets> <target>.
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "files/primitives.h"

extern char** environ;

namespace {

std::string link_of(const std::string& path) {
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    return std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
}

// A process never sees its own locks: a child asks for it.
int lock_seen(int fd) {
    int status = 0;
    const pid_t child = fork();
    if (child == 0)
        _exit(tvk_lock_test(fd));
    waitpid(child, &status, 0);
    return WEXITSTATUS(status);
}

} // namespace

int main(int argc, char** argv) {
    const char* path = std::getenv("TVK_RECORD");
    std::string line;
    std::string text =
        "exe=" + link_of("/proc/self/exe") + '\0' + "pid=" + std::to_string(getpid()) + '\0';
    for (int i = 0; i < argc; ++i)
        text += "arg=" + std::string(argv[i]) + '\0';
    for (char** entry = environ; *entry != nullptr; ++entry)
        text += "env:" + std::string(*entry) + '\0';
    for (std::ifstream status("/proc/self/status"); std::getline(status, line);)
        text += line.starts_with("SigIgn:") ? "ignored=" + line + '\0' : "";
    DIR* fds = opendir("/proc/self/fd");
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || fd == dirfd(fds))
            continue;
        text += "fd=" + std::to_string(fd) + " " + std::to_string(fcntl(fd, F_GETFL) & O_ACCMODE) +
                " " + std::to_string(lock_seen(fd)) + " " +
                link_of("/proc/self/fd/" + std::to_string(fd)) + '\0';
    }
    closedir(fds);
    std::ofstream(path != nullptr ? path : "/dev/null", std::ios::binary) << text;
}
