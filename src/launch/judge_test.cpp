#include "launch/judge.h"

#include <elf.h>

#include "unit.h"

// What the kernel really does with path: 0 when the exec succeeded, else
// its errno. search: execvp, as attempt six calls it, which hands a file the
// kernel has no format for to /bin/sh.
static int real_exec(const std::string& path, char* const argv[], bool search) {
    int fds[2], error = 0;
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(open("/dev/null", O_RDWR), 1), dup2(1, 2);
        search ? execvp(path.c_str(), argv) : execve(path.c_str(), argv, environ);
        (void)!write(fds[1], &errno, sizeof errno), _exit(127);
    }
    close(fds[1]);
    (void)!read(fds[0], &error, sizeof error); // nothing, when the exec closed the pipe
    close(fds[0]), waitpid(child, nullptr, 0);
    return error;
}

// The judge's verdict is the kernel's, for execve and for execvp.
static void agree(const std::string& path) {
    char action[] = "playback";
    char* const argv[] = {action, nullptr};
    int verdict = 0;
    const auto judge = [&] { return (verdict = tvk_exec_judge(path.c_str(), argv)) == 0; };
    EXPECT_TRUE(tvk_refuses(judge, nullptr)) << path;
    EXPECT_EQ(verdict, real_exec(path, argv, false)) << path << ": " << tvk_state.why;
    bool shell = false;
    EXPECT_EQ(tvk_exec_judge(path.c_str(), argv, &shell), real_exec(path, argv, true)) << path;
    EXPECT_EQ(shell, verdict == ENOEXEC) << path;
}

// In the working directory, where /bin/sh, given a program as its script,
// leaves what it makes.
TEST(Judge, FilesOfEveryKind) {
    const tvk_scratch scratch;
    const std::string dir = scratch.dir, program = tvk_slurp("/bin/true");
    Elf64_Ehdr header;
    std::memcpy(&header, program.data(), sizeof header);
    std::vector<Elf64_Phdr> entries(header.e_phnum);
    std::memcpy(entries.data(), &program[header.e_phoff], entries.size() * sizeof(Elf64_Phdr));
    std::size_t at = 0; // the interpreter's entry
    while (at < entries.size() && entries[at].p_type != PT_INTERP)
        ++at;
    ASSERT_LT(at, entries.size());
    // A program of this machine, with bytes changed: in the interpreter's
    // name, in its size, at an offset.
    const auto patched = [&](std::size_t offset, const std::string& bytes) {
        return std::string(program).replace(offset, bytes.size(), bytes);
    };
    const std::size_t name = entries[at].p_offset, size = header.e_phoff + at * sizeof(Elf64_Phdr) +
                                                          offsetof(Elf64_Phdr, p_filesz);
    std::vector<std::pair<std::string, std::string>> files = {
        {"program", program},
        {"script", "#!/bin/sh\nexit 0\n"},
        {"script_blanks", "#! \t /bin/sh -e \t\nexit 0\n"},
        {"no_hash_bang", "exit 0\n"},
        {"empty", ""},
        {"interpreter_script", "#!" + dir + "/script\n"},
        {"interpreter_without_format", "#!" + dir + "/no_hash_bang\n"},
        {"hash_bang_alone", "#!  \n"},
        {"hash_bang_long", "#!/" + std::string(300, 'x')},
        {"hash_bang_long_argument", "#!/bin/sh " + std::string(300, 'x')},
        {"elf_truncated", program.substr(0, 100)},
        {"elf_other_machine", patched(18, header.e_machine == EM_AARCH64 ? "\x3e" : "\xb7")},
        {"elf_no_program", patched(16, std::string(1, ET_REL))},
        {"elf_interpreter_missing", patched(name, "/nonexistent/ld.so")},
        {"elf_interpreter_unended", patched(name, std::string(28, 'x'))},
        {"elf_interpreter_not_elf",
         patched(name, std::string("/usr/bin/ldd") + '\0')}, // ldd: a script
        {"elf_interpreter_size_one", patched(size, std::string("\x01\0", 2))},
        {"elf_interpreter_size_huge", patched(size, std::string("\0\x20", 2))},
        {"plain", "exit 0\n"},
    };
    std::string deeper = "interpreter_script"; // each an interpreter deeper; nest4 one too many
    for (const char* nest : {"nest1", "nest2", "nest3", "nest4"})
        files.emplace_back(nest, "#!" + dir + "/" + std::exchange(deeper, nest) + "\n");
    for (const auto& [file, bytes] : files) {
        std::ofstream(file, std::ios::binary) << bytes;
        fs::permissions(file, file == "plain" ? fs::perms::owner_read : fs::perms::owner_all);
    }
    for (const auto& [file, bytes] : files)
        agree(dir + "/" + file);
    for (const char* other : {"", "/absent", "/plain/below"})
        agree(dir + other);
    // A string longer than the kernel copies (32 pages); a total over the
    // stack's quarter is a row of the launch's table.
    setenv("TVK_JUDGE_LONG", std::string(32 * 4096, 'x').c_str(), 1);
    agree(dir + "/program");
    unsetenv("TVK_JUDGE_LONG");
}
