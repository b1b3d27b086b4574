#include "launch/judge.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/wait.h>

#include <cstring>

#include "unit.h"

namespace {

// What the kernel really does with path: 0 when the exec succeeded, else
// its errno. search: execvp, as attempt six calls it, which hands a file the
// kernel has no format for to /bin/sh.
int real_exec(const std::string& path, char* const argv[], bool search) {
    int fds[2], error = 0;
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(open("/dev/null", O_RDWR), 1), dup2(1, 2);
        search ? execvp(path.c_str(), argv) : execve(path.c_str(), argv, environ);
        _exit(write(fds[1], &errno, sizeof errno) == sizeof errno ? 127 : 126);
    }
    close(fds[1]);
    const bool failed = read(fds[0], &error, sizeof error) == sizeof error;
    close(fds[0]), waitpid(child, nullptr, 0);
    return failed ? error : 0;
}

// The judge's verdict is the kernel's, for execve and for execvp.
void agree(const std::string& path) {
    char action[] = "playback";
    char* const argv[] = {action, nullptr};
    int verdict = 0;
    const auto why =
        tvk_why_of([&] { return (verdict = tvk_exec_judge(path.c_str(), argv)) == 0; });
    EXPECT_EQ(verdict, real_exec(path, argv, false)) << path << ": " << why;
    bool shell = false;
    EXPECT_EQ(tvk_exec_judge(path.c_str(), argv, &shell), real_exec(path, argv, true)) << path;
    EXPECT_EQ(shell, verdict == ENOEXEC) << path;
}

// A program of this machine, with bytes changed at an offset.
std::string patched(std::string image, std::size_t at, const std::string& bytes) {
    return image.replace(at, bytes.size(), bytes);
}

// In the working directory, where /bin/sh, given a program as its script,
// leaves what it makes.
TEST(Judge, FilesOfEveryKind) {
    const tvk_scratch scratch;
    const std::string dir = scratch.dir, program = tvk_slurp("/bin/true");
    Elf64_Ehdr header;
    std::memcpy(&header, program.data(), sizeof header);
    std::size_t interpreter = 0, size = 0; // where the interpreter's name and its size lie
    for (std::size_t at = header.e_phoff; at < header.e_phoff + header.e_phnum * sizeof(Elf64_Phdr);
         at += sizeof(Elf64_Phdr)) {
        Elf64_Phdr entry;
        std::memcpy(&entry, &program[at], sizeof entry);
        if (entry.p_type == PT_INTERP)
            interpreter = entry.p_offset, size = at + offsetof(Elf64_Phdr, p_filesz);
    }
    ASSERT_NE(interpreter, 0U);
    std::vector<std::pair<std::string, std::string>> files = {
        {"program", program},
        {"script", "#!/bin/sh\nexit 0\n"},
        {"script_blanks", "#! \t /bin/sh -e \t\nexit 0\n"},
        {"no_hash_bang", "exit 0\n"},
        {"empty", ""},
        {"missing_interpreter", "#!/nonexistent/sh\n"},
        {"interpreter_unexecutable", "#!" + dir + "/plain\n"},
        {"interpreter_is_directory", "#!" + dir + "\n"},
        {"interpreter_script", "#!" + dir + "/script\n"},
        {"interpreter_without_format", "#!" + dir + "/no_hash_bang\n"},
        {"hash_bang_alone", "#!  \n"},
        {"hash_bang_long", "#!/" + std::string(300, 'x')},
        {"hash_bang_long_argument", "#!/bin/sh " + std::string(300, 'x')},
        {"elf_truncated", program.substr(0, 100)},
        {"elf_other_machine",
         patched(program, 18, header.e_machine == EM_AARCH64 ? "\x3e" : "\xb7")},
        {"elf_no_program", patched(program, 16, std::string(1, ET_REL))},
        {"elf_interpreter_missing", patched(program, interpreter, "/nonexistent/ld.so")},
        {"elf_interpreter_unended", patched(program, interpreter, std::string(28, 'x'))},
        {"elf_interpreter_not_elf", // the C library's ldd is a script
         patched(program, interpreter, std::string("/usr/bin/ldd") + '\0')},
        {"elf_interpreter_size_one", patched(program, size, std::string("\x01\0", 2))},
        {"elf_interpreter_size_huge", patched(program, size, std::string("\0\x20", 2))},
        {"plain", "exit 0\n"},
    };
    std::string deeper = "interpreter_script"; // each an interpreter deeper; nest4 one too many
    for (const char* nest : {"nest1", "nest2", "nest3", "nest4"})
        files.emplace_back(nest, "#!" + dir + "/" + std::exchange(deeper, nest) + "\n");
    for (const auto& [name, bytes] : files) {
        std::ofstream(name, std::ios::binary) << bytes;
        fs::permissions(name, name == "plain" ? fs::perms::owner_read : fs::perms::owner_all);
    }
    for (const auto& [name, bytes] : files)
        agree(dir + "/" + name);
    for (const char* other : {"", "/absent", "/plain/below"})
        agree(dir + other);
    // A string longer than the kernel copies (32 pages); a total over the
    // stack's quarter is a row of the launch's table.
    setenv("TVK_JUDGE_LONG", std::string(32 * 4096, 'x').c_str(), 1);
    agree(dir + "/program");
    unsetenv("TVK_JUDGE_LONG");
}

} // namespace
