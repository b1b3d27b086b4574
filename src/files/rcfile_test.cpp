#include "files/rcfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"

namespace {

struct Rc {
    std::string file;
    const char* locale; // nullptr: no value for the key
    const char* root;
    const char* spell;
};

// Each file is written to a private HOME and read by the launcher's reader.
TEST(RcFile, Reader) {
    char home[] = "/tmp/tvk-rc-XXXXXX";
    ASSERT_TRUE(mkdtemp(home) && setenv("HOME", home, 1) == 0);
    const std::string dir = std::string(home) + "/.tovrek";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const std::string x1014(1014, 'x');
    const std::string hashes(64 * 1024 - 1023, '#');
    const Rc rows[] = {
        {"lc_all = fr_FR\ntovrek_root = /opt/tovrek/\ntovrek_spell = ispell -d french\n", "fr_FR",
         "/opt/tovrek", "ispell -d french"},
        {"LC_ALL=de_DE", "de_DE", nullptr, nullptr}, // no newline at the end
        {"  Lc_All==\t=de_DE\ntovrek_spell=a=b\n\tTOVREK_ROOT\t/r\n", "de_DE", "/r", "a b"},
        {"tovrek_spell =  aspell\t-d=fr \n", nullptr, nullptr, "aspell -d fr "},
        {"tovrek_root = /opt/my tovrek\nlc_all = fr_FR\r\n", "fr_FR\r", "/opt/my", nullptr},
        {"tovrek_root = /r///\ntovrek_spell =\n", nullptr, "/r//", ""},
        {"tovrek_root = /\n", nullptr, "", nullptr},
        {"# lc_all = de_DE\nlc_all_x = de_DE\nroot = /r\n\n", nullptr, nullptr, nullptr},
        {"lc_all = de_DE\nlc_all = fr_FR\ntovrek_spell = a b\ntovrek_spell = c\n", "fr_FR", nullptr,
         "c"},
        {"lc_all = " + x1014 + "\n", x1014.c_str(), nullptr, nullptr}, // fills the line's room
        {"lc_all" + std::string(1017, ' ') + "de_DE\n", nullptr, nullptr, nullptr},
        {"tovrek_spell = a\nlc_all =", nullptr, nullptr, "a"},
        {hashes.substr(2) + "\n lc_all = de_DE " + x1014 + "\n", "de_DE", nullptr, nullptr},
        {hashes + "\n lc_all = de_DE " + x1014 + "\n", nullptr, nullptr, nullptr}, // past 64 KiB
    };
    for (const Rc& row : rows) {
        std::ofstream(dir + "/tvkcombo.rc", std::ios::binary) << row.file;
        tvk_state = {};
        tvk_rcfile_read();
        const auto expect = [&](bool found, const char* value, const char* wanted) {
            EXPECT_EQ(found, wanted != nullptr) << row.file;
            EXPECT_STREQ(value, wanted ? wanted : "") << row.file;
        };
        expect(tvk_state.rc_has_locale, tvk_state.rc_locale, row.locale);
        expect(tvk_state.rc_has_root, tvk_state.rc_root, row.root);
        expect(tvk_state.rc_has_spell, tvk_state.rc_spell, row.spell);
        EXPECT_FALSE(tvk_state.rc_read_failed || tvk_state.rc_locked);
    }
    std::filesystem::remove_all(home);
}

} // namespace
