#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/primitives.h"
#include "files/rcfile.h"
#include "files/trust.h"

namespace {

constexpr char rcfile_name[] = "tvkcombo.rc";
// The new contents are written beside the file under this suffix, then
// renamed over it: killed at any instant, the file is old or new, whole.
constexpr char rcfile_new_suffix[] = ".new";
// The launcher writes three lines; more than this is no settings file of ours.
constexpr std::size_t rcfile_read_max = 64 * 1024;
// The newline is no separator: it stays on a line's last token.
constexpr std::string_view rcfile_separators = " \t=";

// One setting: how its line is written and read, shared by reader and writer
// so that the writer can store only what the reader gives back.
struct tvk_rc_key {
    tvk_word name;               // as written; read in any letter case
    tvk_text tvk_record::*value; // the resolved value, stored
    tvk_text tvk_record::*read;  // where the reader puts it
    bool tvk_record::*found;
    bool joined; // all further tokens, joined by one blank
    bool slash;  // one trailing "/" removed
};

constexpr tvk_rc_key tvk_rc_keys[] = {
    {"lc_all", &tvk_record::locale, &tvk_record::rc_locale, &tvk_record::rc_has_locale, false,
     false},
    {"tovrek_root", &tvk_record::root, &tvk_record::rc_root, &tvk_record::rc_has_root, false, true},
    {"tovrek_spell", &tvk_record::spell, &tvk_record::rc_spell, &tvk_record::rc_has_spell, true,
     false},
};

// The value a line gives for key; false when the line is no line of key's.
// A line without a value token (a key alone at the very end of the file, or
// a piece of a long line) carries nothing to take.
bool tvk_rc_value(const tvk_rc_key& key, const char* line, tvk_text& value) {
    tvk_tokens tokens{line, rcfile_separators};
    std::string_view name;
    std::string_view token;
    if (!tokens.next(name) || !tokens.next(token) || !tvk_equal_nocase(name, key.name))
        return false;
    tvk_copy(value, token);
    while (key.joined && tokens.next(token)) {
        tvk_append(value, " ");
        tvk_append(value, token);
    }
    tvk_chop(value, '\n');
    if (key.slash)
        tvk_chop(value, '/');
    return true;
}

// A line of key's, without its newline. A value with a blank, "=" or
// newline in it, or too long for one line of the reader, would come back as
// another value, or as a line of its own: its line is left out, and the next
// run finds no value for that key. The reader ends a line at its first
// newline, which the check below would not see. A newline that is the 1024th
// byte comes back as an empty line of its own, which carries nothing.
bool tvk_rc_line(const tvk_rc_key& key, tvk_text& line) {
    const char* value = tvk_state.*key.value;
    if (std::strchr(value, '\n') != nullptr ||
        !(tvk_copy(line, key.name) && tvk_append(line, " = ") && tvk_append(line, value)))
        return false;
    tvk_text read; // what the reader takes for the line: at most 1023 bytes
    tvk_copy(read, line);
    tvk_append(read, "\n");
    tvk_text back;
    return tvk_rc_value(key, read, back) && std::string_view(back) == value;
}

bool tvk_write_lines(int fd) {
    bool written = true;
    for (const tvk_rc_key& key : tvk_rc_keys) {
        tvk_text line;
        if (tvk_rc_line(key, line))
            written = tvk_writestr(fd, line) != -1 && tvk_writestr(fd, "\n") != -1 && written;
    }
    return written;
}

// Writes the new contents beside the file, flushes them to disk and renames
// them over it, keeping the mode of a file only its user can write (0600 in
// place of one that others could). Past a file-size limit the writes fail
// rather than kill the run. On failure no new file stays behind.
bool tvk_rcfile_replace(const tvk_place& place, int old) {
    tvk_text temporary;
    if (!(tvk_copy(temporary, place.name) && tvk_append(temporary, rcfile_new_suffix)))
        return false;
    unlinkat(place.dir, temporary, 0); // a run killed while writing left it
    const int fd =
        openat(place.dir, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd == -1)
        return false;
    struct sigaction ignore = {};
    struct sigaction kept = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &kept);
    struct stat info;
    const mode_t mode =
        tvk_file_private(old, place.name) && fstat(old, &info) == 0 ? info.st_mode & 07777 : 0600;
    bool written = fchmod(fd, mode) == 0 && tvk_write_lines(fd) && fsync(fd) == 0;
    sigaction(SIGXFSZ, &kept, nullptr);
    written =
        close(fd) == 0 && written && renameat(place.dir, temporary, place.dir, place.name) == 0;
    if (!written)
        unlinkat(place.dir, temporary, 0);
    return written;
}

