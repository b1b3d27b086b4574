#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "report/abort.h"

namespace {

// The details that name a call or a rule are not translated.
constexpr const char* tvk_abort_getenv = "getenv(\"TOVREK_ROOT\")";
constexpr const char* tvk_abort_setlocale = "setlocale(LC_ALL, \"\")";
constexpr const char* tvk_abort_posix = "posix coursename";
constexpr const char* tvk_abort_execve = "execve(%s.ovl)";

} // namespace

// ISO-8859-1 bytes, one per character: the report is printed in every
// language because the user's may be the very thing that failed.
constexpr tvk_abort_language tvk_abort_texts[6] = {
    {"ger",
     "Unzul\xe4ssig",
     {tvk_abort_getenv, tvk_abort_setlocale, "sprachencode", "schauplatz alias", tvk_abort_posix,
      tvk_abort_execve},
     "Programm Beendete"},
    {"eng",
     "Invalid",
     {tvk_abort_getenv, tvk_abort_setlocale, "language code", "locale alias", tvk_abort_posix,
      tvk_abort_execve},
     "Program Terminated"},
    {"spa",
     "Inv\xe1lido",
     {tvk_abort_getenv, tvk_abort_setlocale,
      "c\xf3"
      "digo de la lengua",
      "locale alias", tvk_abort_posix, tvk_abort_execve},
     "Programa Terminado"},
    {"fre",
     "Inadmissible",
     {tvk_abort_getenv, tvk_abort_setlocale, "code de langue", "lieu dit", tvk_abort_posix,
      tvk_abort_execve},
     "Programme Termin\xe9"},
    {"ita",
     "Non valido",
     {tvk_abort_getenv, tvk_abort_setlocale, "codice di lingua", "locale altrimenti detto",
      tvk_abort_posix, tvk_abort_execve},
     "Programma Terminato"},
    {"por",
     "Inv\xe1lido",
     {tvk_abort_getenv, tvk_abort_setlocale,
      "c\xf3"
      "digo da l\xedngua",
      "locale ali\xe1s", tvk_abort_posix, tvk_abort_execve},
     "O Programa Terminou"},
};

namespace {

// What --diagnose calls each reason, when it says where a launch would stop.
constexpr const char* tvk_abort_topics[tvk_abort_reasons] = {
    "root directory", "locale", "language code", "locale alias", "course name", "overlay",
};

// Every language has every text: a reason added without its texts, or a
// language cut short, leaves a null that fails the build.
constexpr bool tvk_abort_complete() {
    for (const tvk_abort_language& row : tvk_abort_texts) {
        if (row.code == nullptr || row.invalid == nullptr || row.terminated == nullptr)
            return false;
        for (const char* detail : row.detail) {
            if (detail == nullptr)
                return false;
        }
    }
    for (const char* topic : tvk_abort_topics) {
        if (topic == nullptr)
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
