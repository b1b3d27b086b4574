#include <cstdio>
#include <cstdlib>

#include "core/state.h"
#include "files/files.h"
#include "report/report.h"

const char tvk_banner[] = "tvkcombo - course authoring and playback launcher\n"
                          "Copyright (C) 2004-2026 The tvkcombo developers\n";

namespace {

// Indexed by source code; index 0 is never a source.
constexpr const char* tvk_root_phrases[] = {
    "",
    "from -r rootdir commandline\n",
    "from $TOVREK_ROOT\n",
    "from $HOME/.tovrek/tvkcombo.rc\n",
    "from computed getcwd()\n",
    "from computed getcwd()+argv[0]\n",
    "from computed argv[0]\n",
    "from computed realpath()\n",
};

constexpr const char* tvk_locale_phrases[] = {
    "",
    "from -l locale commandline\n",
    "from $LC_ALL getenv()\n",
    "from $LC_MESSAGES getenv()\n",
    "from $HOME/.tovrek/tvkcombo.rc\n",
    "from default C/POSIX\n",
};

constexpr const char* tvk_language_phrases[] = {
    "",
    "from locale\n",
    "from alias\n",
    "from default C/POSIX\n",
};

template <std::size_t N> const char* tvk_phrase(const char* const (&phrases)[N], int source) {
    return source > 0 && static_cast<std::size_t>(source) < N ? phrases[source] : "\n";
}

} // namespace

void tvk_report_exit() {
    // A report that did not reach its reader is no success. Status 1 but no
    // abort report: it could not be printed either.
    const bool delivered = std::fflush(stdout) == 0 && !std::ferror(stdout);
    std::exit(delivered ? 0 : 1);
}

void tvk_info() {
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
    std::printf("%s", tvk_banner);
    std::printf("TOVREK %s     %i.%i.%i.%i\n", tvk_state.basename, tvk_state.version_major,
                tvk_state.version_minor, tvk_state.version_patch, tvk_state.version_build);
    tvk_debug("tvk_version:request complete.\n");
}
