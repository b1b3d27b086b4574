#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/state.h"
#include "launch/judge.h"
#include "launch/launch.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> candidates(const char* path, const char* name) {
    tvk_elements elements{path};
    tvk_text candidate;
    bool relative = false;
    std::vector<std::string> found;
    while (tvk_path_next(elements, name, candidate, relative))
        found.push_back(std::string(relative ? "~" : "") + candidate);
    return found;
}

// The places attempt six looks, as execvp forms them; "~" marks those that
// depend on the working directory.
TEST(PathSearch, Places) {
    EXPECT_EQ(candidates("/a:b/::/c//:", "x.ovl"),
              (std::vector<std::string>{"/a/x.ovl", "~b//x.ovl", "~./x.ovl", "/c///x.ovl",
                                        "~./x.ovl"}));
    EXPECT_EQ(candidates("", "x.ovl"), std::vector<std::string>{"~./x.ovl"});
    const std::string long_element = "/" + std::string(1100, 'd');
    EXPECT_EQ(candidates((long_element + ":/e").c_str(), "x.ovl"),
              std::vector<std::string>{"/e/x.ovl"});
    const std::string kept = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    unsetenv("PATH");
    EXPECT_EQ(candidates(tvk_path_list(), "x.ovl"),
              (std::vector<std::string>{"/bin/x.ovl", "/usr/bin/x.ovl"}));
    setenv("PATH", kept.c_str(), 1);
}

// The first place the judge would run is the file execvp runs: absent, a
// directory and a file without execute permission are passed over.
TEST(PathSearch, FirstRunnableAsExecvp) {
    const fs::path kept = fs::current_path();
    char pattern[] = "/tmp/tvk-path-XXXXXX";
    fs::current_path(mkdtemp(pattern));
    for (const char* dir : {"a", "b/x.ovl", "c", "d", "e"})
        fs::create_directories(dir);
    std::ofstream("c/x.ovl") << "exit 3\n";
    std::ofstream("d/x.ovl") << "#!/bin/sh\nexit 4\n";
    std::ofstream("e/x.ovl") << "exit 5\n";
    fs::permissions("d/x.ovl", fs::perms::owner_all);
    fs::permissions("e/x.ovl", fs::perms::owner_all);
    char action[] = "playback";
    char* const argv[] = {action, nullptr};
    for (const char* path : {"a:b:c:d:e", "a:b:c:e:d", "/nonexistent:a:c"}) {
        setenv("PATH", path, 1);
        const pid_t child = fork();
        if (child == 0) {
            execvp("x.ovl", argv);
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        tvk_elements elements{tvk_path_list()};
        tvk_text candidate;
        bool relative = false;
        std::string judged = "none";
        bool shell = false;
        while (judged == "none" && tvk_path_next(elements, "x.ovl", candidate, relative)) {
            if (tvk_exec_judge(candidate, argv, &shell) == 0)
                judged = candidate;
        }
        const std::map<int, std::string> ran = {{4, "d/x.ovl"}, {5, "e/x.ovl"}, {127, "none"}};
        EXPECT_EQ(judged, ran.at(WEXITSTATUS(status))) << path;
    }
    fs::remove_all(fs::current_path());
    fs::current_path(kept);
}

} // namespace
