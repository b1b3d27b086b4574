#include <fcntl.h>
#include <unistd.h>

#include "core/state.h"
#include "files/home.h"
#include "files/log.h"
#include "files/primitives.h"
#include "files/rcfile.h"

namespace {

constexpr char rcfile_name[] = "/tvkcombo.rc";
// The launcher writes three lines; more than this is no settings file of ours.
constexpr std::size_t rcfile_read_max = 64 * 1024;
// The newline is no separator: it stays on a line's last token.
constexpr std::string_view rcfile_separators = " \t=";

void tvk_rcfile_value(tvk_text& field, int& flag, std::string_view value) {
    tvk_copy(field, value);
    flag = 1;
    tvk_chop(field, '\n');
}

void tvk_rcfile_spell(std::string_view first, tvk_tokens tokens) {
    tvk_copy(tvk_state.rc_spell, first);
    std::string_view token;
    while (tokens.next(token)) {
        tvk_append(tvk_state.rc_spell, " ");
        tvk_append(tvk_state.rc_spell, token);
    }
    tvk_state.rc_has_spell = 1;
    tvk_chop(tvk_state.rc_spell, '\n');
}

bool tvk_write_lines(int fd) {
    const char* const pieces[] = {
        "lc_all = ",       tvk_state.locale, "\n", "tovrek_root = ", tvk_state.root, "\n",
        "tovrek_spell = ", tvk_state.spell,  "\n",
    };
    bool written = true;
    for (const char* piece : pieces)
        written = tvk_writestr(fd, piece) != -1 && written;
    return written;
}

// Half a file could name a locale cut short and stop every later run; an
// empty one reads as no settings at all. Should the emptying fail as well,
// nothing more can be done, and the write failure is logged either way.
void tvk_rcfile_discard(int fd) {
    static_cast<void>(ftruncate(fd, 0) == 0);
}

bool tvk_rcfile_unchanged() {
    return tvk_state.rc_has_locale && tvk_state.rc_has_root &&
           std::string_view(tvk_state.rc_locale) == tvk_state.locale &&
           std::string_view(tvk_state.rc_root) == tvk_state.root;
}

// Applies one line of the rc file to the rc fields of tvk_state.
void tvk_rcfile_line(const char* line) {
    tvk_tokens tokens{line, rcfile_separators};
    std::string_view key;
    std::string_view value;
    // A line without a value token (a key alone at the very end of the
    // file, or a piece of a long line) carries nothing to take.
    if (!tokens.next(key) || !tokens.next(value))
        return;
    if (tvk_equal_nocase(key, "LC_ALL")) {
        tvk_rcfile_value(tvk_state.rc_locale, tvk_state.rc_has_locale, value);
    } else if (tvk_equal_nocase(key, "TOVREK_SPELL")) {
        tvk_rcfile_spell(value, tokens);
    } else if (tvk_equal_nocase(key, "TOVREK_ROOT")) {
        tvk_rcfile_value(tvk_state.rc_root, tvk_state.rc_has_root, value);
        tvk_chop(tvk_state.rc_root, '/');
    }
}

} // namespace

void tvk_rcfile_read() {
    tvk_text path;
    if (!tvk_home_file(path, rcfile_name, false))
        return;
    const int fd = tvk_open_regular(path);
    if (fd == -1)
        return;
    if (tvk_lock_read(fd) == 0) {
        tvk_text line;
        std::size_t budget = rcfile_read_max;
        while (tvk_readline_within(fd, line, budget) > 0)
            tvk_rcfile_line(line);
    }
    close(fd);
}

void tvk_rcfile_write() {
    if (tvk_rcfile_unchanged()) {
        tvk_debug("tvk_rcfile_write:not changed.\n");
        return;
    }
    tvk_text path;
    if (!tvk_home_file(path, rcfile_name, true)) {
        tvk_debug("tvk_rcfile_write:directory failure.\n");
        return;
    }
    bool refused = false;
    const int fd = tvk_open_locked(path, &refused);
    if (fd == -1) {
        tvk_debug(refused ? "tvk_rcfile_write:cannot lock.\n" : "tvk_rcfile_write:cannot open.\n");
        return;
    }
    // The old contents go only now that the lock is held.
    const bool written = ftruncate(fd, 0) == 0 && tvk_write_lines(fd);
    if (!written)
        tvk_rcfile_discard(fd);
    close(fd);
    tvk_debug(written ? "tvk_rcfile_write:wrote new.\n" : "tvk_rcfile_write:write failure.\n");
}
