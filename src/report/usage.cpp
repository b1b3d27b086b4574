#include <fcntl.h>
#include <nl_types.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "build.h"
#include "core/state.h"
#include "files/log.h"
#include "report/report.h"

namespace {

constexpr int tvk_usage_set = 1;
constexpr std::size_t tvk_banner_wide_max = 160;

constexpr const char* tvk_usage_defaults[] = {
    "  usage: %s [-adhil:pr:uv] [coursename]\n",
    "    -a author courses (teacher)\n",
    "    -d debug flag ($HOME/.tovrek/tvkcombo.log)\n",
    "    -h help flag (these messages)\n",
    "    -i info flag (display environment)\n",
    "   [-l locale] (set $LC_ALL value)\n",
    "    -p playback courses (student) DEFAULT\n",
    "   [-r rootdir] (set $TOVREK_ROOT value)\n",
    "    -u usage flag (these messages)\n",
    "    -v version flag (display program version)\n",
    "  coursename, 1-14 POSIX characters [A-Za-z0-9_-.]\n",
    "Include the output of tvkcombo -i when you\n",
    "Report bugs to <tvkcombo@tovrek.example>\n",
};
static_assert(std::size(tvk_usage_defaults) == tvk_usage_message_count);

const char* tvk_usage_default(int number) {
    return tvk_usage_defaults[number - 1];
}

// Message 1 must hold exactly one "%s" and no other "%"; the others no "%".
bool tvk_usage_safe(int number, std::string_view text) {
    const std::size_t percent = text.find('%');
    if (number != 1)
        return percent == std::string_view::npos;
    return percent != std::string_view::npos && tvk_tail(text, percent).starts_with("%s") &&
           text.find('%', percent + 1) == std::string_view::npos;
}

// The text to print for a message: the catalog's when it is safe to use as
// a format, otherwise the built-in default.
const char* tvk_usage_text(int number, const char* catalog_text) {
    if (catalog_text != nullptr && tvk_usage_safe(number, catalog_text))
        return catalog_text;
    return tvk_usage_default(number);
}

const char* tvk_usage_message(nl_catd catalog, int number) {
    const char* fallback = tvk_usage_default(number);
    return tvk_usage_text(number, catgets(catalog, tvk_usage_set, number, fallback));
}

// Message 1 with the program name in place of its "%s". The text has
// been checked, so this prints what printf with it as format would.
void tvk_usage_first(tvk_text& line, const char* message) {
    const std::string_view text = message;
    const std::size_t at = text.find("%s");
    tvk_copy(line, tvk_head(text, at));
    tvk_append(line, tvk_state.basename);
    tvk_append(line, tvk_tail(text, at + 2));
}

void tvk_usage_bytes(nl_catd catalog) {
    std::printf("%s", tvk_banner);
    tvk_text first;
    tvk_usage_first(first, tvk_usage_message(catalog, 1));
    std::printf("%s", first);
    for (int number = 2; number <= tvk_usage_message_count; ++number)
        std::printf("%s", tvk_usage_message(catalog, number));
}

// Converts text in the current locale; false when it does not convert or
// leaves no room for the terminating null.
bool tvk_widen(wchar_t (&wide)[tvk_text_size], const char* text, std::size_t max) {
    const std::size_t converted = std::mbstowcs(wide, text, max);
    return converted != static_cast<std::size_t>(-1) && converted < max;
}

void tvk_usage_wide_print(wchar_t (&wide)[tvk_text_size], const char* text, const char* fallback) {
    if (tvk_widen(wide, text, tvk_text_size - 1) || tvk_widen(wide, fallback, tvk_text_size - 1))
        std::wprintf(L"%ls", wide);
}

void tvk_usage_wide(nl_catd catalog) {
    wchar_t wide[tvk_text_size];
    if (tvk_widen(wide, tvk_banner, tvk_banner_wide_max))
        std::wprintf(L"%ls", wide);
    tvk_text first;
    tvk_text first_default;
    tvk_usage_first(first, tvk_usage_message(catalog, 1));
    tvk_usage_first(first_default, tvk_usage_default(1));
    tvk_usage_wide_print(wide, first, first_default);
    for (int number = 2; number <= tvk_usage_message_count; ++number)
        tvk_usage_wide_print(wide, tvk_usage_message(catalog, number), tvk_usage_default(number));
}

// A catalog as catopen maps it: three words in the byte order of the machine
// that wrote it (magic, plane size, plane depth), two tables of plane size *
// plane depth cells of three words (set, message, string offset), the
// little-endian table first, then the strings.
constexpr std::uint32_t tvk_catalog_magic = 0x960408de;
constexpr std::uint64_t tvk_catalog_header = 12;
constexpr std::uint64_t tvk_catalog_cell = 12;
constexpr std::uint64_t tvk_catalog_max = 1 << 20;                // ours are under 2 KiB
constexpr std::size_t tvk_catalog_chunk = 256 * tvk_catalog_cell; // bytes per read

nl_catd tvk_no_catalog() {
    return reinterpret_cast<nl_catd>(-1);
}

bool tvk_catalog_read(int fd, unsigned char* buffer, std::size_t count, std::uint64_t at) {
    return pread(fd, buffer, count, static_cast<off_t>(at)) == static_cast<ssize_t>(count);
}

std::uint32_t tvk_catalog_word(const unsigned char* at) {
    std::uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The largest string offset in the table in this machine's byte order;
// false on a short read.
bool tvk_catalog_last_offset(int fd, std::uint64_t cells, std::uint32_t& last) {
    const std::uint64_t table =
        tvk_catalog_header +
        (std::endian::native == std::endian::little ? 0 : cells) * tvk_catalog_cell;
    unsigned char buffer[tvk_catalog_chunk];
    last = 0;
    for (std::uint64_t done = 0; done < cells;) {
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>(cells - done, sizeof buffer / tvk_catalog_cell));
        if (!tvk_catalog_read(fd, buffer, count * tvk_catalog_cell,
                              table + done * tvk_catalog_cell))
            return false;
        for (std::size_t cell = 0; cell < count; ++cell)
            last = std::max(last, tvk_catalog_word(buffer + cell * tvk_catalog_cell + 8));
        done += count;
    }
    return true;
}

// True when a NUL lies at or after at, before size.
bool tvk_catalog_ended(int fd, std::uint64_t at, std::uint64_t size) {
    unsigned char buffer[tvk_catalog_chunk];
    for (; at < size; at += sizeof buffer) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - at, sizeof buffer));
        if (!tvk_catalog_read(fd, buffer, count, at))
            return false;
        if (std::memchr(buffer, '\0', count) != nullptr)
            return true;
    }
    return false;
}

