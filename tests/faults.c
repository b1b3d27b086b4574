// Preloaded into the launcher by the tests, to make one system call fail:
//   TVK_FAULT=<name>:<n>:<errno>[:<fd>]  the n-th call of read, write, open,
//     fcntl, mkdir or execve (on that descriptor only, if given) fails, and
//     the file TVK_FAULT_MARK names is removed, so that a walk over n learns
//     when a run made no n-th call;
//   TVK_WIDE=1  standard output is wide-oriented before the launcher starts.
// Both are taken out of the environment: the overlay is left alone.
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
    const char* marker = getenv("TVK_FAULT_MARK");
    if (getenv("TVK_WIDE") != NULL)
        fwide(stdout, 1);
    if (fault != NULL &&
        sscanf(fault, "%15[a-z]:%lu:%d:%d", name, &nth, &fault_errno, &only_fd) < 3)
        fault_errno = 0;
    snprintf(mark, sizeof mark, "%s", marker != NULL ? marker : "");
    unsetenv("TVK_WIDE"), unsetenv("TVK_FAULT"), unsetenv("TVK_FAULT_MARK");
}

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
#define WRAP(type, function, fd, parameters, ...)                                                  \
    type function parameters {                                                                     \
        return fails(#function, fd) ? -1 : NEXT(function)(__VA_ARGS__);                            \
    }

WRAP(ssize_t, read, fd, (int fd, void* buffer, size_t size), fd, buffer, size)
WRAP(ssize_t, write, fd, (int fd, const void* buffer, size_t size), fd, buffer, size)
WRAP(int, mkdir, -1, (const char* path, mode_t mode), path, mode)
WRAP(int, execve, -1, (const char* path, char* const argv[], char* const envp[]), path, argv, envp)

// The optional argument is taken whether given or not, and passed on.
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
