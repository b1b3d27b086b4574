#include <cstdio>
#include <cstdlib>

#include "core/state.h"
#include "files/log.h"
#include "report/abort.h"

namespace {

struct tvk_abort_row {
    const char* code;
    const char* invalid;
    const char* language_item;
    const char* alias_item;
    const char* terminated;
};

// ISO-8859-1 bytes, one per character: the report is printed in every
// language because the user's may be the very thing that failed.
constexpr tvk_abort_row tvk_abort_texts[] = {
    {"ger", "Unzul\xe4ssig", "sprachencode", "schauplatz alias", "Programm Beendete"},
    {"eng", "Invalid", "language code", "locale alias", "Program Terminated"},
    {"spa", "Inv\xe1lido",
     "c\xf3"
     "digo de la lengua",
     "locale alias", "Programa Terminado"},
    {"fre", "Inadmissible", "code de langue", "lieu dit", "Programme Termin\xe9"},
    {"ita", "Non valido", "codice di lingua", "locale altrimenti detto", "Programma Terminato"},
    {"por", "Inv\xe1lido",
     "c\xf3"
     "digo da l\xedngua",
     "locale ali\xe1s", "O Programa Terminou"},
};

void tvk_abort_detail(int code, const tvk_abort_row& row) {
    switch (code) {
    case tvk_abort_root:
        std::printf(" getenv(\"TOVREK_ROOT\")\n");
        break;
    case tvk_abort_locale:
        std::printf(" setlocale(LC_ALL, \"\")\n");
        break;
    case tvk_abort_language:
        std::printf(" %s\n", row.language_item);
        break;
    case tvk_abort_alias:
        std::printf(" %s\n", row.alias_item);
        break;
    case tvk_abort_course:
        std::printf(" posix coursename\n");
        break;
    default:
        std::printf(" execve(%s.ovl)\n", tvk_state.basename);
        break;
    }
}

} // namespace

void tvk_abort(int code) {
    tvk_debugf("tvk_abort:abort(%i) entry.\n", code);
    tvk_debug_off();
    for (const tvk_abort_row& row : tvk_abort_texts) {
        std::printf("%s - %s,", row.code, row.invalid);
        tvk_abort_detail(code, row);
        std::printf("%s - %s.\n", row.code, row.terminated);
    }
    std::exit(1);
}