// catopen reads every cell's offset and the string at the largest; catgets
// takes a message modulo the plane size, reads the cells of at least one
// plane, and returns the string at a cell's offset up to its NUL. So both
// sizes are at least 1, both tables lie in the file, and the string at the
// largest offset starts and ends in it: every other ends at that NUL at the
// latest. Only this machine's magic: our catalogs are built where they are
// installed.
bool tvk_catalog_sound(int fd, std::uint64_t size) {
    unsigned char header[tvk_catalog_header];
    if (size < sizeof header || size > tvk_catalog_max ||
        !tvk_catalog_read(fd, header, sizeof header, 0) ||
        tvk_catalog_word(header) != tvk_catalog_magic)
        return false;
    // Each factor is below 2^32, so the product fits.
    const std::uint64_t cells =
        std::uint64_t{tvk_catalog_word(header + 4)} * tvk_catalog_word(header + 8);
    if (cells == 0 || cells > (size - sizeof header) / (2 * tvk_catalog_cell))
        return false;
    const std::uint64_t strings = tvk_catalog_header + 2 * tvk_catalog_cell * cells;
    std::uint32_t last = 0;
    return tvk_catalog_last_offset(fd, cells, last) && tvk_catalog_ended(fd, strings + last, size);
}

// Opened without waiting (a FIFO would block), checked on the descriptor,
// and handed to catopen through that descriptor, so that what it maps is
// the file checked whatever happens to the path meanwhile. Without /proc
// there is no catalog.
nl_catd tvk_catalog_open(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return tvk_no_catalog();
    struct stat status {};
    nl_catd catalog = tvk_no_catalog();
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        tvk_catalog_sound(fd, static_cast<std::uint64_t>(status.st_size))) {
        char self[32];
        tvk_format(self, "/proc/self/fd/%d", fd);
        catalog = catopen(self, NL_CAT_LOCALE);
    }
    close(fd);
    return catalog;
}

nl_catd tvk_usage_open() {
    tvk_text path = {};
    if (!(tvk_copy(path, tvk_state.root) && tvk_append(path, "/nls/") &&
          tvk_append(path, tvk_state.language) && tvk_append(path, ".combo.cat.") &&
          tvk_append(path, tvk_state.codeset)))
        return tvk_no_catalog(); // a cut path would name another file
    return tvk_catalog_open(path);
}

} // namespace

void tvk_usage() {
    const nl_catd catalog = tvk_usage_open();
    const bool opened = catalog != tvk_no_catalog();
    tvk_debug(opened ? "tvk_usage:open ok.\n" : "tvk_usage:open failure.\n");
    const bool wide = std::fwide(stdout, 0) > 0;
    tvk_debug(wide ? "tvk_usage:wide stream.\n" : "tvk_usage:byte stream.\n");
    if (wide)
        tvk_usage_wide(catalog);
    else
        tvk_usage_bytes(catalog);
    catclose(catalog);
    tvk_debug("tvk_usage:request complete.\n");
    tvk_debug_off();
    tvk_report_exit();
}
