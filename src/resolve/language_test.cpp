#include <clocale>
#include <cstdio>

#include "resolve/resolve.h"
#include "unit.h"

// Looks locale up in a child, which may abort, under --diagnose, with the alias file written
// (unless empty); returns its log, then its report, then "=> code source" when it returned.
static std::string look_up(const char* locale, const std::string& alias = "") {
    if (!alias.empty())
        std::ofstream(tvk_alias_path) << alias;
    tvk_state = {};
    tvk_copy(tvk_state.locale, locale);
    tvk_state.debug_on = tvk_state.opt_diagnose = true;
    tvk_state.debug_fd = 1; // the child's standard output, the file "out"
    if (fork() == 0) {
        dup2(open("out", O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        tvk_language();
        std::printf("=> %s %i\n", tvk_state.language, tvk_state.language_source);
        std::fflush(stdout), _exit(0);
    }
    wait(nullptr);
    fs::remove(tvk_alias_path);
    return tvk_slurp("out");
}

// In a private working directory, where the lookup finds its alias file.
TEST(Language, Lookup) {
    const tvk_scratch dir;
    ASSERT_EQ(setenv("LOCPATH", TVK_TEST_LOCPATH, 1), 0);
    // Names the C library gives for locales that localedef compiled.
    for (const char* made : {"C.UTF-8", "fr_FR.UTF-8", "fr@euro", "deu_DE", "xyz_XY"})
        EXPECT_STREQ(std::setlocale(LC_ALL, made), made);
    std::setlocale(LC_ALL, "C");
    const auto expect = [](const std::string& outcome, std::initializer_list<const char*> locales,
                           const std::string& alias = "") {
        for (const char* locale : locales)
            EXPECT_NE(look_up(locale, alias).find(outcome), std::string::npos) << locale;
    };
    // The table alone decides; "x", neither two nor three letters, needs the alias file.
    expect("tvkcombo:tvk_language:3:default:eng\n", {"C"});
    expect("tvkcombo:tvk_language:1:locale:fre\n", {"fr_FR.UTF-8"});
    expect("=> eng 3", {"C.UTF-8", "posix"});
    expect("=> fre 1", {"fr@euro", "fre"});
    for (const std::string row : {"deu_DE ger", "zh chi", "sr_YU scc", "hrv scr", "nb nob",
                                  "nn nno", "pp pap", "aa aar", "zun zun", "ja_JP@x.y jpn"})
        expect("=> " + row.substr(row.find(' ') + 1) + " 1",
               {row.substr(0, row.find(' ')).c_str()});
    expect("abort code 3", {"sh", "EN_US", "xyz_XY"});
    expect("abort code 4", {"x"});
    const std::string huge(1048560, '#'); // the file is read no deeper than 1 MiB
    expect("alias:fr\ntvkcombo:tvk_lang", {"tovrekish"},
           "# tovrekish\nTOVREKISH fr_FR.UTF-8\ntovrekish de\n");
    expect("=> ger 2", {"tovrekish.UTF-8@x"}, "\n \t\n\t tovrekish  deu\n");
    expect("=> fre 2", {"x"}, "x fr_FR\n"); // one letter: the value of two takes the long route
    expect("has no line for \"tovrekish\"", {"tovrekish"}, "french fr_FR\ntovrekish\n");
    expect("abort code 4", {"tovrekish"}, "tovrekish english\n");
    expect("abort code 4", {"tovrekish.UTF-8"}, "tovrekish.UTF-8 fr\n");
    expect("=> fre 2", {"tovrekish"}, huge + "\ntovrekish fr\n");
    expect("abort code 4", {"tovrekish"}, huge + "1234567890\ntovrekish fr\n");
    // Another process's write lock is refused at once, never waited for.
    std::ofstream(tvk_alias_path) << "tovrekish fr\n";
    const int held = open(tvk_alias_path, O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    EXPECT_EQ(fcntl(held, F_SETLK, &lock), 0); // the child, forked, does not hold it
    expect("is locked by another process", {"tovrekish"});
    close(held);
}
