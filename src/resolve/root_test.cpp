#include <fcntl.h>

#include "resolve/resolve.h"
#include "unit.h"

namespace {

// Searched from a working directory that holds an executable x itself.
TEST(PathSearch, FirstExecutableFile) {
    const tvk_scratch top;
    const std::string t = top.dir;
    for (const char* dir : {"a", "b", "d/x", "l"})
        fs::create_directories(dir);
    for (const auto& [file, mode] : {std::pair{"a/x", 0644}, {"b/x", 0755}, {"x", 0755}})
        close(open(file, O_CREAT | O_WRONLY, mode));
    fs::create_symlink("../b/x", "l/x");
    const struct {
        std::string path;  // "(unset)": no PATH at all
        std::string found; // empty: none
        bool from_cwd;
    } rows[] = {
        {t + "/a:" + t + "/d:" + t + "/b", t + "/b/x", false}, // not executable, a directory
        {t + "/b//", t + "/b/x", false},
        {t + "/l", t + "/l/x", false}, // a link to an executable file
        {"", "./x", true},
        {t + "/a:", "./x", true},
        {"b", "b/x", true},
        {"/nonexistent", "", false},
        {"(unset)", "", false},
        {t + "/b" + std::string(1021 - t.size(), '/') + ":xx", t + "/b/x", false}, // whole
        {t + "/b" + std::string(1100, '/'), "", false},              // the one element cut
        {"/n" + std::string(1020, '/') + ":" + t + "/b", "", false}, // cut right after ":"
        {t + "/b:" + std::string(2000, 'x'), t + "/b/x", false},
    };
    for (const auto& row : rows) {
        row.path == "(unset)" ? unsetenv("PATH") : setenv("PATH", row.path.c_str(), 1);
        bool from_cwd = !row.from_cwd;
        EXPECT_EQ(tvk_pathsearch("x", from_cwd), !row.found.empty()) << row.path;
        EXPECT_EQ(tvk_state.found_path, row.found.empty() ? "x" : row.found) << row.path;
        EXPECT_TRUE(row.found.empty() || from_cwd == row.from_cwd) << row.path;
    }
    setenv("PATH", "/usr/bin:/bin", 1);
}

} // namespace
