#include <clocale>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "report/abort.h"
#include "resolve/resolve.h"

namespace {

// What the report calls each source of a locale, by its number.
constexpr tvk_word tvk_locale_sources[] = {
    "", "-l", "the environment", "LC_MESSAGES of the environment", "the rc file", "the default",
};
static_assert(std::size(tvk_locale_sources) == tvk_locale_from_default + 1);

void tvk_locale_store(const char* name, int source, const char* log_head) {
    tvk_copy(tvk_state.locale, name);
    tvk_state.locale_source = source;
    tvk_debug_value(log_head, tvk_state.locale);
    tvk_why("locale from %s: \"%s\": accepted by the C library", tvk_locale_sources[source],
            tvk_state.locale);
}

void tvk_locale_set(const char* name, int source, const char* log_head) {
    const char* set = std::setlocale(LC_ALL, name);
    if (set == nullptr) {
        tvk_refused("the C library has no locale \"%s\", named by %s", name,
                    tvk_locale_sources[source]);
        tvk_abort(tvk_abort_reason::locale);
    }
    tvk_locale_store(set, source, log_head);
}

void tvk_locale_rcfile() {
    tvk_locale_set(tvk_state.rc_locale, tvk_locale_from_rcfile, "tvk_locale:4:rcfile:");
}

} // namespace

bool tvk_locale_default(std::string_view name) {
    return tvk_equal_nocase(name, "C") || tvk_equal_nocase(name, "POSIX");
}

void tvk_locale() {
    if (tvk_state.opt_locale) {
        if (tvk_state.cmdline_locale_cut) {
            tvk_refused("the value of -l is too long for a locale name");
            tvk_abort(tvk_abort_reason::locale);
        }
        tvk_locale_set(tvk_state.cmdline_locale, tvk_locale_from_option, "tvk_locale:1:cmdlin:");
        return;
    }
    const char* lc_all = std::getenv("LC_ALL");
    const bool lc_all_given = lc_all != nullptr && lc_all[0] != '\0';
    if (!lc_all_given && tvk_state.rc_has_locale) {
        tvk_locale_rcfile();
        return;
    }
    const char* environment = std::setlocale(LC_ALL, "");
    if (environment != nullptr && std::strchr(environment, ';') != nullptr) {
        // Categories differ: the message category names the user's language.
        tvk_locale_store(std::setlocale(LC_MESSAGES, nullptr), tvk_locale_from_messages,
                         "tvk_locale:3:LC_MESSAGES:");
    } else if (environment != nullptr) {
        tvk_locale_store(environment, tvk_locale_from_environment, "tvk_locale:2:getenv:");
    } else if (tvk_state.rc_has_locale) {
        tvk_locale_rcfile();
    } else {
        const char* in_force = std::setlocale(LC_ALL, nullptr);
        if (!tvk_locale_default(in_force)) {
            tvk_refused("the environment's locale cannot be set, and \"%s\" is in force", in_force);
            tvk_abort(tvk_abort_reason::locale);
        }
        tvk_locale_store(in_force, tvk_locale_from_default, "tvk_locale:5:default:");
    }
}
