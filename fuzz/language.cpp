// A locale name (the input's first line) resolved to a language code by
// tvk_language, with the rest of the input as the locale alias file the
// fuzz build reads. Aborts return here (escape.h) and count as outcomes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "core/core.h"
#include "core/state.h"
#include "escape.h"
#include "fuzz.h"
#include "resolve/resolve.h"

namespace {

// The row a code names in either column; the table names each code once.
const tvk_language_row* named_row(std::string_view code) {
    const auto row =
        std::find_if(tvk_languages.begin(), tvk_languages.end(), [code](const tvk_language_row& r) {
            return r.bib_code == code || r.alt_code == code;
        });
    return row == tvk_languages.end() ? nullptr : &*row;
}

// The row the alias file leads a part to, found with tvk_alias_scan (which
// the alias target checks on its own).
const tvk_language_row* aliased_row(std::string_view part) {
    tvk_copy(tvk_state.language, part);
    tvk_text value = "";
    const int fd = open(TVK_FUZZ_ALIAS, O_RDONLY);
    fuzz_check(fd != -1);
    tvk_alias_scan(fd, value);
    close(fd);
    const std::string_view code = fuzz_language_part(value);
    return code.size() == 2 || code.size() == 3 ? named_row(code) : nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz_input_max)
        return 0;
    std::string_view alias{reinterpret_cast<const char*>(data), size};
    tvk_text name; // the locale as the launcher holds it: cut at a NUL or to fit
    tvk_copy(name, fuzz_take_line(alias));
    const std::string_view locale = fuzz_text(name);
    fuzz_write_file(TVK_FUZZ_ALIAS, alias);
    const std::string_view part = fuzz_language_part(locale);
    const bool fallback = tvk_equal_nocase(part, "C") || tvk_equal_nocase(part, "POSIX");
    const bool direct = part.size() == 2 || part.size() == 3;
    // The row the part names, directly or through the alias file.
    const tvk_language_row* expected = fallback ? nullptr
                                       : direct ? named_row(part)
                                                : aliased_row(part);

    tvk_state = {};
    tvk_copy(tvk_state.locale, locale);
    const int code = tvk_fuzz_guarded(tvk_language);
    // Only the alias file's route can end in the alias abort.
    fuzz_check(code == 0 || code == tvk_abort_language || (code == tvk_abort_alias && !direct));
    if (expected != nullptr)
        fuzz_check(code == 0 && tvk_state.language == expected->bib_code);
    if (code != 0)
        return 0;
    const std::string_view language = fuzz_text(tvk_state.language);
    const tvk_language_row* row = named_row(language);
    fuzz_check(row != nullptr && row->bib_code == language);
    const int source = fallback ? 3 : direct ? 1 : 2;
    fuzz_check(tvk_state.language_source == source && (!fallback || language == "eng"));
    return 0;
}
