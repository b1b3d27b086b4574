// Preloaded into the launcher by the tests. TVK_FAULT=<call>:<n>:<errno name>[:<part of a path>]
// fails the n-th call of read, write, open(at), fcntl, fsync, ftruncate, mkdir(at), rename(at) or
// execve (counting only those on a path holding the part, if given), or kills the process there for
// the errno name KILL, and removes the file TVK_FAULT_MARK names, so that a walk over n learns when
// a run made no n-th call. TVK_SWAP=<part>:<link>:<target> points the link elsewhere right before
// the first open or lock of a path holding the part. TVK_FSIZE=<bytes> limits the size of the files
// the launcher writes. TVK_WIDE=1 makes standard output wide-oriented. TVK_SPOIL=<file> zeroes the
// plane size of that catalog right before catopen; TVK_NOPROC=1 makes catopen fail on what /proc
// names, as without /proc. All leave the environment.
#undef _FORTIFY_SOURCE // read and write are defined here, not wrapped as fortified
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <nl_types.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>
#include <wchar.h>

static char name[16], error[16], part[256], mark[4096], swap[3][4096], spoil[4096];
static unsigned long nth, calls;
static int fault_errno, noproc;

__attribute__((constructor)) static void setup(void) {
    const char* fault = getenv("TVK_FAULT");
    if (getenv("TVK_WIDE") != NULL)
        fwide(stdout, 1);
    if (fault != NULL && sscanf(fault, "%15[a-z]:%lu:%15[A-Z]:%255s", name, &nth, error, part) >= 3)
        for (int e = 1; e < 256 && fault_errno == 0; ++e)
            fault_errno = strerrorname_np(e) && strcmp(strerrorname_np(e), error) == 0 ? e : 0;
    fault_errno = strcmp(error, "KILL") == 0 ? -1 : fault_errno;
    const char* fsize = getenv("TVK_FSIZE"); // lifted again in the overlay, preloaded too
    setrlimit(RLIMIT_FSIZE,
              &(struct rlimit){fsize ? strtoul(fsize, NULL, 10) : RLIM_INFINITY, RLIM_INFINITY});
    if (getenv("TVK_SWAP") != NULL)
        sscanf(getenv("TVK_SWAP"), "%4095[^:]:%4095[^:]:%4095s", swap[0], swap[1], swap[2]);
    snprintf(mark, sizeof mark, "%s", getenv("TVK_FAULT_MARK") ? getenv("TVK_FAULT_MARK") : "");
    snprintf(spoil, sizeof spoil, "%s", getenv("TVK_SPOIL") ? getenv("TVK_SPOIL") : "");
    noproc = getenv("TVK_NOPROC") != NULL;
    unsetenv("TVK_WIDE"), unsetenv("TVK_FAULT"), unsetenv("TVK_FAULT_MARK"), unsetenv("TVK_SWAP"),
        unsetenv("TVK_FSIZE"), unsetenv("TVK_SPOIL"), unsetenv("TVK_NOPROC");
}

// A call counts when it is of the named function and, with a part given, on a path holding it:
// the path given, or the one the descriptor is open on.
// The path the descriptor is open on, into a zeroed buffer; empty when unknown.
static const char* path_of(int fd, char (*link)[4096]) {
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return readlink(self, *link, sizeof *link - 1), *link;
}

static int fails(const char* function, int fd, const char* path) {
    char link[4096] = "";
    if (fault_errno == 0 || strcmp(function, name) != 0)
        return 0;
    path = path == NULL && part[0] != '\0' ? path_of(fd, &link) : path;
    if ((part[0] != '\0' && (path == NULL || strstr(path, part) == NULL)) || ++calls != nth)
        return 0;
    unlink(mark);
    if (fault_errno == -1)
        raise(SIGKILL);
    return errno = fault_errno, 1;
}

static void swapped(const char* path) {
    if (swap[0][0] != '\0' && strstr(path, swap[0]) != NULL) {
        swap[0][0] = '\0';
        if (unlink(swap[1]) != 0 || symlink(swap[2], swap[1]) != 0)
            abort(); // a swap that did not happen would let a row pass for nothing
    }
}

// Through an integer: ISO C has no cast from an object to a function pointer.
#define NEXT(function) ((__typeof__(&function))(uintptr_t)dlsym(RTLD_NEXT, #function))
#define WRAP(type, function, counted, fd, path, parameters, ...)                                   \
    type function parameters {                                                                     \
        return fails(counted, fd, path) ? -1 : NEXT(function)(__VA_ARGS__);                        \
    }
WRAP(ssize_t, read, "read", fd, NULL, (int fd, void* buffer, size_t size), fd, buffer, size)
WRAP(ssize_t, write, "write", fd, NULL, (int fd, const void* buffer, size_t size), fd, buffer, size)
WRAP(int, fsync, "fsync", fd, NULL, (int fd), fd)
WRAP(int, ftruncate, "ftruncate", fd, NULL, (int fd, off_t length), fd, length)
WRAP(int, mkdirat, "mkdir", -1, path, (int at, const char* path, mode_t mode), at, path, mode)
WRAP(int, renameat, "rename", -1, to, (int at, const char* from, int at2, const char* to), at, from,
     at2, to)
WRAP(int, execve, "execve", -1, path, (const char* path, char* const argv[], char* const envp[]),
     path, argv, envp)

// The optional third argument is taken whether given or not, and passed on.
int openat(int at, const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = va_arg(rest, mode_t);
    va_end(rest);
    swapped(path);
    return fails("open", -1, path) ? -1 : NEXT(openat)(at, path, flags, mode);
}
int fcntl(int fd, int command, ...) {
    va_list rest;
    va_start(rest, command);
    void* argument = va_arg(rest, void*);
    char link[4096] = "";
    va_end(rest);
    swapped(path_of(fd, &link));
    return fails("fcntl", fd, NULL) ? -1 : NEXT(fcntl)(fd, command, argument);
}
nl_catd catopen(const char* path, int flag) {
    const int fd = spoil[0] != '\0' ? NEXT(openat)(AT_FDCWD, spoil, O_WRONLY) : -1;
    if (spoil[0] != '\0' && (fd == -1 || pwrite(fd, "\0\0\0\0", 4, 4) != 4 || close(fd) != 0))
        abort();
    if (noproc && strncmp(path, "/proc/", 6) == 0)
        return errno = ENOENT, (nl_catd)-1;
    return NEXT(catopen)(path, flag);
}
