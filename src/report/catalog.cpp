#include "report/catalog.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/why.h"

namespace {

constexpr std::uint32_t tvk_catalog_magic = 0x960408de;
constexpr std::size_t tvk_catalog_word = 4;
constexpr std::size_t tvk_catalog_header = 3 * tvk_catalog_word;
constexpr std::size_t tvk_catalog_cell = 3 * tvk_catalog_word; // set, message, offset

std::uint32_t tvk_catalog_at(const unsigned char* bytes, std::size_t at) {
    std::uint32_t word;
    std::memcpy(&word, bytes + at, sizeof word);
    return word;
}

} // namespace

// A catalog as gencat writes it: magic, plane size and plane depth in the
// writer's byte order; two tables of size * depth cells, little-endian
// first, big-endian second; then the strings, each ended by a NUL, a cell's
// offset counted from the first. catopen takes the magic in either order
// (and then swaps the two sizes only), uses the table of this machine's
// order as it stands, reads every cell's offset and walks the string at the
// largest to its NUL, with a bound that takes the tables' words for bytes.
// catgets asks for set N as N + 1 (our set 1 is stored as 2): it divides by
// the plane size, reads at least one cell of a chain, and returns the string
// of the cell that matches. So both sizes must be at least 1, the tables lie
// in the file, and the string of every cell, not only of our messages,
// starts and ends in it. Each size is checked against the file before they
// are multiplied, so the product cannot wrap.
bool tvk_catalog_sound(const unsigned char* bytes, std::size_t size) {
    if (size < tvk_catalog_header)
        return tvk_refused("header: the file is shorter than a catalog's header");
    const std::uint32_t magic = tvk_catalog_at(bytes, 0);
    const bool swapped = magic == __builtin_bswap32(tvk_catalog_magic);
    if (magic != tvk_catalog_magic && !swapped)
        return tvk_refused("header: no catalog's magic number");
    const auto header = [&](std::size_t at) {
        const std::uint32_t word = tvk_catalog_at(bytes, at);
        return std::size_t{swapped ? __builtin_bswap32(word) : word};
    };
    const std::size_t plane_size = header(4), plane_depth = header(8);
    const std::size_t room = (size - tvk_catalog_header) / (2 * tvk_catalog_cell);
    if (plane_size == 0 || plane_depth == 0 || plane_size > room || plane_depth > room / plane_size)
        return tvk_refused("header: plane size %zu and depth %zu do not fit a file of %zu bytes",
                           plane_size, plane_depth, size);
    const std::size_t cells = plane_size * plane_depth;
    const std::size_t strings = tvk_catalog_header + 2 * tvk_catalog_cell * cells;
    const std::size_t table =
        tvk_catalog_header +
        (std::endian::native == std::endian::little ? 0 : tvk_catalog_cell * cells);
    // A string has its NUL in the file when it starts at or before the last one.
    const auto* last =
        static_cast<const unsigned char*>(memrchr(bytes + strings, '\0', size - strings));
    const std::size_t ended = last ? static_cast<std::size_t>(last - bytes) + 1 - strings : 0;
    for (std::size_t cell = 0; cell < cells; ++cell) {
        const std::size_t at = table + tvk_catalog_cell * cell;
        const std::uint32_t offset = tvk_catalog_at(bytes, at + 2 * tvk_catalog_word);
        if (offset >= ended)
            return tvk_refused(
                "cell %zu (set %u, message %u): its string %s", cell, tvk_catalog_at(bytes, at),
                tvk_catalog_at(bytes, at + tvk_catalog_word),
                offset >= size - strings ? "starts outside the file" : "has no NUL in the file");
    }
    return true;
}
