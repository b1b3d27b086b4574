#include "command/options.h"

#include <gtest/gtest.h>

#include "core/state.h"

namespace {

TEST(CourseName, Verdicts) {
    tvk_state.opt_diagnose = true;
    const auto expect = [](const char* refusal, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            tvk_state.why[0] = '\0';
            EXPECT_EQ(tvk_course_sound(name), refusal == nullptr) << name;
            EXPECT_NE(std::string_view(tvk_state.why).find(refusal ? refusal : ""),
                      std::string_view::npos)
                << name;
        }
    };
    expect(nullptr, {"", "algebra", "abcdefghij.-_9", ".a"});
    expect("more than 14 characters", {"abcdefghij.-_90"});
    expect("only of dots", {".", "..", ".............."});
    expect("a character other than", {"a/b", "a b", "caf\xc3\xa9"});
    tvk_state.opt_diagnose = false;
}

} // namespace
