// Launcher core: command line and the abort report.
#pragma once

// Reopens any closed standard descriptor on /dev/null, so that no file the
// launcher opens later can take the number of one and receive report text.
void tvk_standard_descriptors();

void tvk_options(int argc, char** argv);
void tvk_coursename();

// Abort codes.
enum : int {
    tvk_abort_root = 1,
    tvk_abort_locale = 2,
    tvk_abort_language = 3,
    tvk_abort_alias = 4,
    tvk_abort_course = 5,
    tvk_abort_overlay = 6,
};

[[noreturn]] void tvk_abort(int code);
