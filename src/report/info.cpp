#include <cstdio>
#include <cstdlib>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "report/report.h"

const char tvk_banner[] = "tvkcombo - course authoring and playback launcher\n"
                          "Copyright (C) 2004-2026 The tvkcombo developers\n";

namespace {

struct tvk_source_phrase {
    int source;
    tvk_word phrase;
};

constexpr tvk_source_phrase tvk_root_phrases[] = {
    {tvk_root_from_option, "from -r rootdir commandline\n"},
    {tvk_root_from_environment, "from $TOVREK_ROOT\n"},
    {tvk_root_from_rcfile, "from $HOME/.tovrek/tvkcombo.rc\n"},
    {tvk_root_from_cwd, "from computed getcwd()\n"},
    {tvk_root_from_cwd_argv0, "from computed getcwd()+argv[0]\n"},
    {tvk_root_from_argv0, "from computed argv[0]\n"},
    {tvk_root_from_realpath, "from computed realpath()\n"},
};

constexpr tvk_source_phrase tvk_locale_phrases[] = {
    {tvk_locale_from_option, "from -l locale commandline\n"},
    {tvk_locale_from_environment, "from $LC_ALL getenv()\n"},
    {tvk_locale_from_messages, "from $LC_MESSAGES getenv()\n"},
    {tvk_locale_from_rcfile, "from $HOME/.tovrek/tvkcombo.rc\n"},
    {tvk_locale_from_default, "from default C/POSIX\n"},
};

constexpr tvk_source_phrase tvk_language_phrases[] = {
    {tvk_language_from_locale, "from locale\n"},
    {tvk_language_from_alias, "from alias\n"},
    {tvk_language_from_default, "from default C/POSIX\n"},
};

// Each table lists its sources from 1 in order, so that a source finds its
// phrase by position; a row out of place fails the build.
template <std::size_t N> constexpr bool tvk_in_order(const tvk_source_phrase (&phrases)[N]) {
    for (std::size_t at = 0; at < N; ++at) {
        if (phrases[at].source != static_cast<int>(at) + 1)
            return false;
    }
    return true;
}
static_assert(tvk_in_order(tvk_root_phrases) && tvk_in_order(tvk_locale_phrases) &&
              tvk_in_order(tvk_language_phrases));

// Every step that returns has set its source.
template <std::size_t N> const char* tvk_phrase(const tvk_source_phrase (&phrases)[N], int source) {
    return phrases[source - 1].phrase;
}

} // namespace

void tvk_report_exit() {
    // A report that did not reach its reader is no success. Status 1 but no
    // abort report: it could not be printed either.
    const bool delivered = std::fflush(stdout) == 0 && !std::ferror(stdout);
    std::exit(delivered ? 0 : 1);
}

void tvk_info() {
    if (tvk_state.opt_diagnose) {
        tvk_why("a launch would print the environment report and exit with status 0");
        tvk_report_exit();
    }
    std::printf("%s", tvk_banner);
    std::printf("Root Directory = %s %s", tvk_state.root,
                tvk_phrase(tvk_root_phrases, tvk_state.root_source));
    std::printf("Locale = %s %s", tvk_state.locale,
                tvk_phrase(tvk_locale_phrases, tvk_state.locale_source));
    std::printf("Language = %s %s", tvk_state.language,
                tvk_phrase(tvk_language_phrases, tvk_state.language_source));
    std::printf("Codeset = %s\n", tvk_state.codeset);
    std::printf("Spell Check = %s\n", tvk_state.spell);
    if (tvk_state.opt_course)
        std::printf("Coursename = %s\n", tvk_state.course);
    tvk_debug("tvk_info:request complete.\n");
    tvk_debug_off();
    tvk_report_exit();
}

void tvk_version() {
    if (tvk_state.opt_diagnose)
        return tvk_why("a launch would print the version report%s",
                       tvk_state.opt_version_exit ? " and exit with status 0" : "");
    std::printf("%s", tvk_banner);
    std::printf("TOVREK %s     %i.%i.%i.%i\n", tvk_state.basename, tvk_state.version_major,
                tvk_state.version_minor, tvk_state.version_patch, tvk_state.version_build);
    tvk_debug("tvk_version:request complete.\n");
}
