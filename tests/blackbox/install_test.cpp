// The launcher as users get it: the tree that `cmake --install` lays out and
// the Debian package, both run with their real catalogs and version stamp.
#include <iconv.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "line_escape.h"
#include "world.h"

namespace tvktest {
extern const char report_banner[]; // report_test.cpp
} // namespace tvktest

namespace {

namespace fs = std::filesystem;
using tvktest::RunOptions;
using tvktest::RunResult;
using tvktest::TestWorld;

const std::string build_dir = TVK_TEST_BUILD_DIR;

// Runs a build tool (absolute path first) in the world, with its environment.
RunResult run_tool(const TestWorld& world, const std::vector<std::string>& command) {
    const std::vector<std::string> args(command.begin() + 1, command.end());
    return world.run(
        args, RunOptions().with_program(command.front()).with_timeout(std::chrono::minutes(2)));
}

bool succeeded(const RunResult& result) {
    return result.exited && result.status == 0;
}

// Every path below the top of an install tree, the overlay excepted.
std::set<std::string> expected_tree() {
    std::set<std::string> paths = {"bin",
                                   "bin/tvkcombo",
                                   "lib",
                                   "nls",
                                   "nls/eng.combo.cat.ANSI_X3.4-1968",
                                   "share",
                                   "share/man",
                                   "share/man/man1",
                                   "share/man/man1/tvkcombo.1",
                                   "ver",
                                   "ver/tvkcombo"};
    for (const char* language : {"ger", "eng", "spa", "fre", "ita", "por"})
        for (const char* codeset : {"UTF-8", "ISO-8859-1", "ISO-8859-15"})
            paths.insert(std::string("nls/") + language + ".combo.cat." + codeset);
    return paths;
}

std::set<std::string> paths_below(const std::string& top) {
    std::set<std::string> paths;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top))
        paths.insert(fs::relative(entry.path(), top).string());
    return paths;
}

// Checks that the tree at rel (in the world) is exactly what the install
// lays out, then puts the recording overlay in.
void expect_tree_and_add_overlay(const TestWorld& world, const std::string& rel) {
    EXPECT_EQ(paths_below(world.path(rel)), expected_tree());
    ASSERT_TRUE(world.symlink(TVK_TEST_OVERLAY, rel + "/bin/tvkcombo.ovl"));
}

// Replaces the world's own tree by this build, installed.
void install(const TestWorld& world) {
    ASSERT_TRUE(world.remove("opt/tovrek"));
    const RunResult result =
        run_tool(world, {TVK_TEST_CMAKE, "--install", build_dir, "--prefix", world.root()});
    ASSERT_TRUE(succeeded(result)) << result.out << result.err;
    expect_tree_and_add_overlay(world, "opt/tovrek");
}

// -i must show root as found from the program's own resolved path, and a
// plain launch must reach the overlay with it.
void expect_found_and_launched(const TestWorld& world, const std::string& root,
                               const RunOptions& options) {
    const RunResult info = world.run({"-i"}, options);
    EXPECT_TRUE(succeeded(info)) << info.out;
    EXPECT_NE(info.out.find("Root Directory = " + root + " from computed realpath()\n"),
              std::string::npos)
        << info.out;
    const RunResult launch = world.run({"algebra"}, options);
    EXPECT_TRUE(succeeded(launch)) << launch.out;
    const tvktest::OverlayRecord seen = world.record();
    ASSERT_TRUE(seen.ran);
    EXPECT_EQ(seen.argv, std::vector<std::string>{"playback"});
    EXPECT_EQ(seen.env_value("TOVREK_ROOT"), root);
}

// The four-part version on the version line of -v.
std::string reported_version(const TestWorld& world, const RunOptions& options = {}) {
    const RunResult result = world.run({"-v"}, options);
    const std::string head = std::string(tvktest::report_banner) + "TOVREK tvkcombo     ";
    if (result.out.rfind(head, 0) != 0) {
        ADD_FAILURE() << "no version line in:\n" << result.out;
        return {};
    }
    return result.out.substr(head.size(), result.out.find('\n', head.size()) - head.size());
}

// Set 1 of nls/<language>.msg as gencat reads it: `N "text"` lines whose
// text has the escapes \n and \\.
std::map<int, std::string> source_messages(const std::string& language) {
    std::ifstream source(std::string(TVK_TEST_SOURCE_DIR) + "/nls/" + language + ".msg");
    std::map<int, std::string> messages;
    int set = 0;
    for (std::string line; std::getline(source, line);) {
        if (line.rfind("$set ", 0) == 0) {
            set = std::stoi(line.substr(5));
        } else if (set == 1 && std::isdigit(static_cast<unsigned char>(line[0]))) {
            const size_t open = line.find('"') + 1;
            messages[std::stoi(line)] =
                tvktest::line_unescaped(line.substr(open, line.rfind('"') - open));
        }
    }
    return messages;
}

std::string converted(std::string text, const std::string& codeset) {
    const iconv_t converter = iconv_open(codeset.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv knows no " << codeset;
        return {};
    }
    std::string result(4 * text.size(), '\0');
    char* in = text.data();
    char* out = result.data();
    size_t in_left = text.size();
    size_t out_left = result.size();
    EXPECT_NE(iconv(converter, &in, &in_left, &out, &out_left), static_cast<size_t>(-1))
        << "cannot convert to " << codeset << ": " << text;
    iconv_close(converter);
    result.resize(result.size() - out_left);
    return result;
}

