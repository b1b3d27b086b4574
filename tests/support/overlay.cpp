// Stand-in for the overlay program: records what it inherited from the
// launcher (arguments, environment, open descriptors and their locks) in the
// file named by TVK_TEST_RECORD, then exits 0.
//
// Record lines, one item each; texts escape backslash and newline:
//   pid <pid>
//   argc <count>
//   argv <index> <text>
//   env <name=value>
//   fd <number> <F_GETFL flags> <link target>
//   lock <number> <l_type> <l_pid>      (regular files only)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "line_escape.h"

extern char** environ;

namespace {

std::vector<int> open_descriptors() {
    std::vector<int> fds;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return fds;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != dirfd(dir))
            fds.push_back(fd);
    }
    closedir(dir);
    std::sort(fds.begin(), fds.end());
    return fds;
}

std::string link_target(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    char target[4096];
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

bool is_regular_file(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// A process never sees its own record locks through F_GETLK, so a child asks
// on the inherited descriptor and reports what conflicts with a whole-file
// write lock.
std::string lock_line(int fd) {
    int channel[2];
    if (pipe(channel) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        if (fcntl(fd, F_GETLK, &probe) == 0) {
            const std::string line = "lock " + std::to_string(fd) + " " +
                                     std::to_string(probe.l_type) + " " +
                                     std::to_string(probe.l_pid) + "\n";
            (void)!write(channel[1], line.data(), line.size());
        }
        _exit(0);
    }
    close(channel[1]);
    std::string line;
    if (child > 0) {
        char buffer[256];
        ssize_t got = 0;
        while ((got = read(channel[0], buffer, sizeof buffer)) > 0)
            line.append(buffer, static_cast<size_t>(got));
        waitpid(child, nullptr, 0);
    }
    close(channel[0]);
    return line;
}

std::string record(int argc, char** argv) {
    std::string text = "pid " + std::to_string(getpid()) + "\n";
    text += "argc " + std::to_string(argc) + "\n";
    for (int i = 0; i < argc; ++i)
        text += "argv " + std::to_string(i) + " " + tvktest::line_escaped(argv[i]) + "\n";
    for (char** entry = environ; *entry != nullptr; ++entry)
        text += "env " + tvktest::line_escaped(*entry) + "\n";
    for (const int fd : open_descriptors()) {
        text += "fd " + std::to_string(fd) + " " + std::to_string(fcntl(fd, F_GETFL)) + " " +
                tvktest::line_escaped(link_target(fd)) + "\n";
        if (is_regular_file(fd))
            text += lock_line(fd);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const char* path = std::getenv("TVK_TEST_RECORD");
    if (path == nullptr)
        return 0;
    // Gathered before the record file is opened, so that file is not listed.
    const std::string text = record(argc, argv);
    FILE* file = std::fopen(path, "w");
    if (file == nullptr)
        return 0;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return 0;
}
