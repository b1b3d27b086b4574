// tvk_test_faultinject: preloaded (LD_PRELOAD) into the launcher by tests, so
// that one chosen system call fails as it would on a broken disk or system.
//
//   TVK_FAULT=<name>:<n>:<errno>  the n-th call (from 1) of <name> returns -1
//                                 with errno set, without reaching the system
//   TVK_FAULT_COUNT=<file>        rewritten with one "<name> <calls>" line per
//                                 wrapped function before every exec and at
//                                 exit: the calls the run made, so a test can
//                                 walk n over all of them
//
// Both act on the process they are given to only: they are taken out of the
// environment handed on by an exec, so the overlay neither fails nor counts.
// The wrappers allocate nothing and keep no state beyond the counters.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

// The functions the launcher imports that can fail on their own.
enum fault_function { f_read, f_write, f_open, f_fcntl, f_mkdir, f_execve, f_execvp, f_count };

static const char* const fault_names[f_count] = {"read",  "write",  "open",  "fcntl",
                                                 "mkdir", "execve", "execvp"};
static unsigned long fault_calls[f_count];
static void* fault_next[f_count];

static int fault_ready;
static int fault_chosen = -1;
static unsigned long fault_nth;
static int fault_errno;

// Reads TVK_FAULT once; a malformed value injects nothing.
static void fault_setup(void) {
    if (fault_ready)
        return;
    fault_ready = 1;
    const char* request = getenv("TVK_FAULT");
    const char* colon = request == NULL ? NULL : strchr(request, ':');
    if (colon == NULL)
        return;
    char* end = NULL;
    fault_nth = strtoul(colon + 1, &end, 10);
    if (*end != ':')
        return;
    fault_errno = (int)strtol(end + 1, NULL, 10);
    const size_t length = (size_t)(colon - request);
    for (int i = 0; i < f_count; ++i)
        if (strlen(fault_names[i]) == length && strncmp(request, fault_names[i], length) == 0)
            fault_chosen = i;
}

// Counts the call; 1 when it is the one to fail, with errno already set.
static int fault_now(enum fault_function which) {
    fault_setup();
    ++fault_calls[which];
    if ((int)which != fault_chosen || fault_calls[which] != fault_nth)
        return 0;
    errno = fault_errno;
    return 1;
}

// The definition the wrapper hides, stored into a function pointer of its
// own type (ISO C has no cast from object to function pointer).
static void fault_real(enum fault_function which, void* function_pointer, size_t size) {
    if (fault_next[which] == NULL)
        fault_next[which] = dlsym(RTLD_NEXT, fault_names[which]);
    memcpy(function_pointer, &fault_next[which], size);
}

#define FAULT_REAL(variable, which) fault_real(which, &variable, sizeof variable)

typedef ssize_t (*read_function)(int, void*, size_t);
typedef ssize_t (*write_function)(int, const void*, size_t);
typedef int (*open_function)(const char*, int, ...);
typedef int (*fcntl_function)(int, int, ...);
typedef int (*mkdir_function)(const char*, mode_t);
typedef int (*execve_function)(const char*, char* const[], char* const[]);

static size_t fault_number(char* text, unsigned long value) {
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < n; ++i)
        text[i] = digits[n - 1 - i];
    return n;
}

static void fault_save_counts(void) {
    const char* path = getenv("TVK_FAULT_COUNT");
    if (path == NULL)
        return;
    open_function real_open;
    write_function real_write;
    FAULT_REAL(real_open, f_open);
    FAULT_REAL(real_write, f_write);
    const int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    for (int i = 0; i < f_count; ++i) {
        char line[64];
        const size_t name = strlen(fault_names[i]);
        memcpy(line, fault_names[i], name);
        line[name] = ' ';
        size_t length = name + 1 + fault_number(line + name + 1, fault_calls[i]);
        line[length++] = '\n';
        (void)!real_write(fd, line, length);
    }
    close(fd);
}

__attribute__((destructor)) static void fault_at_exit(void) {
    fault_save_counts();
}

static int fault_ours(const char* entry) {
    return strncmp(entry, "TVK_FAULT=", 10) == 0 || strncmp(entry, "TVK_FAULT_COUNT=", 16) == 0;
}

// envp without our variables; an environment too big to copy is handed on whole.
static char* const* fault_env_for_exec(char* const* envp) {
    static char* kept[4096];
    size_t n = 0;
    for (char* const* entry = envp; *entry != NULL; ++entry) {
        if (fault_ours(*entry))
            continue;
        if (n + 1 == sizeof kept / sizeof kept[0])
            return envp;
        kept[n++] = *entry;
    }
    kept[n] = NULL;
    return kept;
}

ssize_t read(int fd, void* buffer, size_t size) {
    read_function real;
    FAULT_REAL(real, f_read);
    return fault_now(f_read) ? -1 : real(fd, buffer, size);
}

ssize_t write(int fd, const void* buffer, size_t size) {
    write_function real;
    FAULT_REAL(real, f_write);
    return fault_now(f_write) ? -1 : real(fd, buffer, size);
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    open_function real;
    FAULT_REAL(real, f_open);
    return fault_now(f_open) ? -1 : real(path, flags, mode);
}

// Every fcntl argument is an int or a pointer; passing it on as a pointer
// is how the C library itself forwards it.
int fcntl(int fd, int command, ...) {
    va_list args;
    va_start(args, command);
    void* argument = va_arg(args, void*);
    va_end(args);
    fcntl_function real;
    FAULT_REAL(real, f_fcntl);
    return fault_now(f_fcntl) ? -1 : real(fd, command, argument);
}

int mkdir(const char* path, mode_t mode) {
    mkdir_function real;
    FAULT_REAL(real, f_mkdir);
    return fault_now(f_mkdir) ? -1 : real(path, mode);
}

// A successful exec ends this process image: the counts are saved first.
int execve(const char* path, char* const argv[], char* const envp[]) {
    if (fault_now(f_execve))
        return -1;
    fault_save_counts();
    execve_function real;
    FAULT_REAL(real, f_execve);
    return real(path, argv, fault_env_for_exec(envp));
}

int execvp(const char* file, char* const argv[]) {
    if (fault_now(f_execvp))
        return -1;
    fault_save_counts();
    return execvpe(file, argv, fault_env_for_exec(environ));
}
