#include "launch/judge.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What the kernel really does: 0 when the exec succeeded, else its errno.
// With search, as the launch's attempt six calls it: execvp, which hands a
// file without a format to /bin/sh.
int real_exec(const std::string& path, char* const argv[], bool search) {
    int pipe_fds[2];
    EXPECT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 1), dup2(devnull, 2);
        if (search)
            execvp(path.c_str(), argv);
        else
            execve(path.c_str(), argv, environ);
        const int error = errno;
        (void)!write(pipe_fds[1], &error, sizeof error);
        _exit(127);
    }
    close(pipe_fds[1]);
    int error = 0;
    const bool failed = read(pipe_fds[0], &error, sizeof error) == sizeof error;
    close(pipe_fds[0]);
    waitpid(child, nullptr, 0);
    return failed ? error : 0;
}

struct Judged {
    std::string name;
    std::string bytes; // the file's contents; empty: none is made
    fs::perms mode;
};

class Judge : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvk-judge-XXXXXX";
        dir = mkdtemp(pattern);
        tvk_state.opt_diagnose = true;
    }
    void TearDown() override {
        tvk_state.opt_diagnose = false;
        fs::remove_all(dir);
    }
    std::string make(const Judged& file) {
        const std::string path = dir + "/" + file.name;
        std::ofstream(path, std::ios::binary) << file.bytes;
        fs::permissions(path, file.mode);
        return path;
    }
    // The judge's verdict and the kernel's agree, for execve and execvp.
    void agree(const std::string& path, const std::string& about) {
        char action[] = "playback";
        char* const argv[] = {action, nullptr};
        tvk_state.why[0] = '\0';
        const int verdict = tvk_exec_judge(path.c_str(), argv);
        EXPECT_EQ(verdict, real_exec(path, argv, false)) << about << ": " << tvk_state.why;
        EXPECT_EQ(verdict == 0, tvk_state.why[0] == '\0') << about << ": " << tvk_state.why;
        bool shell = false;
        EXPECT_EQ(tvk_exec_judge(path.c_str(), argv, &shell), real_exec(path, argv, true))
            << about << " through execvp: " << tvk_state.why;
        EXPECT_EQ(shell, verdict == ENOEXEC) << about;
    }
    std::string dir;
};

// An ELF program of this machine, with some bytes changed.
std::string patched(const std::string& program, std::size_t at, const std::string& bytes) {
    std::string image = slurp(program);
    return image.replace(at, bytes.size(), bytes);
}

TEST_F(Judge, FilesOfEveryKind) {
    const std::string program = slurp("/bin/true");
    ASSERT_EQ(program.compare(0, 4, ELFMAG), 0);
    Elf64_Ehdr header;
    std::memcpy(&header, program.data(), sizeof header);
    std::string interpreter_at; // where the program interpreter's name lies
    for (std::size_t at = 0; at < header.e_phnum; ++at) {
        Elf64_Phdr entry;
        std::memcpy(&entry, program.data() + header.e_phoff + at * sizeof entry, sizeof entry);
        if (entry.p_type == PT_INTERP)
            interpreter_at = std::to_string(entry.p_offset);
    }
    const std::string other_machine(1, static_cast<char>(EM_AARCH64 == EM_X86_64 ? 0 : 0xb7));
    const auto exec = fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec;
    const Judged files[] = {
        {"program", program, exec},
        {"script", "#!/bin/sh\nexit 0\n", exec},
        {"script_blanks", "#! \t /bin/sh -e \t\nexit 0\n", exec},
        {"no_hash_bang", "exit 0\n", exec},
        {"empty", "", exec},
        {"missing_interpreter", "#!/nonexistent/sh\n", exec},
        {"interpreter_unexecutable", "#!" + dir + "/plain\n", exec},
        {"interpreter_is_directory", "#!" + dir + "\n", exec},
        {"interpreter_script", "#!" + dir + "/script\n", exec},
        {"interpreter_without_format", "#!" + dir + "/no_hash_bang\n", exec},
        {"hash_bang_alone", "#!  \n", exec},
        {"hash_bang_long", "#!/" + std::string(300, 'x'), exec},
        {"hash_bang_long_argument", "#!/bin/sh " + std::string(300, 'x'), exec},
        {"elf_truncated", program.substr(0, 100), exec},
        {"elf_header_only", program.substr(0, 10), exec},
        {"elf_other_machine", patched("/bin/true", 18, other_machine + '\0'), exec},
        {"elf_no_program", patched("/bin/true", 16, std::string(1, ET_REL) + '\0'), exec},
        {"elf_interpreter_missing",
         patched("/bin/true", std::stoul(interpreter_at), "/nonexistent/ld.so"), exec},
        {"elf_interpreter_name_unended",
         patched("/bin/true", std::stoul(interpreter_at), std::string(28, 'x')), exec},
        {"elf_interpreter_not_elf", // the C library's ldd is a script
         patched("/bin/true", std::stoul(interpreter_at), std::string("/usr/bin/ldd") + '\0'),
         exec},
        {"plain", "exit 0\n", fs::perms::owner_read | fs::perms::owner_write},
    };
    for (const Judged& file : files)
        make(file);
    for (const Judged& file : files)
        agree(dir + "/" + file.name, file.name);
    agree(dir, "a directory");
    agree(dir + "/absent", "an absent file");
    agree(dir + "/plain/below", "below a file");
}

// The arguments and environment against the kernel's room for them: one
// string over 32 pages, and many that fill a small stack's quarter.
TEST_F(Judge, ArgumentsAndEnvironmentSize) {
    const std::string path = make({"script", "#!/bin/sh\nexit 0\n", fs::perms::owner_all});
    setenv("TVK_JUDGE_LONG", std::string(32 * 4096, 'x').c_str(), 1);
    agree(path, "a string of 32 pages");
    unsetenv("TVK_JUDGE_LONG");
    rlimit kept;
    getrlimit(RLIMIT_STACK, &kept);
    rlimit small = kept;
    small.rlim_cur = 1024 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_STACK, &small), 0);
    for (int count = 0; count < 3; ++count) {
        const std::string name = "TVK_JUDGE_" + std::to_string(count);
        setenv(name.c_str(), std::string(100 * 1024, 'x').c_str(), 1);
        agree(path, "environment of " + std::to_string(count + 1) + " times 100 KiB");
    }
    for (int count = 0; count < 3; ++count)
        unsetenv(("TVK_JUDGE_" + std::to_string(count)).c_str());
    setrlimit(RLIMIT_STACK, &kept);
}

} // namespace
