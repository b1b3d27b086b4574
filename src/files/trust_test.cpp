#include "files/trust.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/state.h"

namespace fs = std::filesystem;

namespace {

struct Way {
    std::string path;
    bool kernel;         // whether the kernel opens it as a directory
    const char* refusal; // nullptr: opened, the directory the kernel opens
};

// Each path is walked from a directory held open and from the working
// directory, whose own way from "/" is walked first; both must open what the
// kernel opens, or refuse for the reason given.
TEST(WayOpen, SplitsAndLinks) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give entries to another user";
    char top[] = "/tmp/tvk-way-XXXXXX";
    ASSERT_TRUE(mkdtemp(top));
    const fs::path t = top;
    for (const char* dir :
         {"a/b/c", "open/x", "grp/x", "shared/mine", "shared/theirs", "foreign/x"})
        fs::create_directories(t / dir);
    close(open((t / "a/file").c_str(), O_CREAT | O_WRONLY, 0644));
    const std::pair<std::string, std::string> links[] = {{"up", "a/b"},
                                                         {"abs", t / "a"},
                                                         {"loop", "loop"},
                                                         {"dangling", "nowhere"},
                                                         {"n0", "a"},
                                                         {"via", "open/x"},
                                                         {"shared/link", "../a"},
                                                         {"long", "a" + std::string(1100, '/')}};
    for (const auto& [link, target] : links)
        fs::create_symlink(target, t / link);
    for (int n = 1; n <= 40; ++n) // n40 is 41 links from a
        fs::create_symlink("n" + std::to_string(n - 1), t / ("n" + std::to_string(n)));
    for (const auto& [dir, mode] : {std::pair{"open", 0777}, {"grp", 0770}, {"shared", 01777}})
        fs::permissions(t / dir, fs::perms(mode));
    for (const char* entry : {"shared/theirs", "shared/link", "foreign"})
        ASSERT_EQ(lchown((t / entry).c_str(), 4242, 0), 0);
    const Way rows[] = {
        {"a/b/c", true, nullptr},
        {"a//b/./c/", true, nullptr},
        {"a/b/../b/c", true, nullptr},
        {".", true, nullptr},
        {"open/.", true, nullptr}, // the directory keeps the rule of its use
        {"up/c", true, nullptr},
        {"abs/b", true, nullptr},
        {"shared/mine", true, nullptr},
        {"n39", true, nullptr}, // 40 links, as many as the kernel follows
        {"n40", false, "too many links on the way to n40"},
        {"loop", false, "too many links"},
        {"dangling", false, "nowhere: No such file"},
        {"a/file", false, "a/file is no directory"},
        {"long", true, "a link on the way to long is too long"},
        {"up" + std::string(1018, '/') + "c", true, nullptr}, // 1023 characters through the link
        {"up" + std::string(1019, '/') + "c", true, "the way to up//"},
        {"via", true, "open (owner 0, mode 0777) is writable by others, on the way to via"},
        {"grp/x", true, "(owner 0, mode 0770) is writable by its group"},
        {"shared/theirs", true, "shared (mode 1777) is shared, and what it holds on the way to"},
        {"shared/link", true, "on the way to shared/link is another user's (owner 4242)"},
        {"foreign/x", true, "foreign (owner 4242, mode 0755) is owned by another user"}};
    const int here = open(".", O_PATH | O_CLOEXEC);
    const int at = open(top, O_PATH | O_CLOEXEC);
    ASSERT_EQ(chdir(top), 0);
    tvk_state.opt_diagnose = true;
    for (const Way& row : rows) {
        struct stat kernel;
        const int fd = openat(at, row.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_EQ(fd != -1 && fstat(fd, &kernel) == 0, row.kernel) << row.path;
        close(fd);
        for (const int from : {at, AT_FDCWD}) {
            tvk_state.why[0] = '\0';
            struct stat info;
            const int way = tvk_way_open(from, row.path.c_str(), info);
            EXPECT_EQ(way == -1, row.refusal != nullptr) << row.path << ": " << tvk_state.why;
            EXPECT_NE(std::string(tvk_state.why).find(row.refusal ? row.refusal : ""),
                      std::string::npos)
                << row.path << ": " << tvk_state.why;
            if (way != -1) {
                EXPECT_TRUE(info.st_dev == kernel.st_dev && info.st_ino == kernel.st_ino)
                    << row.path;
                close(way);
            }
        }
    }
    tvk_state.opt_diagnose = false;
    EXPECT_EQ(fchdir(here), 0);
    close(here);
    close(at);
    fs::remove_all(t);
}

} // namespace
