// Arbitrary bytes as the whole rc file, read by tvk_rcfile_read from a
// private HOME made at start and removed at exit.
#include <cstdint>

#include "core/state.h"
#include "files/files.h"
#include "fuzz.h"

namespace {

const char* rcfile = nullptr;

// A flag is 0 or 1, and a field whose flag is 0 was never written.
std::string_view field(const tvk_text& text, int flag) {
    const std::string_view value = fuzz_text(text);
    fuzz_check(flag == 1 || (flag == 0 && value.empty()));
    return value;
}

// A value token: the second of its line, standing in the file as it is.
void check_token(std::string_view value, std::string_view contents) {
    fuzz_check(value.find_first_of(" \t=\n") == std::string_view::npos);
    fuzz_check(value.empty() || fuzz_after_separator(contents, value, " \t="));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const fuzz_place& home = fuzz_make_place(".tovrek", "tvkcombo.rc");
    rcfile = home.file;
    return setenv("HOME", home.top, 1);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz_input_max)
        return 0;
    const std::string_view contents{reinterpret_cast<const char*>(data), size};
    fuzz_write_file(rcfile, contents);
    tvk_state = {};
    tvk_rcfile_read();
    check_token(field(tvk_state.rc_locale, tvk_state.rc_has_locale), contents);
    check_token(field(tvk_state.rc_root, tvk_state.rc_has_root), contents);
    // Tokens joined by single blanks; only the last may leave one behind it.
    const std::string_view spell = field(tvk_state.rc_spell, tvk_state.rc_has_spell);
    fuzz_check(spell.find_first_of("\t=\n") == std::string_view::npos);
    fuzz_check(!spell.starts_with(' ') && spell.find("  ") == std::string_view::npos);
    return 0;
}
