#include "files/rcfile.h"

#include <sys/stat.h>

#include "unit.h"

namespace {

// Reads the file afresh in HOME: each key's value as wanted, or none (nullptr).
void expect_read(const char* locale, const char* root, const char* spell, const std::string& in) {
    tvk_state = {};
    tvk_rcfile_read();
    const auto expect = [&](bool found, const char* value, const char* want) {
        EXPECT_EQ(found, want != nullptr) << in;
        EXPECT_STREQ(value, want ? want : "") << in;
    };
    expect(tvk_state.rc_has_locale, tvk_state.rc_locale, locale);
    expect(tvk_state.rc_has_root, tvk_state.rc_root, root);
    expect(tvk_state.rc_has_spell, tvk_state.rc_spell, spell);
    EXPECT_FALSE(tvk_state.rc_read_failed || tvk_state.rc_locked);
}

// A private HOME, where the launcher's reader and writer find their file.
struct Home : tvk_scratch {
    Home() { EXPECT_TRUE(setenv("HOME", dir.c_str(), 1) == 0 && mkdir(".tovrek", 0700) == 0); }
};

// Files as a user may write them.
TEST(RcFile, Reader) {
    const Home home;
    const std::string x1014(1014, 'x');
    const std::string hashes(64 * 1024 - 1023, '#');
    const struct {
        std::string file;
        const char *locale, *root, *spell;
    } rows[] = {
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
    for (const auto& row : rows) {
        std::ofstream(".tovrek/tvkcombo.rc", std::ios::binary) << row.file;
        expect_read(row.locale, row.root, row.spell, row.file);
    }
}

// The writer stores a value only where the reader gives it back unchanged.
TEST(RcFile, WriterStoresWhatReadsBack) {
    const Home home;
    const std::string fits = "/" + std::string(1008, 'r'); // the whole line 1023 bytes
    const struct {
        const char* locale;
        std::string root;
        const char* spell;
        std::string kept; // l, r, s: the keys read back
    } rows[] = {
        {"fr_FR", "/opt/tovrek", "ispell -d french", "lrs"},
        {"C", "/r/", "a ", "ls"},
        {"a=b", "/my tovrek", "a\tb", ""},
        {"C", fits, "a  b", "lr"},
        {"C", fits + "r", "", "ls"},
        {"C", "/t\nx", "a", "ls"},
    };
    for (const auto& row : rows) {
        tvk_state = {};
        tvk_copy(tvk_state.locale, row.locale);
        tvk_copy(tvk_state.root, row.root);
        tvk_copy(tvk_state.spell, row.spell);
        tvk_rcfile_write();
        const auto kept = [&](char key, const char* value) {
            return row.kept.find(key) != std::string::npos ? value : nullptr;
        };
        expect_read(kept('l', row.locale), kept('r', row.root.c_str()), kept('s', row.spell),
                    row.root);
    }
}

} // namespace
