#include "files/trust.h"

#include "unit.h"

// Each path is walked from a directory held open and from the working directory, whose own way
// from "/" is walked first: both open what the kernel opens, or refuse for the reason given.
static void expect(bool kernel, const char* refusal, std::initializer_list<std::string> paths) {
    const int at = open(".", O_PATH | O_CLOEXEC);
    for (const std::string& path : paths) {
        struct stat seen {
        }, info;
        const int fd = openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_EQ(fd != -1 && fstat(fd, &seen) == 0, kernel) << path;
        close(fd);
        for (const int from : {at, AT_FDCWD}) {
            int way = -1;
            const auto walk = [&] { return (way = tvk_way_open(from, path.c_str(), info)) != -1; };
            EXPECT_TRUE(tvk_refuses(walk, refusal)) << path;
            EXPECT_TRUE(way == -1 || (info.st_dev == seen.st_dev && info.st_ino == seen.st_ino))
                << path;
            close(way);
        }
    }
    close(at);
}

TEST(WayOpen, SplitsAndLinks) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give entries to another user";
    const tvk_scratch top;
    for (const char* dir :
         {"a/b/c", "open/x", "grp/x", "shared/mine", "shared/theirs", "foreign/x"})
        fs::create_directories(dir);
    std::ofstream("a/file");
    const std::string links[] = {"up",       "a/b",
                                 "abs",      top.dir + "/a",
                                 "dangling", "nowhere",
                                 "via",      "open/x",
                                 "n0",       "a",
                                 "long",     "a" + std::string(1100, '/'),
                                 "a/b/to",   top.dir + "/open"};
    for (std::size_t at = 0; at < std::size(links); at += 2) // each link's name, then its target
        fs::create_symlink(links[at + 1], links[at]);
    for (int n = 1; n <= 40; ++n) // n40 is 41 links from a
        fs::create_symlink("n" + std::to_string(n - 1), "n" + std::to_string(n));
    for (const auto& [dir, mode] : {std::pair{"open", 0777}, {"grp", 0770}, {"shared", 01777}})
        fs::permissions(dir, fs::perms(mode));
    for (const char* entry : {"shared/theirs", "foreign"})
        ASSERT_EQ(lchown(entry, 4242, 0), 0);
    // "open/.": the directory keeps the rule of its use; n39: 40 links, as
    // many as the kernel follows; 1023 characters through the link.
    expect(true, "",
           {"a/b/c", "a//b/./c/", "a/b/../b/c", ".", "open/.", "up/c", "abs/b", "shared/mine",
            "n39", "up" + std::string(1018, '/') + "c"});
    expect(false, "too many links on the way to n40", {"n40"});
    expect(false, "nowhere: No such file", {"dangling"});
    expect(false, "a/file is no directory", {"a/file"});
    expect(true, "a link on the way to long is too long", {"long"});
    expect(true, "the way to up//", {"up" + std::string(1019, '/') + "c"});
    expect(true, "open (owner 0, mode 0777) is writable by others, on the way to via", {"via"});
    // Its path named whole after an absolute link, not joined to the way before it.
    expect(true, ("^" + top.dir + "/open (owner 0, mode 0777) is writable").c_str(), {"a/b/to/x"});
    expect(true, "(owner 0, mode 0770) is writable by its group", {"grp/x"});
    expect(true, "shared (mode 1777) is shared, and what it holds on the way to",
           {"shared/theirs"});
    expect(true, "foreign (owner 4242, mode 0755) is owned by another user", {"foreign/x"});
}
