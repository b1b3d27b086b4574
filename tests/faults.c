// Preloaded into the launcher by the tests. TVK_FAULT=<name>:<n>:<errno>[:<fd>] makes the n-th
// call of read, write, open, fcntl, mkdir or execve (on that descriptor only, if given) fail and
// removes the file TVK_FAULT_MARK names, so that a walk over n learns when a run made no n-th
// call. TVK_WIDE=1 makes standard output wide-oriented. Both leave the environment.
#undef _FORTIFY_SOURCE // read and write are defined here, not wrapped as fortified
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

static char name[16], mark[4096];
static unsigned long nth, calls;
static int fault_errno, only_fd = -1;

__attribute__((constructor)) static void setup(void) {
    const char* fault = getenv("TVK_FAULT");
    if (getenv("TVK_WIDE") != NULL)
        fwide(stdout, 1);
    if (fault == NULL ||
        sscanf(fault, "%15[a-z]:%lu:%d:%d", name, &nth, &fault_errno, &only_fd) < 3)
        fault_errno = 0;
    snprintf(mark, sizeof mark, "%s", getenv("TVK_FAULT_MARK") ? getenv("TVK_FAULT_MARK") : "");
    unsetenv("TVK_WIDE"), unsetenv("TVK_FAULT"), unsetenv("TVK_FAULT_MARK");
}

static int fails(const char* function, long fd) {
    if (fault_errno == 0 || strcmp(function, name) != 0 || (only_fd >= 0 && fd != only_fd) ||
        ++calls != nth)
        return 0;
    unlink(mark);
    return errno = fault_errno, 1;
}

// Through an integer: ISO C has no cast from an object to a function pointer.
#define NEXT(function) ((__typeof__(&function))(uintptr_t)dlsym(RTLD_NEXT, #function))
#define WRAP(type, function, fd, parameters, ...)                                                  \
    type function parameters {                                                                     \
        return fails(#function, fd) ? -1 : NEXT(function)(__VA_ARGS__);                            \
    }
WRAP(ssize_t, read, fd, (int fd, void* buffer, size_t size), fd, buffer, size)
WRAP(ssize_t, write, fd, (int fd, const void* buffer, size_t size), fd, buffer, size)
WRAP(int, mkdir, -1, (const char* path, mode_t mode), path, mode)
WRAP(int, execve, -1, (const char* path, char* const argv[], char* const envp[]), path, argv, envp)

// The optional third argument is taken whether given or not, and passed on.
int open(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = va_arg(rest, mode_t);
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
