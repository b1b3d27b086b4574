#include "files/trust.h"

#include <fcntl.h>

#include "unit.h"

namespace {

// Each path is walked from a directory held open and from the working
// directory, whose own way from "/" is walked first; both must open what the
// kernel opens, or refuse for the reason given ("": none).
TEST(WayOpen, SplitsAndLinks) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give entries to another user";
    const tvk_scratch top;
    for (const char* dir :
         {"a/b/c", "open/x", "grp/x", "shared/mine", "shared/theirs", "foreign/x"})
        fs::create_directories(dir);
    std::ofstream("a/file");
    for (const auto& [link, target] : {std::pair<std::string, std::string>{"up", "a/b"},
                                       {"abs", top.dir + "/a"},
                                       {"dangling", "nowhere"},
                                       {"via", "open/x"},
                                       {"long", "a" + std::string(1100, '/')},
                                       {"n0", "a"}})
        fs::create_symlink(target, link);
    for (int n = 1; n <= 40; ++n) // n40 is 41 links from a
        fs::create_symlink("n" + std::to_string(n - 1), "n" + std::to_string(n));
    for (const auto& [dir, mode] : {std::pair{"open", 0777}, {"grp", 0770}, {"shared", 01777}})
        fs::permissions(dir, fs::perms(mode));
    for (const char* entry : {"shared/theirs", "foreign"})
        ASSERT_EQ(lchown(entry, 4242, 0), 0);
    const struct {
        std::string path;
        bool kernel;         // whether the kernel opens it as a directory
        const char* refusal; // "": opened, the directory the kernel opens
    } rows[] = {
        {"a/b/c", true, ""},
        {"a//b/./c/", true, ""},
        {"a/b/../b/c", true, ""},
        {".", true, ""},
        {"open/.", true, ""}, // the directory keeps the rule of its use
        {"up/c", true, ""},
        {"abs/b", true, ""},
        {"shared/mine", true, ""},
        {"n39", true, ""}, // 40 links, as many as the kernel follows
        {"n40", false, "too many links on the way to n40"},
        {"dangling", false, "nowhere: No such file"},
        {"a/file", false, "a/file is no directory"},
        {"long", true, "a link on the way to long is too long"},
        {"up" + std::string(1018, '/') + "c", true, ""}, // 1023 characters through the link
        {"up" + std::string(1019, '/') + "c", true, "the way to up//"},
        {"via", true, "open (owner 0, mode 0777) is writable by others, on the way to via"},
        {"grp/x", true, "(owner 0, mode 0770) is writable by its group"},
        {"shared/theirs", true, "shared (mode 1777) is shared, and what it holds on the way to"},
        {"foreign/x", true, "foreign (owner 4242, mode 0755) is owned by another user"}};
    const int at = open(".", O_PATH | O_CLOEXEC);
    for (const auto& row : rows) {
        struct stat kernel, info;
        const int fd = openat(at, row.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_EQ(fd != -1 && fstat(fd, &kernel) == 0, row.kernel) << row.path;
        close(fd);
        for (const int from : {at, AT_FDCWD}) {
            int way = -1;
            const auto walk = [&] {
                return (way = tvk_way_open(from, row.path.c_str(), info)) != -1;
            };
            EXPECT_TRUE(tvk_gives(tvk_why_of(walk), row.refusal)) << row.path;
            EXPECT_TRUE(way == -1 || (info.st_dev == kernel.st_dev && info.st_ino == kernel.st_ino))
                << row.path;
            close(way);
        }
    }
    close(at);
}

} // namespace
