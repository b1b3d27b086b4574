// Which catalog texts the usage text trusts, and its wide output path.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "core/state.h"
#include "report/report.h"

namespace {

namespace fs = std::filesystem;
using Messages = std::map<int, std::string>;

TEST(UsageText, UsesOnlyCatalogTextsThatAreSafeFormats) {
    struct Case {
        int number;
        const char* catalog;
        bool trusted;
    };
    const Case cases[] = {
        {1, "  usage: %s\n", true},  {1, "%s", true},           {1, "  usage\n", false},
        {1, "%s%s\n", false},        {1, "%n %s\n", false},     {1, "%s %d\n", false},
        {1, "%%s\n", false},         {1, "%s 100%", false},     {1, "%S\n", false},
        {2, "    -a plain\n", true}, {2, "    -a %n\n", false}, {7, "%d\n", false},
        {12, "100%\n", false},       {13, "%s\n", false},       {13, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.number << ": " << c.catalog);
        EXPECT_STREQ(tvk_usage_text(c.number, c.catalog),
                     c.trusted ? c.catalog : tvk_usage_default(c.number));
    }
    EXPECT_STREQ(tvk_usage_text(3, nullptr), tvk_usage_default(3));
}

class UsageOutput : public testing::Test {
  protected:
    void SetUp() override {
        tvk_state = {};
        char pattern[] = "/tmp/tvkusage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Compiles set 1 of messages (each ending in a newline) into the catalog
    // for language eng and codeset UTF-8.
    void make_catalog(const Messages& messages) {
        fs::create_directories(dir_ + "/nls");
        std::ofstream source(dir_ + "/catalog.msg", std::ios::binary);
        source << "$set 1\n";
        for (const auto& [number, text] : messages)
            source << number << ' ' << text.substr(0, text.size() - 1) << "\\n\n";
        source.close();
        const std::string command =
            "LC_ALL=C.UTF-8 gencat " + dir_ + "/nls/eng.combo.cat.UTF-8 " + dir_ + "/catalog.msg";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    // The bytes tvk_usage writes, run in a child under locale with standard
    // output on a file, wide-oriented when asked.
    std::string usage_output(const char* locale, bool wide) {
        const std::string out = dir_ + (wide ? "/wide.out" : "/byte.out");
        EXPECT_EXIT(
            {
                std::setlocale(LC_ALL, locale);
                // A reopened stream has no orientation yet.
                if (std::freopen(out.c_str(), "w", stdout) == nullptr)
                    std::_Exit(2);
                if (wide && std::fwide(stdout, 1) <= 0)
                    std::_Exit(3);
                tvk_copy(tvk_state.root, dir_);
                tvk_copy(tvk_state.language, "eng");
                tvk_copy(tvk_state.codeset, "UTF-8");
                tvk_copy(tvk_state.basename, "tvkcombo");
                tvk_usage();
            },
            testing::ExitedWithCode(0), "");
        std::ifstream file(out, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::string dir_;
};

// The banner and the thirteen messages, own texts where given.
std::string usage_text(const Messages& own) {
    std::string text = tvk_banner;
    for (int number = 1; number <= 13; ++number) {
        const auto found = own.find(number);
        std::string message = found != own.end() ? found->second : tvk_usage_default(number);
        if (number == 1)
            message.replace(message.find("%s"), 2, "tvkcombo");
        text += message;
    }
    return text;
}

TEST_F(UsageOutput, WideOutputPrintsWhatByteOutputPrints) {
    const std::string bytes = usage_output("C", false);
    EXPECT_EQ(bytes, usage_text({}));
    EXPECT_EQ(usage_output("C", true), bytes);
}

TEST_F(UsageOutput, WideOutputReplacesMessagesThatDoNotConvert) {
    const std::string e_acute = "  r\xc3\xa9sum\xc3\xa9\n";
    const std::string longest = std::string(1021, 'x') + "\n";  // 1022 wide characters
    const std::string too_long = std::string(1022, 'y') + "\n"; // 1023: no room for the null
    make_catalog({{3, e_acute}, {4, longest}, {5, too_long}});
    struct Case {
        const char* locale;
        bool wide;
        Messages printed;
    };
    const Case cases[] = {
        {"C", false, {{3, e_acute}, {4, longest}, {5, too_long}}},
        {"C.UTF-8", true, {{3, e_acute}, {4, longest}}},
        {"C", true, {{4, longest}}}, // é is no ASCII character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.locale << (c.wide ? " wide" : " bytes"));
        EXPECT_EQ(usage_output(c.locale, c.wide), usage_text(c.printed));
    }
}

} // namespace
