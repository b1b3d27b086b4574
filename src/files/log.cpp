#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <utility>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/primitives.h"
#include "files/trust.h"

namespace {

constexpr char debug_prefix[] = "tvkcombo:";

} // namespace

void tvk_debug_on() {
    if (tvk_state.opt_diagnose)
        return tvk_why("debug log: not opened while diagnosing");
    tvk_place place;
    // Every way out leaves the log closed, as it was.
    if (tvk_home_place(place, "tvkcombo.log", true) != tvk_place_found::yes) {
        tvk_debug("tvk_debug_on:debug directory failure.\n");
        return;
    }
    // The log takes the lowest free number, which TOVREK_DEBUG tells the
    // overlay: the directory held while it is opened must not be the one
    // to take it.
    int above = fcntl(place.dir, F_DUPFD_CLOEXEC, 0);
    if (above > place.dir)
        std::swap(above, place.dir);
    if (above != -1)
        close(above);
    bool refused = false;
    const int fd = tvk_open_locked(place, &refused);
    close(place.dir);
    if (fd == -1)
        return;
    // Emptied only under the lock, so a refused run never destroys the
    // log that another run or its overlay is still writing.
    if (ftruncate(fd, 0) != 0) {
        close(fd);
        return;
    }
    tvk_state.debug_fd = fd;
    tvk_state.debug_on = true;
    tvk_debug("tvk_debug:debugging turned on!\n");
}

void tvk_debug(const char* text) {
    if (!tvk_state.debug_on)
        return;
    tvk_text line;
    // A line cut to the limit still ends as every log line does, in a newline.
    // A text cut before it came here, formatted or joined, is too long for one.
    if (!(tvk_copy(line, debug_prefix) && tvk_append(line, text)))
        line[tvk_text_size - 2] = '\n';
    tvk_writestr(tvk_state.debug_fd, line);
}

void tvk_debugf(const char* format, ...) {
    if (!tvk_state.debug_on)
        return;
    tvk_text text;
    va_list args;
    va_start(args, format);
    tvk_vformat_n(text, sizeof text, format, args);
    va_end(args);
    tvk_debug(text);
}

void tvk_debug_value(const char* head, const char* value) {
    if (!tvk_state.debug_on)
        return;
    tvk_text text;
    tvk_copy(text, head);
    tvk_append(text, value);
    tvk_append(text, "\n");
    tvk_debug(text);
}

void tvk_debug_off() {
    if (!tvk_state.debug_on)
        return;
    tvk_debug("tvk_debug:debugging turned off!\n");
    close(tvk_state.debug_fd);
    tvk_state.debug_fd = 0;
    tvk_state.debug_on = false;
}
