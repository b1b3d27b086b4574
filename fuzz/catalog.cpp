// libFuzzer target for the usage catalog's check, judged by the C library
// itself: every input the check accepts is handed to catopen through a
// memory file, as the launcher does, and every usage message read back with
// catgets must lie, NUL included, inside the input's bytes. The unit test
// of the check calls it too, on catalogs made by gencat and damaged.
#include <nl_types.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "report/catalog.h"

#define CHECK(holds) ((holds) ? void() : __builtin_trap())

namespace {

constexpr char tvk_fuzz_name[] = "tvk fuzz catalog";

// Where catopen mapped the catalog, as the kernel lists it.
std::uintptr_t tvk_fuzz_mapped() {
    FILE* maps = std::fopen("/proc/self/maps", "r");
    CHECK(maps != nullptr);
    char line[4096];
    std::uintptr_t start = 0;
    while (start == 0 && std::fgets(line, sizeof line, maps))
        if (std::strstr(line, tvk_fuzz_name) != nullptr)
            CHECK(std::sscanf(line, "%" SCNxPTR, &start) == 1);
    std::fclose(maps);
    return start;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!tvk_catalog_sound(data, size))
        return 0;
    const int fd = memfd_create(tvk_fuzz_name, MFD_CLOEXEC);
    CHECK(fd != -1 && write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const nl_catd catalog = catopen(self.c_str(), NL_CAT_LOCALE);
    close(fd);
    if (catalog == reinterpret_cast<nl_catd>(-1))
        return 0; // the defaults are printed
    const std::uintptr_t start = tvk_fuzz_mapped(), end = start + size;
    CHECK(start != 0);
    for (int message = 1; message <= 13; ++message) {
        const char* text = catgets(catalog, 1, message, nullptr);
        const auto at = reinterpret_cast<std::uintptr_t>(text);
        CHECK(text == nullptr || (at >= start && at + std::strlen(text) < end));
    }
    catclose(catalog);
    return 0;
}
