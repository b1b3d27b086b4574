#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/state.h"
#include "resolve/resolve.h"

namespace fs = std::filesystem;

namespace {

constexpr char unset[] = "(unset)";

struct Search {
    std::string path; // unset: no PATH at all
    const char* name;
    std::string found; // empty: none
    bool from_cwd;
};

// Searched from a working directory that holds an executable x itself.
TEST(PathSearch, FirstExecutableFile) {
    char top[] = "/tmp/tvk-path-XXXXXX";
    ASSERT_TRUE(mkdtemp(top));
    const std::string t = top;
    for (const char* dir : {"a", "b", "d/x", "l"})
        fs::create_directories(t + "/" + dir);
    for (const auto& [file, mode] : {std::pair{"a/x", 0644}, {"b/x", 0755}, {"x", 0755}})
        close(open((t + "/" + file).c_str(), O_CREAT | O_WRONLY, mode));
    fs::create_symlink("../b/x", t + "/l/x");
    const Search rows[] = {
        {t + "/a:" + t + "/d:" + t + "/b", "x", t + "/b/x", false}, // not executable, a directory
        {t + "/b//", "x", t + "/b/x", false},
        {t + "/l", "x", t + "/l/x", false}, // a link to an executable file
        {"", "x", "./x", true},
        {t + "/a:", "x", "./x", true},
        {t + "/a::" + t, "x", "./x", true},
        {"b", "x", "b/x", true},
        {t, "b/x", t + "/b/x", false},
        {"/nonexistent", "x", "", false},
        {unset, "x", "", false},
        {t + "/b" + std::string(1021 - t.size(), '/') + ":xx", "x", t + "/b/x", false}, // whole
        {t + "/b" + std::string(1100, '/'), "x", "", false},              // the one element cut
        {"/n" + std::string(1020, '/') + ":" + t + "/b", "x", "", false}, // cut right after ":"
        {t + "/b:" + std::string(2000, 'x'), "x", t + "/b/x", false},
    };
    const int here = open(".", O_PATH | O_CLOEXEC);
    ASSERT_EQ(chdir(top), 0);
    for (const Search& row : rows) {
        if (row.path == unset)
            unsetenv("PATH");
        else
            setenv("PATH", row.path.c_str(), 1);
        bool from_cwd = !row.from_cwd;
        EXPECT_EQ(tvk_pathsearch(row.name, from_cwd), !row.found.empty()) << row.path;
        EXPECT_EQ(tvk_state.found_path, row.found.empty() ? row.name : row.found) << row.path;
        EXPECT_TRUE(row.found.empty() || from_cwd == row.from_cwd) << row.path;
    }
    setenv("PATH", "/usr/bin:/bin", 1);
    EXPECT_EQ(fchdir(here), 0);
    close(here);
    fs::remove_all(t);
}

} // namespace