// Still the file of that name: a writer that renamed a new one in while this
// run waited for nothing holds no lock on it, and this run must not write.
bool tvk_rcfile_current(const tvk_place& place, int fd) {
    struct stat opened;
    struct stat named;
    return fstat(fd, &opened) == 0 &&
           fstatat(place.dir, place.name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool tvk_rcfile_unchanged() {
    return tvk_state.rc_has_locale && tvk_state.rc_has_root &&
           std::string_view(tvk_state.rc_locale) == tvk_state.locale &&
           std::string_view(tvk_state.rc_root) == tvk_state.root;
}

// Opens the rc file for writing and locks it; -1 after logging why not.
int tvk_rcfile_lock(const tvk_place& place) {
    bool refused = false;
    const int fd = tvk_open_locked(place, &refused);
    if (fd == -1) {
        tvk_debug(refused ? "tvk_rcfile_write:cannot lock.\n" : "tvk_rcfile_write:cannot open.\n");
        return -1;
    }
    if (tvk_rcfile_current(place, fd))
        return fd;
    close(fd);
    tvk_debug("tvk_rcfile_write:cannot lock.\n");
    return -1;
}

} // namespace

void tvk_rcfile_read() {
    tvk_place place;
    const tvk_place_found found = tvk_home_place(place, rcfile_name, false);
    if (found == tvk_place_found::not_made) {
        tvk_state.rc_home_absent = true;
        tvk_refused("there is no %s/.tovrek, which a launch makes to store its settings",
                    std::getenv("HOME"));
        return tvk_why("rc file: none yet");
    }
    if (found != tvk_place_found::yes)
        return tvk_why("rc file: none");
    const int fd = tvk_open_regular(place.dir, place.name, O_NOFOLLOW);
    if (fd == -1 && errno == ENOENT) // checked before close changes it
        tvk_refused("none yet in %s/.tovrek", std::getenv("HOME"));
    else if (fd == -1)
        tvk_refused_file(place.dir, place.name);
    close(place.dir);
    if (fd == -1)
        return tvk_why("rc file");
    // A file that another user owns or can write may hold her root: it is
    // not read, and this run's rewrite replaces it.
    if (!tvk_file_private(fd, place.name)) {
        close(fd);
        return tvk_why("rc file: not read, as if there were none");
    }
    if (tvk_lock_read(fd) != 0) {
        tvk_state.rc_locked = true;
        close(fd);
        return tvk_why("rc file: held by another process, so not read");
    }
    tvk_text line;
    std::size_t budget = rcfile_read_max;
    int got;
    while ((got = tvk_readline_within(fd, line, budget)) > 0) {
        for (const tvk_rc_key& key : tvk_rc_keys) {
            if (tvk_rc_value(key, line, tvk_state.*key.read))
                tvk_state.*key.found = true;
        }
    }
    // The lines before a failed read count; the file, read in part, is kept.
    tvk_state.rc_read_failed = got == -1;
    close(fd);
    tvk_why("rc file: read%s", got == -1 ? " up to a read that failed" : "");
}

void tvk_rcfile_write() {
    // Settings this run could not read are not its to replace.
    const char* kept = tvk_rcfile_unchanged()     ? "tvk_rcfile_write:not changed.\n"
                       : tvk_state.rc_locked      ? "tvk_rcfile_write:cannot lock.\n"
                       : tvk_state.rc_read_failed ? "tvk_rcfile_write:read failure.\n"
                                                  : nullptr;
    if (kept != nullptr) {
        tvk_debug(kept);
        return tvk_why("rc file: a launch would leave it as it is");
    }
    if (tvk_state.opt_diagnose && tvk_state.rc_home_absent)
        return tvk_why("rc file: a launch would make %s/.tovrek and store this run's locale, root "
                       "and spell-checker in %s there",
                       std::getenv("HOME"), rcfile_name);
    if (tvk_state.opt_diagnose)
        return tvk_why("rc file: a launch would store this run's locale, root and spell-checker");
    tvk_place place;
    const tvk_place_found found = tvk_home_place(place, rcfile_name, true);
    if (found != tvk_place_found::yes) {
        tvk_debug(found == tvk_place_found::no_directory ? "tvk_rcfile_write:directory failure.\n"
                                                         : "tvk_rcfile_write:cannot open.\n");
        return;
    }
    const int fd = tvk_rcfile_lock(place);
    if (fd != -1) {
        const bool written = tvk_rcfile_replace(place, fd);
        close(fd);
        tvk_debug(written ? "tvk_rcfile_write:wrote new.\n" : "tvk_rcfile_write:write failure.\n");
    }
    close(place.dir);
}
