#include "launch/judge.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "core/state.h"
#include "core/why.h"

extern char** environ;

namespace {

// The kernel reads this much of a file to tell its format.
constexpr std::size_t binprm_size = 256;
// Interpreters of interpreters it follows before ELOOP.
constexpr int interpreter_depth_max = 5;
// Room for the strings: a quarter of the stack limit, at most three quarters
// of the default 8 MiB stack, at least 32 pages (ARG_MAX); every string, its
// NUL counted, at most 32 pages.
constexpr std::size_t stack_default = 8UL * 1024 * 1024;
constexpr std::size_t arg_max = 32UL * 4096;
constexpr std::size_t arg_string_max = 32UL * 4096;
// Program headers the kernel reads at most.
constexpr std::size_t program_headers_max = 65536;

#if defined(__x86_64__)
constexpr int own_machine = EM_X86_64, compat_machine = EM_386;
#elif defined(__aarch64__)
constexpr int own_machine = EM_AARCH64, compat_machine = EM_ARM;
#else
constexpr int own_machine = EM_NONE, compat_machine = EM_NONE; // every ELF file left unjudged
#endif
constexpr unsigned char own_class = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char own_data =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

// The strings execve copies, against the room the kernel gives them.
struct tvk_exec_strings {
    std::size_t used;
    std::size_t room;
    std::size_t argv0;   // the size of argv[0], which a script's interpreter replaces
    std::size_t longest; // the longest string
};

std::size_t tvk_string_size(const char* text) {
    return std::strlen(text) + 1;
}

bool tvk_exec_too_big(const tvk_exec_strings& strings) {
    if (strings.longest > arg_string_max)
        return !tvk_refused("a string of the arguments or environment has %zu bytes, over the %zu "
                            "that execve copies",
                            strings.longest, arg_string_max);
    return strings.used > strings.room &&
           !tvk_refused("the arguments and environment would take %zu bytes, over the %zu that "
                        "execve allows",
                        strings.used, strings.room);
}

// The kernel opens the file for exec: a regular file that the effective
// user may execute, on a file system that allows it.
int tvk_exec_open(const char* path) {
    struct stat info;
    if (stat(path, &info) != 0) {
        const int error = errno;
        if (error == ENOENT)
            tvk_refused("absent");
        else
            tvk_refused("%s", std::strerror(error));
        return error;
    }
    if (!S_ISREG(info.st_mode))
        return tvk_refused("not a regular file"), EACCES;
    // Before the access check, which refuses a file on such a file system too, for its mode.
    struct statvfs volume;
    if (statvfs(path, &volume) == 0 && (volume.f_flag & ST_NOEXEC) != 0)
        return tvk_refused("on a file system mounted noexec"), EACCES;
    if (faccessat(AT_FDCWD, path, X_OK, AT_EACCESS) != 0) {
        const int error = errno;
        tvk_refused("not executable (mode %04o)", static_cast<unsigned>(info.st_mode & 07777));
        return error;
    }
    return 0;
}

int tvk_exec_format(const char* path, tvk_exec_strings& strings, int depth);

// The interpreter's verdict is the file's: its reason says whose it is.
int tvk_exec_through(const char* role, const char* name, int verdict) {
    tvk_refused_before("%s \"%s\": ", role, name);
    return verdict;
}

bool tvk_spacetab(char ch) {
    return ch == ' ' || ch == '\t';
}

// As the kernel's: first and last both searched.
const char* tvk_next_non_spacetab(const char* first, const char* last) {
    for (; first <= last; ++first) {
        if (!tvk_spacetab(*first))
            return first;
    }
    return nullptr;
}

const char* tvk_next_terminator(const char* first, const char* last) {
    for (; first <= last; ++first) {
        if (tvk_spacetab(*first) || *first == '\0')
            return first;
    }
    return nullptr;
}

// A "#!" line, read as the kernel reads it: the interpreter's name must be
// whole in the first 256 bytes; the script's path, the interpreter's name
// and its one argument take argv[0]'s place.
int tvk_exec_script(const char* path, char* buf, tvk_exec_strings& strings, int depth) {
    const char* buf_end = buf + binprm_size - 1;
    const char* end = static_cast<const char*>(std::memchr(buf, '\n', binprm_size));
    if (end == nullptr) {
        end = tvk_next_non_spacetab(buf + 2, buf_end);
        if (end == nullptr || tvk_next_terminator(end, buf_end) == nullptr)
            return tvk_refused("its \"#!\" line names no whole interpreter"), ENOEXEC;
        end = buf_end;
    }
    while (tvk_spacetab(end[-1]))
        --end;
    const char* name = tvk_next_non_spacetab(buf + 2, end);
    if (name == nullptr || name == end)
        return tvk_refused("its \"#!\" line names no interpreter"), ENOEXEC;
    const char* separator = tvk_next_terminator(name, end);
    const char* argument = nullptr;
    if (separator != nullptr && *separator != '\0')
        argument = tvk_next_non_spacetab(separator, end);
    buf[end - buf] = '\0';
    if (argument != nullptr)
        buf[separator - buf] = '\0';
    strings.used += tvk_string_size(path) + tvk_string_size(name) - strings.argv0;
    if (argument != nullptr)
        strings.used += tvk_string_size(argument);
    strings.argv0 = tvk_string_size(name);
    if (tvk_exec_too_big(strings))
        return E2BIG;
    char interpreter[binprm_size];
    tvk_copy_n(interpreter, sizeof interpreter, name);
    int verdict = tvk_exec_open(interpreter);
    if (verdict == 0 && depth + 1 > interpreter_depth_max)
        verdict = ELOOP, tvk_refused("interpreters nested too deep");
    else if (verdict == 0)
        verdict = tvk_exec_format(interpreter, strings, depth + 1);
    return verdict == 0 ? 0 : tvk_exec_through("its interpreter", interpreter, verdict);
}

bool tvk_elf_machine(const ElfW(Ehdr) & header, bool& unknown) {
    const unsigned char elf_class = header.e_ident[EI_CLASS];
    const bool ours = header.e_machine == own_machine && own_machine != EM_NONE;
    unknown = own_machine == EM_NONE ||
              (ours && (elf_class != own_class || header.e_ident[EI_DATA] != own_data)) ||
              (header.e_machine == compat_machine && elf_class == ELFCLASS32);
    return ours && !unknown;
}

// The program headers as the kernel checks them; false when it would refuse.
bool tvk_elf_headers(int fd, const ElfW(Ehdr) & header, ElfW(Phdr) * headers) {
    const std::size_t size = sizeof(ElfW(Phdr)) * header.e_phnum;
    return header.e_phentsize == sizeof(ElfW(Phdr)) && size != 0 && size <= program_headers_max &&
           pread(fd, headers, size, static_cast<off_t>(header.e_phoff)) ==
               static_cast<ssize_t>(size);
}

// The program interpreter (the dynamic loader) that the kernel opens and
// checks before the point of no return.
int tvk_elf_loader(const char* name);

int tvk_elf_interpreter(int fd, const ElfW(Phdr) & entry) {
    char name[PATH_MAX];
    if (entry.p_filesz > PATH_MAX || entry.p_filesz < 2)
        return tvk_refused("its program interpreter's name is of no size"), ENOEXEC;
    if (pread(fd, name, entry.p_filesz, static_cast<off_t>(entry.p_offset)) !=
        static_cast<ssize_t>(entry.p_filesz))
        return tvk_refused("its program interpreter's name lies past its end"), EIO;
    if (name[entry.p_filesz - 1] != '\0')
        return tvk_refused("its program interpreter's name is not ended"), ENOEXEC;
    int verdict = tvk_exec_open(name);
    if (verdict == 0)
        verdict = tvk_elf_loader(name);
    return verdict == 0 ? 0 : tvk_exec_through("its program interpreter", name, verdict);
}

int tvk_elf_loader(const char* name) {
    const int loader = open(name, O_RDONLY | O_CLOEXEC);
    if (loader == -1)
        return tvk_refused("cannot be read here to judge it: %s", std::strerror(errno)),
               tvk_exec_unknown;
    ElfW(Ehdr) header;
    static ElfW(Phdr) headers[program_headers_max / sizeof(ElfW(Phdr))];
    bool unknown = false;
    const bool read = pread(loader, &header, sizeof header, 0) == sizeof header;
    const bool sound = read && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
                       tvk_elf_machine(header, unknown) && tvk_elf_headers(loader, header, headers);
    close(loader);
    if (!read)
        return tvk_refused("cut short"), EIO;
    if (unknown)
        return tvk_refused("for another mode of this machine"), tvk_exec_unknown;
    return sound ? 0 : (tvk_refused("no ELF program for this machine"), ELIBBAD);
}

int tvk_exec_elf(int fd, const char* buf) {
    ElfW(Ehdr) header;
    std::memcpy(&header, buf, sizeof header);
    bool unknown = false;
    if (header.e_type != ET_EXEC && header.e_type != ET_DYN)
        return tvk_refused("an ELF file of type %u, no program", header.e_type), ENOEXEC;
    if (!tvk_elf_machine(header, unknown) && unknown)
        return tvk_refused("an ELF file for another mode of this machine"), tvk_exec_unknown;
    if (!tvk_elf_machine(header, unknown))
        return tvk_refused("an ELF file for another machine (e_machine %u)", header.e_machine),
               ENOEXEC;
    static ElfW(Phdr) headers[program_headers_max / sizeof(ElfW(Phdr))];
    if (!tvk_elf_headers(fd, header, headers))
        return tvk_refused("an ELF file whose program headers are missing or cut short"), ENOEXEC;
    for (std::size_t at = 0; at < header.e_phnum; ++at) {
        if (headers[at].p_type == PT_INTERP)
            return tvk_elf_interpreter(fd, headers[at]);
    }
    return 0;
}

// The file's format, from its first bytes, as the kernel tells it.
int tvk_exec_format(const char* path, tvk_exec_strings& strings, int depth) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1)
        return tvk_refused("cannot be read here to judge it: %s", std::strerror(errno)),
               tvk_exec_unknown;
    char buf[binprm_size + 1] = {}; // as the kernel's, NUL past a short file's end
    const ssize_t got = read(fd, buf, binprm_size);
    int verdict = tvk_exec_unknown;
    if (got < 0)
        tvk_refused("cannot be read here to judge it: %s", std::strerror(errno));
    else if (buf[0] == '#' && buf[1] == '!')
        verdict = tvk_exec_script(path, buf, strings, depth);
    else if (std::memcmp(buf, ELFMAG, SELFMAG) == 0)
        verdict = tvk_exec_elf(fd, buf);
    else
        verdict = ENOEXEC, tvk_refused("it starts with neither \"#!\" nor an ELF header");
    close(fd);
    return verdict;
}

