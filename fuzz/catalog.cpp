// libFuzzer target for the usage catalog's check, judged by the C library
// itself: every input the check accepts is handed to catopen through a
// memory file, as the launcher does, and every usage message read back with
// catgets must lie, NUL included, inside the input's bytes. The unit test
// of the check calls it too, on catalogs made by gencat and damaged.
#include <nl_types.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "report/catalog.h"

#define CHECK(holds) ((holds) ? void() : __builtin_trap())

// Inputs shorter than a page, which catopen maps whole into one: a message
// inside them lies in a page that starts with their bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto page = static_cast<std::uintptr_t>(getpagesize());
    if (size >= page || !tvk_catalog_sound(data, size))
        return 0;
    const int fd = memfd_create("tvk fuzz catalog", MFD_CLOEXEC);
    CHECK(fd != -1 && write(fd, data, size) == static_cast<ssize_t>(size));
    const nl_catd catalog = catopen(("/proc/self/fd/" + std::to_string(fd)).c_str(), NL_CAT_LOCALE);
    close(fd);
    if (catalog == reinterpret_cast<nl_catd>(-1))
        return 0; // the defaults are printed
    for (int message = 1; message <= 13; ++message) {
        const char* text = catgets(catalog, 1, message, nullptr);
        const auto at = reinterpret_cast<std::uintptr_t>(text), start = at & ~(page - 1);
        CHECK(text == nullptr ||
              (std::memcmp(reinterpret_cast<const void*>(start), data, size) == 0 &&
               at + std::strlen(text) < start + size));
    }
    catclose(catalog);
    return 0;
}
