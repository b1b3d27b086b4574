// Arbitrary bytes as the version stamp of a candidate root, checked by
// tvk_root_check: exactly the stamps whose first line is this launcher's
// version are accepted.
#include <cstdint>

#include "core/state.h"
#include "fuzz.h"
#include "resolve/resolve.h"
#include "version.h"

namespace {

const fuzz_place* root = nullptr;
tvk_text expected;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    root = &fuzz_make_place("ver", "tvkcombo");
    fuzz_check(tvk_format(expected, "%i.%i.%i\n", tvk_version_major_number,
                          tvk_version_minor_number, tvk_version_patch_number));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz_input_max)
        return 0;
    const std::string_view contents{reinterpret_cast<const char*>(data), size};
    fuzz_write_file(root->file, contents);
    tvk_state = {};
    tvk_state.version_major = tvk_version_major_number;
    tvk_state.version_minor = tvk_version_minor_number;
    tvk_state.version_patch = tvk_version_patch_number;
    const int accepted = tvk_root_check(root->top);
    fuzz_check(accepted == (contents.starts_with(expected) ? 1 : 0));
    return 0;
}
