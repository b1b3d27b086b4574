#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "report/abort.h"

namespace {

// Copies text into a row's word; one that does not fit leaves the word
// without its NUL, which the completeness check below refuses.
constexpr void tvk_abort_fill(tvk_word& word, std::string_view text) {
    for (std::size_t at = 0; at < text.size() && at < sizeof word; ++at)
        word[at] = text[at];
}

// A language's row: its own words, and the details that name a call or a
// rule, which are not translated.
constexpr tvk_abort_language tvk_abort_row(std::string_view code, std::string_view invalid,
                                           std::string_view language_item,
                                           std::string_view alias_item,
                                           std::string_view terminated) {
    const std::string_view details[] = {
        "getenv(\"TOVREK_ROOT\")", "setlocale(LC_ALL, \"\")", language_item, alias_item,
        "posix coursename",        "execve(%s.ovl)",
    };
    static_assert(std::size(details) == tvk_abort_reasons);
    tvk_abort_language row{};
    tvk_abort_fill(row.code, code);
    tvk_abort_fill(row.invalid, invalid);
    for (std::size_t reason = 0; reason < std::size(details); ++reason)
        tvk_abort_fill(row.detail[reason], details[reason]);
    tvk_abort_fill(row.terminated, terminated);
    return row;
}

} // namespace

// ISO-8859-1 bytes, one per character: the report is printed in every
// language because the user's may be the very thing that failed.
constexpr tvk_abort_language tvk_abort_texts[6] = {
    tvk_abort_row("ger", "Unzul\xe4ssig", "sprachencode", "schauplatz alias", "Programm Beendete"),
    tvk_abort_row("eng", "Invalid", "language code", "locale alias", "Program Terminated"),
    tvk_abort_row("spa", "Inv\xe1lido",
                  "c\xf3"
                  "digo de la lengua",
                  "locale alias", "Programa Terminado"),
    tvk_abort_row("fre", "Inadmissible", "code de langue", "lieu dit", "Programme Termin\xe9"),
    tvk_abort_row("ita", "Non valido", "codice di lingua", "locale altrimenti detto",
                  "Programma Terminato"),
    tvk_abort_row("por", "Inv\xe1lido",
                  "c\xf3"
                  "digo da l\xedngua",
                  "locale ali\xe1s", "O Programa Terminou"),
};

namespace {

// What --diagnose calls each reason, when it says where a launch would stop.
constexpr tvk_word tvk_abort_topics[tvk_abort_reasons] = {
    "root directory", "locale", "language code", "locale alias", "course name", "overlay",
};

// A text, ended within its word.
constexpr bool tvk_abort_said(const tvk_word& word) {
    return word[0] != '\0' && word[sizeof word - 1] == '\0';
}

// Every language has every text: a reason added without its texts, a
// language cut short or a text too long for its word fails the build.
constexpr bool tvk_abort_complete() {
    for (const tvk_abort_language& row : tvk_abort_texts) {
        if (!tvk_abort_said(row.code) || !tvk_abort_said(row.invalid) ||
            !tvk_abort_said(row.terminated))
            return false;
        for (const tvk_word& detail : row.detail) {
            if (!tvk_abort_said(detail))
                return false;
        }
    }
    for (const tvk_word& topic : tvk_abort_topics) {
        if (!tvk_abort_said(topic))
            return false;
    }
    return true;
}
static_assert(tvk_abort_complete(), "a reason or a language without every text of the report");

// A detail, with the program's name where its text says "%s": the texts are
// data, never a format.
void tvk_abort_detail(const char* detail) {
    const std::size_t name = std::string_view(detail).find("%s");
    if (name == std::string_view::npos) {
        std::printf("%s\n", detail);
        return;
    }
    std::printf("%.*s%s%s\n", static_cast<int>(name), detail, tvk_state.basename,
                detail + name + 2);
}

} // namespace

void tvk_abort(tvk_abort_reason reason) {
    const int number = static_cast<int>(reason);
    if (tvk_state.opt_diagnose) {
        tvk_why_again();
        tvk_why("a launch stops here, with abort code %i (%s)", number,
                tvk_abort_topics[number - 1]);
        std::exit(1);
    }
    tvk_debugf("tvk_abort:abort(%i) entry.\n", number);
    tvk_debug_off();
    for (const tvk_abort_language& row : tvk_abort_texts) {
        std::printf("%s - %s, ", row.code, row.invalid);
        tvk_abort_detail(row.detail[number - 1]);
        std::printf("%s - %s.\n", row.code, row.terminated);
    }
    std::exit(1);
}
