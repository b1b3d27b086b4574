#include <fcntl.h>
#include <nl_types.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "build.h"
#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/trust.h"
#include "report/catalog.h"
#include "report/report.h"

namespace {

constexpr int tvk_usage_set = 1; // stored as 2: catgets adds one
constexpr std::size_t tvk_banner_wide_max = 160;

constexpr tvk_word tvk_usage_defaults[] = {
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

nl_catd tvk_no_catalog() {
    return reinterpret_cast<nl_catd>(-1);
}

// Ours are built where they are installed and are under 2 KiB: a file that
// fills the buffer is none of ours.
unsigned char tvk_catalog_bytes[64 * 1024];

// The catalog's size when it is sound, read into tvk_catalog_bytes; else 0.
std::size_t tvk_catalog_read(int fd) {
    const ssize_t got = pread(fd, tvk_catalog_bytes, sizeof tvk_catalog_bytes, 0);
    if (got < 0 || got == sizeof tvk_catalog_bytes) {
        tvk_refused("unreadable, or 64 KiB or larger");
        return 0;
    }
    const auto size = static_cast<std::size_t>(got);
    return tvk_catalog_sound(tvk_catalog_bytes, size) ? size : 0;
}

// The bytes checked, sealed in memory and handed to catopen through /proc:
// what it maps is what was checked, whatever happens to the file meanwhile.
nl_catd tvk_catalog_sealed(std::size_t size) {
    const int fd = memfd_create("tvkcombo catalog", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd == -1)
        return tvk_no_catalog();
    nl_catd catalog = tvk_no_catalog();
    constexpr int seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    if (write(fd, tvk_catalog_bytes, size) == static_cast<ssize_t>(size) &&
        fcntl(fd, F_ADD_SEALS, seals) == 0) {
        tvk_text self;
        tvk_format(self, "/proc/self/fd/%i", fd);
        catalog = catopen(self, NL_CAT_LOCALE);
    }
    close(fd);
    return catalog;
}

// Opened without waiting (a FIFO would block) and checked on the
// descriptor. Without /proc (a chroot, some containers) catopen must open
// the file by its name: only one that nobody else can change.
nl_catd tvk_catalog_open(const char* path) {
    const int fd = tvk_open_regular(AT_FDCWD, path, 0);
    if (fd == -1) {
        tvk_refused_file(AT_FDCWD, path);
        return tvk_no_catalog();
    }
    const std::size_t size = tvk_catalog_read(fd);
    close(fd);
    if (size == 0)
        return tvk_no_catalog();
    const nl_catd catalog = tvk_catalog_sealed(size);
    if (catalog != tvk_no_catalog())
        return catalog;
    return tvk_file_owned(path) ? catopen(path, NL_CAT_LOCALE) : tvk_no_catalog();
}

nl_catd tvk_usage_open() {
    tvk_text path = {};
    if (!(tvk_copy(path, tvk_state.root) && tvk_append(path, "/nls/") &&
          tvk_append(path, tvk_state.language) && tvk_append(path, ".combo.cat.") &&
          tvk_append(path, tvk_state.codeset)))
        return tvk_no_catalog(); // a cut path would name another file
    const nl_catd catalog = tvk_catalog_open(path);
    tvk_why("usage catalog \"%s\": %s", path, catalog != tvk_no_catalog() ? "opened" : "not used");
    return catalog;
}

} // namespace

void tvk_usage() {
    const nl_catd catalog = tvk_usage_open();
    const bool opened = catalog != tvk_no_catalog();
    tvk_debug(opened ? "tvk_usage:open ok.\n" : "tvk_usage:open failure.\n");
    if (tvk_state.opt_diagnose) {
        tvk_why("a launch would print the usage text and exit with status 0");
        tvk_report_exit();
    }
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
