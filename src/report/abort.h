// The abort report: the one way a step gives up.
#pragma once

enum : int {
    tvk_abort_root = 1,
    tvk_abort_locale = 2,
    tvk_abort_language = 3,
    tvk_abort_alias = 4,
    tvk_abort_course = 5,
    tvk_abort_overlay = 6,
};

// Logs, closes the log, prints the six-language report and exits with 1.
[[noreturn]] void tvk_abort(int code);
