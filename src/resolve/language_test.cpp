#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"
#include "resolve/resolve.h"

namespace {

// Looks locale up in a child, which may abort, under --diagnose; returns its
// log, then its report, then "=> code source" when it returned.
std::string look_up(const char* locale) {
    tvk_state = {};
    tvk_copy(tvk_state.locale, locale);
    tvk_state.debug_on = tvk_state.opt_diagnose = true;
    tvk_state.debug_fd = open("out", O_RDWR | O_CREAT | O_TRUNC, 0600);
    const pid_t child = fork();
    if (child == 0) {
        dup2(tvk_state.debug_fd, 1);
        tvk_language();
        std::printf("=> %s %i\n", tvk_state.language, tvk_state.language_source);
        std::fflush(stdout);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    close(tvk_state.debug_fd);
    std::ifstream file("out");
    return {std::istreambuf_iterator<char>(file), {}};
}

// The lookup's outcome holds part, with the alias file written (or none).
void expect_outcome(const std::string& alias, const char* locale, const char* part) {
    std::filesystem::remove(tvk_alias_path);
    if (!alias.empty())
        std::ofstream(tvk_alias_path) << alias;
    const std::string out = look_up(locale);
    EXPECT_NE(out.find(part), std::string::npos) << locale << ":\n" << out;
}

// In a private working directory, where the lookup finds its alias file.
TEST(Language, Lookup) {
    char dir[] = "/tmp/tvk-language-XXXXXX";
    const std::filesystem::path before = std::filesystem::current_path();
    ASSERT_TRUE(mkdtemp(dir) && chdir(dir) == 0 && setenv("LOCPATH", TVK_TEST_LOCPATH, 1) == 0);
    // Names the C library gives for locales that localedef compiled.
    for (const char* made : {"C.UTF-8", "fr_FR.UTF-8", "fr@euro", "deu_DE", "xyz_XY"})
        EXPECT_STREQ(std::setlocale(LC_ALL, made), made);
    std::setlocale(LC_ALL, "C");
    // The table alone decides; "x", neither two nor three letters, needs the alias file.
    // clang-format off
    const char* const table[][2] = {
        {"C", "tvkcombo:tvk_language:3:default:eng\n"},
        {"fr_FR.UTF-8", "tvkcombo:tvk_language:1:locale:fre\n"},
        {"C.UTF-8", "=> eng 3"}, {"posix", "=> eng 3"}, {"fr@euro", "=> fre 1"}, {"fra", "=> fre 1"},
        {"fre", "=> fre 1"}, {"deu_DE", "=> ger 1"}, {"nld", "=> dut 1"}, {"zh", "=> chi 1"},
        {"sr_YU", "=> scc 1"}, {"hrv", "=> scr 1"}, {"nb", "=> nob 1"}, {"nn", "=> nno 1"},
        {"pp", "=> pap 1"}, {"aa", "=> aar 1"}, {"zun", "=> zun 1"}, {"ja_JP@x.y", "=> jpn 1"},
        {"sh", "abort code 3"}, {"EN_US", "abort code 3"}, {"xyz_XY", "abort code 3"},
        {"x", "abort code 4"},
    };
    // clang-format on
    for (const auto& row : table)
        expect_outcome("", row[0], row[1]);
    const std::string huge(1048560, '#'); // the file is read no deeper than 1 MiB
    const struct {
        std::string alias;
        const char* locale;
        const char* outcome;
    } aliased[] = {
        {"# tovrekish\nTOVREKISH fr_FR.UTF-8\ntovrekish de\n", "tovrekish",
         "alias:fr\ntvkcombo:tvk_lang"},
        {"\n# tovrekish\nTOVREKISH fr_FR.UTF-8\ntovrekish de\n", "tovrekish", "=> fre 2"},
        {" \t\n\t tovrekish  deu\n", "tovrekish.UTF-8@x", "=> ger 2"},
        {"tovrekish de_DE.UTF-8\n", "Tovrekish", "=> ger 2"},
        {"tovrekish zho \n", "tovrekish", "=> chi 2"},
        {"x fr_FR\n", "x", "=> fre 2"}, // one letter: the value of two takes the long route
        {"tovrekish es\n", "_x", "abort code 4"},
        {"french fr_FR\ntovrekish\n", "tovrekish", "has no line for \"tovrekish\""},
        {"tovrekish english\n", "tovrekish", "abort code 4"},
        {"tovrekish xx_XX\n", "tovrekish", "abort code 3"},
        {"tovrekish.UTF-8 fr\n", "tovrekish.UTF-8", "abort code 4"},
        {huge + "\ntovrekish fr\n", "tovrekish", "=> fre 2"},
        {huge + "1234567890\ntovrekish fr\n", "tovrekish", "abort code 4"},
    };
    for (const auto& row : aliased)
        expect_outcome(row.alias, row.locale, row.outcome);
    // Another process's write lock is refused at once, never waited for.
    std::ofstream(tvk_alias_path) << "tovrekish fr\n";
    const int held = open(tvk_alias_path, O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    EXPECT_EQ(fcntl(held, F_SETLK, &lock), 0); // the child, forked, does not hold it
    EXPECT_NE(look_up("tovrekish").find("is locked by another process"), std::string::npos);
    close(held);
    std::filesystem::current_path(before);
    std::filesystem::remove_all(dir);
}

} // namespace
