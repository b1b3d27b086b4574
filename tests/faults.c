// Preloaded into the launcher to make it meet a failing system:
//   TVK_FAULT=<name>:<n>:<errno>[:<fd>]  the n-th call of read, write, open,
//     fcntl, mkdir, execve or execvp (on that descriptor only, if given)
//     fails with errno; TVK_FAULT_MARK names a file removed when it does, so
//     a walk over n knows when the run made no n-th call.
//   TVK_WIDE=1  standard output is wide-oriented before the launcher starts.
// Both are taken out of the environment, so the overlay is left alone.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>
#include <wchar.h>

static char name[16], mark[4096];
static unsigned long nth, calls;
static int fault_errno = 0, only_fd = -1;

__attribute__((constructor)) static void setup(void) {
    if (getenv("TVK_WIDE") != NULL)
        fwide(stdout, 1);
    const char* fault = getenv("TVK_FAULT");
    const char* marker = getenv("TVK_FAULT_MARK");
    if (fault != NULL &&
        sscanf(fault, "%15[a-z]:%lu:%d:%d", name, &nth, &fault_errno, &only_fd) >= 3 &&
        marker != NULL)
        snprintf(mark, sizeof mark, "%s", marker);
    unsetenv("TVK_WIDE");
    unsetenv("TVK_FAULT");
    unsetenv("TVK_FAULT_MARK");
}

// Whether this call is the one to fail; errno is then set.
static int fails(const char* function, long fd) {
    if (fault_errno == 0 || strcmp(function, name) != 0 || (only_fd >= 0 && fd != only_fd) ||
        ++calls != nth)
        return 0;
    unlink(mark);
    errno = fault_errno;
    return 1;
}

// Through an integer: ISO C has no cast from an object to a function pointer.
#define NEXT(function) ((__typeof__(&function))(uintptr_t)dlsym(RTLD_NEXT, #function))

ssize_t read(int fd, void* buffer, size_t size) {
    return fails("read", fd) ? -1 : NEXT(read)(fd, buffer, size);
}
ssize_t write(int fd, const void* buffer, size_t size) {
    return fails("write", fd) ? -1 : NEXT(write)(fd, buffer, size);
}
int open(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (mode_t)va_arg(rest, int);
    va_end(rest);
    return fails("open", -1) ? -1 : NEXT(open)(path, flags, mode);
}
int fcntl(int fd, int command, ...) {
    va_list rest;
    va_start(rest, command);
    void* argument = va_arg(rest, void*);
    va_end(rest);
    return fails("fcntl", fd) ? -1 : NEXT(fcntl)(fd, command, argument);
}
int mkdir(const char* path, mode_t mode) {
    return fails("mkdir", -1) ? -1 : NEXT(mkdir)(path, mode);
}
int execve(const char* path, char* const argv[], char* const envp[]) {
    return fails("execve", -1) ? -1 : NEXT(execve)(path, argv, envp);
}
int execvp(const char* path, char* const argv[]) {
    return fails("execvp", -1) ? -1 : NEXT(execvp)(path, argv);
}
