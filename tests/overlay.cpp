// Stands in for the course program: writes down in the file named by
// TVK_RECORD what the launcher handed it, one item per line, texts escaped:
//   exe <path>  pid <pid>  arg <text>  env <NAME=value>
//   fd <n> <access mode> <lock type seen by another process> <target>
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/files.h"

extern char** environ;

namespace {

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text)
        out += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
    return out;
}

std::string link_of(const std::string& path) {
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    return escaped(std::string_view(target, n > 0 ? static_cast<size_t>(n) : 0));
}

// A process never sees its own locks: a child asks for it. Only inherited
// files are asked about, not the standard descriptors.
int lock_seen(int fd) {
    if (fd <= 2)
        return -1;
    const pid_t child = fork();
    if (child == 0)
        _exit(tvk_lock_test(fd));
    int status = 0;
    waitpid(child, &status, 0);
    return WEXITSTATUS(status);
}

} // namespace

int main(int argc, char** argv) {
    const char* path = std::getenv("TVK_RECORD");
    if (path == nullptr)
        return 0;
    std::string text =
        "exe " + link_of("/proc/self/exe") + "\npid " + std::to_string(getpid()) + "\n";
    for (int i = 0; i < argc; ++i)
        text += "arg " + escaped(argv[i]) + "\n";
    for (char** entry = environ; *entry != nullptr; ++entry)
        text += "env " + escaped(*entry) + "\n";
    DIR* fds = opendir("/proc/self/fd");
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || fd == dirfd(fds))
            continue;
        text += "fd " + std::to_string(fd) + " " + std::to_string(fcntl(fd, F_GETFL) & O_ACCMODE) +
                " " + std::to_string(lock_seen(fd)) + " " +
                link_of("/proc/self/fd/" + std::string(entry->d_name)) + "\n";
    }
    closedir(fds);
    FILE* file = std::fopen(path, "w");
    std::fputs(text.c_str(), file);
    return std::fclose(file);
}
