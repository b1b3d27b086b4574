#include "command/options.h"

#include "unit.h"

TEST(CourseName, Verdicts) {
    const auto expect = [](const char* refusal, std::initializer_list<const char*> names) {
        for (const char* name : names)
            EXPECT_TRUE(tvk_refuses([&] { return tvk_course_sound(name); }, refusal)) << name;
    };
    expect("", {"", "algebra", "abcdefghij.-_9", ".a"});
    expect("more than 14 characters", {"abcdefghij.-_90"});
    expect("only of dots", {".", "..", ".............."});
    expect("a character other than", {"a/b", "a b", "caf\xc3\xa9"});
}
