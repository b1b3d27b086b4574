#include "command/options.h"

#include <gtest/gtest.h>

#include "core/state.h"

namespace {

struct Course {
    const char* name;
    const char* refusal; // nullptr: accepted
};

TEST(CourseName, Verdicts) {
    const Course rows[] = {
        {"", nullptr},
        {"algebra", nullptr},
        {"abcdefghij.-_9", nullptr},
        {".a", nullptr},
        {"abcdefghij.-_90", "more than 14 characters"},
        {".", "only of dots"},
        {"..", "only of dots"},
        {"..............", "only of dots"},
        {"a/b", "a character other than"},
        {"a b", "a character other than"},
        {"caf\xc3\xa9", "a character other than"},
    };
    tvk_state.opt_diagnose = true;
    for (const Course& row : rows) {
        tvk_state.why[0] = '\0';
        EXPECT_EQ(tvk_course_sound(row.name), row.refusal == nullptr) << row.name;
        EXPECT_NE(std::string_view(tvk_state.why).find(row.refusal ? row.refusal : ""),
                  std::string_view::npos)
            << row.name;
    }
    tvk_state.opt_diagnose = false;
}

} // namespace
