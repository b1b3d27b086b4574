#include "files/rcfile.h"

#include <sys/stat.h>

#include <array>

#include "unit.h"

// What the reader takes from the file in HOME: each key's value in brackets, or "-" for none.
static std::string read_back() {
    tvk_state = {};
    tvk_rcfile_read();
    EXPECT_FALSE(tvk_state.rc_read_failed || tvk_state.rc_locked);
    const auto value = [](bool found, const char* text) {
        return found ? "[" + std::string(text) + "]" : "-" + std::string(text);
    };
    return value(tvk_state.rc_has_locale, tvk_state.rc_locale) +
           value(tvk_state.rc_has_root, tvk_state.rc_root) +
           value(tvk_state.rc_has_spell, tvk_state.rc_spell);
}

// A private HOME, where the launcher's reader and writer find their file.
struct RcHome : tvk_scratch {
    RcHome() { EXPECT_TRUE(setenv("HOME", dir.c_str(), 1) == 0 && mkdir(".tovrek", 0700) == 0); }
};

// Files as a user may write them.
TEST(RcFile, Reader) {
    const RcHome home;
    const std::string x1014(1014, 'x'), hashes(64 * 1024 - 1023, '#');
    const std::pair<std::string, std::string> rows[] = {
        {"LC_ALL=de_DE", "[de_DE]--"}, // no newline at the end
        {"  Lc_All==\t=de_DE\ntovrek_spell=a=b\n\tTOVREK_ROOT\t/r\n", "[de_DE][/r][a b]"},
        {"tovrek_spell =  aspell\t-d=fr \n", "--[aspell -d fr ]"},
        {"tovrek_root = /opt/my tovrek\nlc_all = fr_FR\r\n", "[fr_FR\r][/opt/my]-"},
        {"tovrek_root = /r///\ntovrek_spell =\n", "-[/r//][]"},
        {"tovrek_root = /\n", "-[]-"},
        {"# lc_all = de_DE\nlc_all_x = de_DE\nroot = /r\n\n", "---"},
        {"lc_all = de_DE\nlc_all = fr_FR\ntovrek_spell = a b\ntovrek_spell = c\n", "[fr_FR]-[c]"},
        {"lc_all = " + x1014 + "\n", "[" + x1014 + "]--"}, // fills the line's room
        {"lc_all" + std::string(1017, ' ') + "de_DE\n", "---"},
        {hashes.substr(2) + "\n lc_all = de_DE " + x1014 + "\n", "[de_DE]--"},
        {hashes + "\n lc_all = de_DE " + x1014 + "\n", "---"}, // past 64 KiB
    };
    for (const auto& [file, values] : rows) {
        std::ofstream(".tovrek/tvkcombo.rc", std::ios::binary) << file;
        EXPECT_EQ(read_back(), values) << file;
    }
}

// The writer stores a value only where the reader gives it back unchanged.
TEST(RcFile, WriterStoresWhatReadsBack) {
    const RcHome home;
    const std::string fits = "/" + std::string(1008, 'r'); // the whole line 1023 bytes
    // The values stored, then what is read back.
    const std::array<std::string, 4> rows[] = {
        {"fr_FR", "/opt/tovrek", "ispell -d french", "[fr_FR][/opt/tovrek][ispell -d french]"},
        {"C", "/r/", "a ", "[C]-[a ]"},
        {"a=b", "/my tovrek", "a\tb", "---"},
        {"C", fits, "a  b", "[C][" + fits + "]-"},
        {"C", fits + "r", "", "[C]-[]"},
        {"C", "/t\nx", "a", "[C]-[a]"},
    };
    for (const auto& [locale, root, spell, values] : rows) {
        tvk_state = {};
        tvk_copy(tvk_state.locale, locale);
        tvk_copy(tvk_state.root, root);
        tvk_copy(tvk_state.spell, spell);
        tvk_rcfile_write();
        EXPECT_EQ(read_back(), values);
    }
}
