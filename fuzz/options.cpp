// Arbitrary argument vectors through tvk_options: the input split at NUL
// bytes, argv[0] first. Aborts return here (escape.h) and count as outcomes.
#include <cstdint>

#include "core/core.h"
#include "core/state.h"
#include "escape.h"
#include "fuzz.h"

namespace {

constexpr int arguments_max = 64;
constexpr std::size_t course_max = 14;

char text[fuzz_input_max + 1];
char* arguments[arguments_max + 1];

int split(const std::uint8_t* data, std::size_t size) {
    std::memcpy(text, data, size);
    text[size] = '\0';
    int count = 0;
    for (std::size_t at = 0; at < size && count < arguments_max; at += std::strlen(text + at) + 1)
        arguments[count++] = text + at;
    arguments[count] = nullptr;
    return count;
}

bool course_character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

bool course_acceptable(std::string_view course) {
    return course.size() <= course_max &&
           std::all_of(course.begin(), course.end(), course_character);
}

void check_flags() {
    for (const int flag :
         {tvk_state.opt_author, tvk_state.opt_playback, tvk_state.opt_debug, tvk_state.opt_help,
          tvk_state.opt_info, tvk_state.opt_usage, tvk_state.opt_version, tvk_state.opt_locale,
          tvk_state.opt_root, tvk_state.opt_course, tvk_state.argv0_cut})
        fuzz_check(flag == 0 || flag == 1);
    fuzz_check(!(tvk_state.opt_author && tvk_state.opt_playback));
}

void check_invocation(int argc) {
    const std::string_view argv0 = fuzz_text(tvk_state.argv0);
    const std::string_view invoked = argc > 0 ? arguments[0] : "";
    fuzz_check(invoked.starts_with(argv0) && (argv0 == invoked) == (tvk_state.argv0_cut == 0));
    const std::string_view name = fuzz_text(tvk_state.basename);
    fuzz_check(name == "/" || name.find('/') == std::string_view::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz_input_max)
        return 0;
    const int argc = split(data, size);
    tvk_state = {};
    optind = 0; // a fresh getopt scan
    const int code = tvk_fuzz_guarded([argc] { tvk_options(argc, arguments); });
    fuzz_check(code == 0 || code == tvk_abort_root || code == tvk_abort_locale ||
               code == tvk_abort_course);
    check_flags();
    check_invocation(argc);
    fuzz_text(tvk_state.cmdline_locale);
    fuzz_text(tvk_state.cmdline_root);
    // Exactly the unacceptable course names abort with the course code.
    const bool acceptable = course_acceptable(fuzz_text(tvk_state.course));
    if (code == tvk_abort_course)
        fuzz_check(tvk_state.opt_course == 1 && !acceptable);
    if (code == 0 && tvk_state.opt_course == 1)
        fuzz_check(acceptable);
    return 0;
}
