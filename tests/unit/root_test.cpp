// Root discovery pieces: the install marker, the PATH search and the
// version stamp check.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/state.h"
#include "resolve/resolve.h"

namespace {

namespace fs = std::filesystem;

// A directory tree of one test, removed at its end. The prefix must not
// hold the install marker.
struct ScratchTree {
    std::string dir;

    ScratchTree() {
        char pattern[] = "/tmp/tvkroot-XXXXXX";
        dir = mkdtemp(pattern);
    }
    ~ScratchTree() { fs::remove_all(dir); }

    std::string file(const std::string& rel, const std::string& bytes, fs::perms mode) const {
        const fs::path path = dir + "/" + rel;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        fs::permissions(path, mode);
        return path;
    }
};

// Replaces "@" with the tree's directory and "%" with the same less its
// leading "/".
std::string placed(std::string text, const std::string& dir) {
    for (std::size_t at = text.find_first_of("@%"); at != std::string::npos;
         at = text.find_first_of("@%", at))
        text.replace(at, 1, text[at] == '@' ? dir : dir.substr(1));
    return text;
}

TEST(MarkerCut, KeepsTextUpToTheFirstMarker) {
    struct Case {
        const char* text;
        bool cut;
        const char* result;
    };
    const Case cases[] = {
        {"/opt/tovrek/bin/tvkcombo", true, "/opt/tovrek"},
        {"/opt/tovrek2/bin/tvkcombo", true, "/opt/tovrek"},
        {"/home/tovrekuser/tovrek/bin", true, "/home/tovrek"},
        {"/tovrek", true, "/tovrek"},
        {"/opt/Tovrek/bin", false, "/opt/Tovrek/bin"},
        {"tovrek/bin", false, "tovrek/bin"},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        tvk_text text;
        tvk_copy(text, c.text);
        EXPECT_EQ(tvk_marker_cut(text), c.cut);
        EXPECT_STREQ(text, c.result);
    }
}

TEST(PathSearch, FindsTheFirstExecutableRegularFile) {
    struct Case {
        std::optional<std::string> path; // unset: no PATH
        std::string name;
        std::string found;
    };
    const std::vector<Case> cases = {
        {"@/noexec:@/dir:@/exec:@/later", "prog", "@/exec/prog"},
        {"@/exec//", "prog", "@/exec/prog"},
        {":@/noexec", "prog", "./prog"},
        {"@/noexec:", "prog", "./prog"},
        {"@/noexec::@/exec", "prog", "./prog"},
        {"", "prog", "./prog"},
        {"@/exec", "sub/prog", "@/exec/sub/prog"},
        {"//", "%/exec/prog", "@/exec/prog"},
        {"@/noexec:@/dir", "prog", "prog"},
        {std::nullopt, "prog", "prog"},
    };
    const ScratchTree tree;
    const fs::perms executable = fs::perms::owner_all;
    tree.file("noexec/prog", "", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(tree.dir + "/dir/prog");
    tree.file("exec/prog", "", executable);
    tree.file("exec/sub/prog", "", executable);
    tree.file("later/prog", "", executable);
    tree.file("cwd/prog", "", executable);
    const char* saved_path = std::getenv("PATH");
    const std::string saved = saved_path != nullptr ? saved_path : "";
    const fs::path saved_cwd = fs::current_path();
    fs::current_path(tree.dir + "/cwd");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.value_or("unset"));
        if (c.path)
            setenv("PATH", placed(*c.path, tree.dir).c_str(), 1);
        else
            unsetenv("PATH");
        tvk_state = {};
        tvk_pathsearch(placed(c.name, tree.dir).c_str());
        EXPECT_EQ(tvk_state.found_path, placed(c.found, tree.dir));
    }
    fs::current_path(saved_cwd);
    setenv("PATH", saved.c_str(), 1);
}

TEST(RootCheck, AcceptsOnlyThisVersionsStamp) {
    enum class Stamp { file, none, no_ver, directory, fifo };
    struct Case {
        const char* name;
        Stamp stamp;
        std::string bytes;
        int result;
        bool padded = false; // the candidate named by a path of 1023 characters
    };
    const std::vector<Case> cases = {
        {"version line", Stamp::file, "0.1.1\n", 1},
        {"more lines after it", Stamp::file, "0.1.1\nanything\n", 1},
        {"longest root", Stamp::file, "0.1.1\n", 1, true},
        {"no newline", Stamp::file, "0.1.1", 0},
        {"carriage return", Stamp::file, "0.1.1\r\n", 0},
        {"other version", Stamp::file, "0.1.10\n", 0},
        {"leading blank", Stamp::file, " 0.1.1\n", 0},
        {"empty", Stamp::file, "", 0},
        {"no stamp", Stamp::none, "", 0},
        {"no ver directory", Stamp::no_ver, "", 0},
        {"stamp is a directory", Stamp::directory, "", 0},
        {"stamp is a FIFO", Stamp::fifo, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchTree tree;
        const std::string ver = tree.dir + "/ver";
        if (c.stamp != Stamp::no_ver)
            fs::create_directories(ver);
        if (c.stamp == Stamp::file)
            tree.file("ver/tvkcombo", c.bytes, fs::perms::owner_read | fs::perms::owner_write);
        if (c.stamp == Stamp::directory)
            fs::create_directories(ver + "/tvkcombo");
        if (c.stamp == Stamp::fifo) {
            ASSERT_EQ(mkfifo((ver + "/tvkcombo").c_str(), 0600), 0);
        }
        const std::string root =
            c.padded ? std::string(1023 - tree.dir.size(), '/') + tree.dir : tree.dir;
        tvk_state = {};
        tvk_state.version_minor = 1;
        tvk_state.version_patch = 1;
        const int next_fd = open(".", O_RDONLY);
        close(next_fd);
        alarm(10); // a stamp read that blocks ends the test here
        EXPECT_EQ(tvk_root_check(root.c_str()), c.result);
        alarm(0);
        const int after = open(".", O_RDONLY);
        close(after);
        EXPECT_EQ(after, next_fd) << "a descriptor was left open";
    }
}

} // namespace
