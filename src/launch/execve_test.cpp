#include "launch/launch.h"
#include "unit.h"

using Places = std::vector<std::string>;

// The places attempt six looks for a name along a list, as execvp forms them; "~" marks those
// that depend on the working directory.
static Places places(const char* list) {
    tvk_elements elements{list};
    tvk_text place;
    bool relative = false;
    Places found;
    while (tvk_path_next(elements, "x.ovl", place, relative))
        found.push_back(std::string(relative ? "~" : "") + place);
    return found;
}

TEST(PathSearch, Places) {
    EXPECT_EQ(places("/a:b/::/c//:"),
              (Places{"/a/x.ovl", "~b//x.ovl", "~./x.ovl", "/c///x.ovl", "~./x.ovl"}));
    EXPECT_EQ(places(""), Places{"~./x.ovl"});
    EXPECT_EQ(places(("/" + std::string(1100, 'd') + ":/e").c_str()), Places{"/e/x.ovl"});
    const std::string kept = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    unsetenv("PATH");
    EXPECT_EQ(places(tvk_path_list()), (Places{"/bin/x.ovl", "/usr/bin/x.ovl"}));
    setenv("PATH", kept.c_str(), 1);
}
