#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"
#include "resolve/resolve.h"

namespace {

struct Lookup {
    const char* locale;
    const char* language; // the code; or, on an abort, "abort code N"
    int source;
};

// The lookup of locale, in a private working directory that holds the alias
// file (when alias is not null); the log and --diagnose write to the file
// "out", read back into out.
class Language : public testing::Test {
  protected:
    std::filesystem::path before = std::filesystem::current_path(), top;
    std::string out;
    void SetUp() override {
        char dir[] = "/tmp/tvk-language-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir) && chdir(dir) == 0);
        top = dir;
    }
    void TearDown() override {
        std::filesystem::current_path(before);
        std::filesystem::remove_all(top);
    }

    void look_up(const Lookup& row, const std::string* alias = nullptr) {
        if (alias != nullptr)
            std::ofstream(tvk_alias_path, std::ios::binary) << *alias;
        tvk_state = {};
        tvk_copy(tvk_state.locale, row.locale);
        tvk_state.debug_fd = open("out", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        tvk_state.debug_on = true;
        const std::string abort = row.language;
        if (abort.starts_with("abort")) {
            // --diagnose names the abort code on standard output, here the log's file.
            EXPECT_EXIT(
                (dup2(tvk_state.debug_fd, 1), tvk_state.opt_diagnose = true, tvk_language()),
                testing::ExitedWithCode(1), "")
                << row.locale;
            out = slurp();
            EXPECT_NE(out.find(abort), std::string::npos) << row.locale << "\n" << out;
            return;
        }
        tvk_language();
        EXPECT_STREQ(tvk_state.language, row.language) << row.locale;
        EXPECT_EQ(tvk_state.language_source, row.source) << row.locale;
        close(tvk_state.debug_fd);
        out = slurp();
    }
    std::string slurp() const {
        std::ifstream file("out", std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
};

// Codes of two and three letters, the alternate ones, and what is cut: the
// table alone decides, no alias file is read.
TEST_F(Language, Table) {
    const Lookup rows[] = {
        {"C", "eng", 3},   {"c", "eng", 3},     {"POSIX", "eng", 3}, {"posix", "eng", 3},
        {"fr", "fre", 1},  {"fra", "fre", 1},   {"fre", "fre", 1},   {"en_GB.UTF-8", "eng", 1},
        {"de", "ger", 1},  {"nl", "dut", 1},    {"nld", "dut", 1},   {"zh", "chi", 1},
        {"zho", "chi", 1}, {"sr_YU", "scc", 1}, {"srp", "scc", 1},   {"hr", "scr", 1},
        {"hrv", "scr", 1}, {"no", "nor", 1},    {"nb", "nob", 1},    {"nn", "nno", 1},
        {"ph", "phi", 1},  {"pp", "pap", 1},    {"mo", "mol", 1},    {"aa", "aar", 1},
        {"zu", "zul", 1},  {"zun", "zun", 1},   {"aar", "aar", 1},   {"ja_JP@x.y", "jpn", 1},
    };
    for (const Lookup& row : rows) {
        look_up(row);
        const std::string tag =
            row.source == 3 ? "tvk_language:3:default:" : "tvk_language:1:locale:";
        EXPECT_EQ(out, "tvkcombo:" + tag + row.language + "\n");
    }
    for (const char* unknown : {"sh", "iw", "in", "ji", "jw", "an", "ht", "EN_US", "xx", "xyz"})
        look_up({unknown, "abort code 3", 0});
    look_up({"x", "abort code 4", 0}); // a part of neither two nor three letters needs the alias
}

// Names the C library gives for the locales compiled by localedef.
TEST_F(Language, Locales) {
    ASSERT_EQ(setenv("LOCPATH", TVK_TEST_LOCPATH, 1), 0);
    const Lookup rows[] = {
        {"C.UTF-8", "eng", 3}, {"fr_FR", "fre", 1},  {"fr_FR.UTF-8", "fre", 1},
        {"fr@euro", "fre", 1}, {"deu_DE", "ger", 1}, {"xyz_XY", "abort code 3", 0},
    };
    for (const Lookup& row : rows) {
        const char* name = std::setlocale(LC_ALL, row.locale);
        ASSERT_STREQ(name, row.locale);
        look_up(row);
    }
    std::setlocale(LC_ALL, "C");
}

struct Alias {
    std::string file;
    Lookup row;
    std::string log;
};

TEST_F(Language, AliasFile) {
    const Alias rows[] = {
        {"\n# tovrekish\nTOVREKISH fr_FR.UTF-8\ntovrekish de_DE\n",
         {"tovrekish", "fre", 2},
         "tvk_alias:2:alias:fr\ntvkcombo:tvk_language:1:locale:fre"},
        {" \t\n\t tovrekish  deu\n", {"tovrekish.UTF-8@x", "ger", 2}, "alias:deu\n"},
        {"tovrekish de_DE.UTF-8\n", {"Tovrekish", "ger", 2}, "alias:de\n"},
        {"tovrekish zho \n", {"tovrekish", "chi", 2}, "alias:zho\n"},
        {"tovrekish es\ntovrekish fr\n", {"_x", "abort code 4", 0}, ""},
        {"french fr_FR\ntovrekish\n", {"tovrekish", "abort code 4", 0}, ""},
        {"tovrekish english\n", {"tovrekish", "abort code 4", 0}, ""},
        {"tovrekish xx_XX\n", {"tovrekish", "abort code 3", 0}, ""},
        {"tovrekish.UTF-8 fr\n", {"tovrekish.UTF-8", "abort code 4", 0}, ""},
        {std::string(1048560, '#') + "\ntovrekish fr\n", {"tovrekish", "fre", 2}, ""},
        {std::string(1048570, '#') + "\ntovrekish fr\n", {"tovrekish", "abort code 4", 0}, ""},
    };
    for (const Alias& row : rows) {
        look_up(row.row, &row.file);
        EXPECT_NE(out.find(row.log), std::string::npos) << row.row.locale << "\n" << out;
    }
    std::filesystem::remove(tvk_alias_path);
    look_up({"tovrekish", "abort code 4", 0});
    // Another process's write lock: refused at once, never waited for.
    const std::string fr = "tovrekish fr\n";
    look_up({"tovrekish", "fre", 2}, &fr);
    const int held = open(tvk_alias_path, O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(held, F_SETLK, &lock), 0); // the aborting child, forked, does not hold it
    look_up({"tovrekish", "abort code 4", 0});
    close(held);
}

} // namespace
