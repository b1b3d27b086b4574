// The abort report: the one way a step gives up.
#pragma once

#include "core/text.h"

// Why a step gave up; the debug log records the number.
enum class tvk_abort_reason : int {
    root = 1,     // no root directory, or -r without its value
    locale = 2,   // a locale that cannot be set, or -l without its value
    language = 3, // a language code outside the table
    alias = 4,    // the locale alias file, or its alias, of no use
    course = 5,   // a course name too long or with a character outside its set
    overlay = 6,  // no overlay could be started
    end,          // not a reason: one past the last, which sizes the texts below
};

// Logs, closes the log, prints the six-language report and exits with 1.
[[noreturn]] void tvk_abort(tvk_abort_reason reason);

// The report's texts in ISO-8859-1, a row per language in the order printed.
// Declared for the tests, which build the report they expect from them.
inline constexpr int tvk_abort_reasons = static_cast<int>(tvk_abort_reason::end) - 1;
struct tvk_abort_language {
    tvk_word code;                      // as "ger"
    tvk_word invalid;                   // the word for "invalid"
    tvk_word detail[tvk_abort_reasons]; // what was invalid, by reason; "%s" names the program
    tvk_word terminated;                // the "program terminated" phrase
};
extern const tvk_abort_language tvk_abort_texts[6];