// The strings of an execve of path: its name, the environment and argv.
tvk_exec_strings tvk_exec_count(const char* path, char* const argv[]) {
    tvk_exec_strings strings{tvk_string_size(path), 0, 0, tvk_string_size(path)};
    std::size_t pointers = 0;
    for (char* const* list : {static_cast<char* const*>(environ), argv}) {
        for (; list != nullptr && *list != nullptr; ++list, ++pointers) {
            const std::size_t size = tvk_string_size(*list);
            strings.used += size;
            strings.longest = size > strings.longest ? size : strings.longest;
        }
    }
    strings.argv0 = argv[0] != nullptr ? tvk_string_size(argv[0]) : 0;
    struct rlimit stack;
    std::size_t room = stack_default / 4 * 3;
    if (getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur / 4 < room)
        room = stack.rlim_cur / 4;
    room = room < arg_max ? arg_max : room;
    pointers = pointers * sizeof(void*);
    strings.room = room > pointers ? room - pointers : 0;
    return strings;
}

int tvk_exec_file(const char* path, char* const argv[]) {
    if (const int error = tvk_exec_open(path); error != 0)
        return error;
    tvk_exec_strings strings = tvk_exec_count(path, argv);
    if (tvk_exec_too_big(strings))
        return E2BIG;
    return tvk_exec_format(path, strings, 0);
}

} // namespace

int tvk_exec_judge(const char* path, char* const argv[], bool* shell) {
    const int verdict = tvk_exec_file(path, argv);
    if (shell == nullptr || verdict != ENOEXEC)
        return verdict;
    // The C library's fallback: {"/bin/sh", path}, the action word dropped.
    static char sh[] = "/bin/sh";
    char* const sh_argv[] = {sh, const_cast<char*>(path), nullptr};
    *shell = true;
    const int fallback = tvk_exec_file(sh, sh_argv);
    return fallback == 0
               ? 0
               : tvk_exec_through("no \"#!\" nor ELF header, and the shell", sh, fallback);
}
