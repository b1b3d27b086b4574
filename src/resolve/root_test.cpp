#include "resolve/resolve.h"
#include "unit.h"

// Searched from a working directory that holds an executable x itself.
TEST(PathSearch, FirstExecutableFile) {
    const tvk_scratch top;
    const std::string t = top.dir;
    for (const char* dir : {"a", "b", "d/x", "l"})
        fs::create_directories(dir);
    for (const auto& [file, mode] : {std::pair{"a/x", 0644}, {"b/x", 0755}, {"x", 0755}})
        close(open(file, O_CREAT | O_WRONLY, mode));
    fs::create_symlink("../b/x", "l/x");
    // PATH ("(unset)": none), then the place found ("": none; relative: in the working directory).
    const std::pair<std::string, std::string> rows[] = {
        {t + "/a:" + t + "/d:" + t + "/b", t + "/b/x"}, // not executable, a directory
        {t + "/b//", t + "/b/x"},
        {t + "/l", t + "/l/x"}, // a link to an executable file
        {t + "/a:", "./x"},
        {"b", "b/x"},
        {"/nonexistent", ""},
        {"(unset)", ""},
        {t + "/b" + std::string(1021 - t.size(), '/') + ":xx", t + "/b/x"}, // whole
        {t + "/b" + std::string(1100, '/'), ""},                            // the one element cut
        {"/n" + std::string(1020, '/') + ":" + t + "/b", ""},               // cut right after ":"
        {"/n" + std::string(1020, '/') + ":b", ""}, // one character past what is read
        {t + "/b:" + std::string(2000, 'x'), t + "/b/x"},
    };
    for (const auto& [path, found] : rows) {
        path == "(unset)" ? unsetenv("PATH") : setenv("PATH", path.c_str(), 1);
        bool from_cwd = found[0] == '/';
        EXPECT_EQ(tvk_pathsearch("x", from_cwd), !found.empty()) << path;
        EXPECT_EQ(tvk_state.found_path, found.empty() ? "x" : found) << path;
        EXPECT_TRUE(found.empty() || from_cwd == (found[0] != '/')) << path;
    }
    setenv("PATH", "/usr/bin:/bin", 1);
}
