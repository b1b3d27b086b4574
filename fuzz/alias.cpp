// Arbitrary bytes as a locale alias file, scanned by tvk_alias_scan. The
// input's first line is the key: a language part, so it is cut at the first
// '_', '@' or '.'.
#include <cstdint>

#include "core/state.h"
#include "fuzz.h"
#include "resolve/resolve.h"

namespace {

constexpr std::size_t key_max = 32;
int file = -1;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    file = fuzz_memory_file("alias");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz_input_max)
        return 0;
    std::string_view alias{reinterpret_cast<const char*>(data), size};
    const std::string_view key = fuzz_language_part(fuzz_take_line(alias).substr(0, key_max));
    fuzz_load(file, alias);
    tvk_state = {};
    tvk_copy(tvk_state.language, key);
    tvk_text value = "";
    tvk_alias_scan(file, value);
    // The value is the second token of a line keyed by a non-empty part.
    const std::string_view found = fuzz_text(value);
    fuzz_check(found.find_first_of(" \t\n") == std::string_view::npos);
    fuzz_check(found.empty() || (!fuzz_text(tvk_state.language).empty() &&
                                 fuzz_after_separator(alias, found, " \t")));
    return 0;
}