// The banner and messages 1 to 13 of the language's source in codeset, as -h
// prints them: a message the source lacks is missing here too.
std::string usage_text(const std::string& language, const std::string& codeset) {
    std::map<int, std::string> messages = source_messages(language);
    std::string text;
    for (int number = 1; number <= 13; ++number)
        text += messages[number];
    const size_t name = text.find("%s");
    if (name != std::string::npos)
        text.replace(name, 2, "tvkcombo");
    return tvktest::report_banner + converted(text, codeset);
}

// Builds this build's Debian package into the world; returns its path, or
// nothing when there is none.
std::string build_package(const TestWorld& world) {
    // CPack first builds the preinstall target, which would rebuild the whole
    // build tree, this test included; a generator without that target makes
    // it package what is built.
    const RunResult packed =
        run_tool(world, {TVK_TEST_CPACK, "-G", "DEB", "--config", build_dir + "/CPackConfig.cmake",
                         "-B", world.path("package"), "-D", "CPACK_CMAKE_GENERATOR=Ninja"});
    EXPECT_TRUE(succeeded(packed)) << packed.out << packed.err;
    std::error_code missing;
    for (const fs::directory_entry& entry : fs::directory_iterator(world.path("package"), missing))
        if (entry.path().extension() == ".deb")
            return entry.path();
    return {};
}

TEST(InstallTree, IsFoundByItsLauncherWhichReachesTheOverlay) {
    TestWorld world;
    ASSERT_NO_FATAL_FAILURE(install(world));
    expect_found_and_launched(world, world.root(), {});
}

TEST(InstallTree, PrintsEachLanguagesUsageFromItsCatalogs) {
    struct Case {
        const char* locale;
        const char* language;
        const char* codeset;
    };
    const Case cases[] = {
        {"de_DE", "ger", "ISO-8859-1"},       {"de_DE.UTF-8", "ger", "UTF-8"},
        {"de_DE@euro", "ger", "ISO-8859-15"}, {"en_US", "eng", "ISO-8859-1"},
        {"en_US.UTF-8", "eng", "UTF-8"},      {"C", "eng", "ANSI_X3.4-1968"},
        {"es_ES", "spa", "ISO-8859-1"},       {"es_ES.UTF-8", "spa", "UTF-8"},
        {"fr_FR", "fre", "ISO-8859-1"},       {"fr_FR.UTF-8", "fre", "UTF-8"},
        {"it_IT", "ita", "ISO-8859-1"},       {"it_IT.UTF-8", "ita", "UTF-8"},
        {"pt_PT", "por", "ISO-8859-1"},       {"pt_PT.UTF-8", "por", "UTF-8"},
    };
    TestWorld world;
    ASSERT_NO_FATAL_FAILURE(install(world));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        world.set_env("LANG", c.locale);
        const RunResult result = world.run({"-h"});
        EXPECT_TRUE(succeeded(result));
        EXPECT_EQ(result.out, usage_text(c.language, c.codeset));
    }
}

TEST(InstallTree, StampNamesTheVersionTheLauncherReports) {
    TestWorld world;
    ASSERT_NO_FATAL_FAILURE(install(world));
    const std::string version = reported_version(world);
    const std::string stamp = world.read_file("opt/tovrek/ver/tvkcombo");
    EXPECT_EQ(stamp.substr(0, stamp.find('\n')), version.substr(0, version.rfind('.')));
}

TEST(DebianPackage, InstallsATreeFoundThroughItsLinkOnThePath) {
    for (const char* tool : {TVK_TEST_CPACK, TVK_TEST_DPKG_DEB})
        ASSERT_EQ(access(tool, X_OK), 0)
            << tool << ": cpack and dpkg-deb are needed (Debian packages cmake, dpkg-dev)";
    TestWorld world;
    const std::string deb = build_package(world);
    ASSERT_FALSE(deb.empty());
    const RunResult unpacked = run_tool(world, {TVK_TEST_DPKG_DEB, "-x", deb, world.path("deb")});
    ASSERT_TRUE(succeeded(unpacked)) << unpacked.err;

    ASSERT_NO_FATAL_FAILURE(expect_tree_and_add_overlay(world, "deb/opt/tovrek"));
    const std::string link = world.path("deb/usr/bin/tvkcombo");
    EXPECT_EQ(fs::read_symlink(link).string(), "../../opt/tovrek/bin/tvkcombo");
    const std::string root = world.path("deb/opt/tovrek");
    expect_found_and_launched(world, root, RunOptions().with_program(link));
    world.set_env("PATH", world.path("deb/usr/bin") + ":/usr/bin:/bin");
    const RunOptions by_name = RunOptions().with_program(link).with_argv0("tvkcombo");
    expect_found_and_launched(world, root, by_name);

    const RunResult fields = run_tool(world, {TVK_TEST_DPKG_DEB, "-f", deb, "Package", "Version"});
    EXPECT_EQ(fields.out, "Package: tvkcombo\nVersion: " + reported_version(world, by_name) + "\n");
}

} // namespace
