#include "launch/judge.h"

#include <elf.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <algorithm>

#include "unit.h"

// What the kernel does with path: 0 when the exec succeeded, else its errno; search: execvp,
// as attempt six calls it, which hands a file the kernel has no format for to /bin/sh.
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

// In the working directory, where /bin/sh, given a program as its script, leaves what it makes.
TEST(Judge, FilesOfEveryKind) {
    const tvk_scratch scratch;
    const std::string dir = scratch.dir, program = tvk_slurp("/bin/true");
    Elf64_Ehdr header;
    std::memcpy(&header, program.data(), sizeof header);
    std::vector<Elf64_Phdr> entries(header.e_phnum);
    std::memcpy(entries.data(), &program[header.e_phoff], entries.size() * sizeof(Elf64_Phdr));
    const auto at = static_cast<std::size_t>(
        std::ranges::find(entries, PT_INTERP, &Elf64_Phdr::p_type) - entries.begin());
    ASSERT_LT(at, entries.size()); // the interpreter's entry
    const auto patched = [&](std::size_t offset, const std::string& bytes) {
        return std::string(program).replace(offset, bytes.size(), bytes);
    };
    const std::size_t name = entries[at].p_offset, size = header.e_phoff + at * sizeof(Elf64_Phdr) +
                                                          offsetof(Elf64_Phdr, p_filesz);
    // Each file is written, then judged, after those it names.
    const auto make = [&](const std::string& file, const std::string& bytes,
                          fs::perms mode = fs::perms::owner_all) {
        std::ofstream(file, std::ios::binary) << bytes;
        fs::permissions(file, mode);
        agree(dir + "/" + file);
    };
    make("program", program);
    make("script", "#!/bin/sh\nexit 0\n");
    make("script_blanks", "#! \t /bin/sh -e \t\nexit 0\n");
    make("no_hash_bang", "# exit 0\n"); // a "#" without "!"
    make("empty", "");
    make("interpreter_script", "#!" + dir + "/script\n");
    make("hash_bang_alone", "#!  \n");
    make("hash_bang_long", "#!/" + std::string(300, 'x'));
    make("hash_bang_long_argument", "#!/bin/sh " + std::string(300, 'x'));
    make("hash_bang_root", "#!/ " + std::string(300, 'x')); // a name of one character, whole
    make("elf_truncated", program.substr(0, 100));
    make("cut", program.substr(0, 40)); // shorter than an ELF header
    make("noph", patched(offsetof(Elf64_Ehdr, e_phnum), std::string(2, '\0'))); // no headers
    // The machine's 32-bit other, in a 64-bit file: no program for the kernel either way.
    make("elf_other_machine", patched(18, header.e_machine == EM_AARCH64 ? "\x28" : "\x03"));
    make("elf_no_program", patched(16, std::string(1, ET_REL)));
    make("elf_interpreter_missing", patched(name, "/nonexistent/ld.so"));
    make("elf_interpreter_cut", patched(name, dir + "/cut" + '\0'));
    make("elf_interpreter_noph", patched(name, dir + "/noph" + '\0'));
    std::string first = patched(name, "/nonexistent/ld.so"); // the interpreter's entry first
    const auto entry = [&](std::size_t n) {
        return &first[header.e_phoff + n * sizeof(Elf64_Phdr)];
    };
    std::swap_ranges(entry(0), entry(1), entry(at));
    make("elf_interpreter_first", first);
    make("elf_interpreter_unended", patched(name, std::string(28, 'x')));
    make("elf_interpreter_script", patched(name, std::string("/usr/bin/ldd", 13))); // as ldd is
    make("elf_interpreter_size_one", patched(size, std::string("\x01\0", 2)));
    make("elf_interpreter_size_huge", patched(size, std::string("\0\x20", 2)));
    make("plain", "exit 0\n", fs::perms::owner_read);
    std::string deeper = "interpreter_script"; // each an interpreter deeper; nest4 one too many
    for (const char* nest : {"nest1", "nest2", "nest3", "nest4"})
        make(nest, "#!" + dir + "/" + std::exchange(deeper, nest) + "\n");
    for (const char* other : {"", "/absent", "/plain/below"})
        agree(dir + other);
    // A program for another mode of this machine (32 bits), or loaded by one: the kernel runs
    // it or not as it was built, which the judge cannot know and says.
    std::ofstream("m", std::ios::binary) << patched(EI_CLASS, "\x01");
    std::ofstream("m_loaded", std::ios::binary) << patched(name, dir + "/m" + '\0');
    for (const char* file : {"m", "m_loaded"}) {
        char action[] = "playback";
        char* const argv[] = {action, nullptr};
        int verdict = 0;
        fs::permissions(file, fs::perms::owner_all);
        const auto judge = [&] { return (verdict = tvk_exec_judge(file, argv)) == 0; };
        EXPECT_TRUE(tvk_refuses(judge, "another mode of this machine") &&
                    verdict == tvk_exec_unknown)
            << file;
    }
    // On a file system mounted noexec, as /tmp may be: in a child with mounts of its own.
    const pid_t child = geteuid() == 0 ? fork() : -1;
    if (child == 0) {
        const bool mounted = unshare(CLONE_NEWNS) == 0 &&
                             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                             mount("tvk", dir.c_str(), "tmpfs", MS_NOEXEC, nullptr) == 0 &&
                             chdir(dir.c_str()) == 0; // into the mount
        make("noexec", program);                      // and its reason, which the diagnosis left
        _exit(mounted && !testing::Test::HasFailure() &&
                      std::string_view(tvk_state.why).ends_with("mounted noexec")
                  ? 0
                  : 1);
    }
    int status = 0;
    EXPECT_TRUE(child == -1 || (waitpid(child, &status, 0) == child && status == 0));
    // A string longer than the kernel copies (32 pages); a total over the stack's quarter is a
    // row of the launch's table.
    setenv("TVK_JUDGE_LONG", std::string(32 * 4096, 'x').c_str(), 1);
    agree(dir + "/program");
    unsetenv("TVK_JUDGE_LONG");
    // The total a script's run copies, its interpreter's strings with it, met to the byte: the
    // largest environment the kernel still runs it with, and one byte more. Under a stack of
    // 512 KiB the kernel allows its least, 32 pages, which one variable can fill.
    const rlimit kept = [] {
        rlimit now;
        return getrlimit(RLIMIT_STACK, &now), now;
    }();
    const rlimit small = {512 * 1024, kept.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_STACK, &small), 0);
    char action[] = "playback";
    char* const argv[] = {action, nullptr};
    // A program its user may run but not read, as a normal user meets one: the judge cannot
    // tell what is in it, and says so.
    make("xonly", program, fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(dir, fs::perms::others_exec, fs::perm_options::add);
    const pid_t user = geteuid() == 0 ? fork() : -1;
    if (user == 0)
        _exit(setgid(4242) == 0 && setuid(4242) == 0 &&
                      tvk_exec_judge((dir + "/xonly").c_str(), argv) == tvk_exec_unknown
                  ? 0
                  : 1);
    EXPECT_TRUE(user == -1 || (waitpid(user, &status, 0) == user && status == 0));
    const auto fill = [&](std::size_t bytes) {
        setenv("TVK_JUDGE_FILL", std::string(bytes, 'x').c_str(), 1);
        return real_exec(dir + "/script_blanks", argv, false) == 0;
    };
    std::size_t runs = 0, fails = 32 * 4096; // the script runs with the one, not the other
    while (fails - runs > 1)
        (fill((runs + fails) / 2) ? runs : fails) = (runs + fails) / 2;
    EXPECT_GT(runs, 64 * 1024U); // the total met, not a string too long
    for (const std::size_t bytes : {runs, fails})
        fill(bytes), agree(dir + "/script_blanks");
    unsetenv("TVK_JUDGE_FILL");
    // Without a stack limit the kernel still allows three quarters of its default stack, 6 MiB.
    const rlimit unlimited = {RLIM_INFINITY, kept.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_STACK, &unlimited), 0);
    for (int n = 0; n < 50; ++n)
        setenv(("TVK_JUDGE_" + std::to_string(n)).c_str(), std::string(128000, 'x').c_str(), 1);
    agree(dir + "/program");
    for (int n = 0; n < 50; ++n)
        unsetenv(("TVK_JUDGE_" + std::to_string(n)).c_str());
    setrlimit(RLIMIT_STACK, &kept);
}
