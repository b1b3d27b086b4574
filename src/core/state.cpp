#include "core/state.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

tvk_record tvk_state;

void tvk_state_prefault() {
    const auto page = static_cast<std::uintptr_t>(getpagesize());
    const auto first = reinterpret_cast<std::uintptr_t>(&tvk_state) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(&tvk_state.cmdline_locale);
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}
