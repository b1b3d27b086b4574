// The one process-wide record of a run. Every step reads what the steps
// before it left here and adds its own results.
#pragma once

#include <fcntl.h>

#include "core/text.h"

// Where root, locale and language came from: set by the steps that choose
// them, written to the log and printed by the environment report.
enum : int {
    tvk_root_from_option = 1,
    tvk_root_from_environment = 2, // TOVREK_ROOT
    tvk_root_from_rcfile = 3,
    tvk_root_from_cwd = 4,
    tvk_root_from_cwd_argv0 = 5, // the working directory joined with a relative argv[0]
    tvk_root_from_argv0 = 6,     // an absolute argv[0]
    tvk_root_from_realpath = 7,  // the program's own resolved path
};
enum : int {
    tvk_locale_from_option = 1,
    tvk_locale_from_environment = 2,
    tvk_locale_from_messages = 3, // LC_MESSAGES of a composite locale
    tvk_locale_from_rcfile = 4,
    tvk_locale_from_default = 5, // C or POSIX
};
enum : int {
    tvk_language_from_locale = 1,
    tvk_language_from_alias = 2,
    tvk_language_from_default = 3, // C or POSIX
};

// Numbers, flags (0 or 1, so bool) and the lock records first, then the texts
// a normal launch fills, then those only some runs need: a page of the record
// that is never written costs the process nothing, and a launch then writes
// the fewest. A lock record of its own elsewhere would be one page more.
struct tvk_record {
    int version_major;
    int version_minor;
    int version_patch;
    int version_build;

    bool argv0_cut; // argv[0] did not fit: no path is built from it
    bool opt_author;
    bool opt_playback;
    bool opt_debug;
    bool opt_help;
    bool opt_info;
    bool opt_usage;
    bool opt_version;
    bool opt_version_exit; // --version: the version report, then exit
    bool opt_diagnose;     // --diagnose: report what a launch would do, do nothing
    bool opt_locale;
    bool cmdline_locale_cut; // the last -l did not fit: the locale step refuses it
    bool opt_root;
    bool cmdline_root_cut; // the last -r did not fit: no candidate, for the diagnosis to say
    bool opt_course;
    bool rc_has_locale;
    bool rc_has_root;
    bool rc_has_spell;
    bool rc_locked;      // another process held the rc file: this run does not rewrite it
    bool rc_read_failed; // nor when a read of it failed
    bool rc_home_absent; // no $HOME/.tovrek yet: for the diagnosis
    int root_source;
    int locale_source;
    int language_source;
    bool debug_on;
    int debug_fd;
    char* overlay_argv[2];
    // What the file primitives hand to fcntl: a request to set a lock, and
    // the probe that asks after other processes' locks.
    struct flock lock_request;
    struct flock lock_probe;

    tvk_text argv0;
    tvk_text basename;
    tvk_text course;
    tvk_text rc_locale;
    tvk_text rc_root;
    tvk_text rc_spell;
    tvk_text root;
    tvk_text locale;
    tvk_text language;
    tvk_text codeset;
    tvk_text spell;
    tvk_text overlay_path;

    // putenv keeps the pointer it is given, so the exported strings live here.
    tvk_text env_library_path;
    tvk_text env_basename;
    tvk_text env_root;
    tvk_text env_locale;
    tvk_text env_lang;
    tvk_text env_codeset;
    tvk_text env_spell;
    tvk_text env_course;
    tvk_text env_action;
    tvk_text env_debug;

    tvk_text cmdline_locale;
    tvk_text cmdline_root;
    tvk_text found_path;
    // The last reason a check refused, kept only for --diagnose, and whether
    // a line has shown it: values escaped, four of PATH_MAX bytes fit.
    char why[64 * 1024];
    bool why_shown;
};

extern tvk_record tvk_state;

// Makes the pages of the record that a launch writes, all fields up to the
// exported variables, in one call: a fault for each costs a launch more. An
// older kernel refuses the call, and the pages then come one fault at a time.
void tvk_state_prefault();

// A root that names a place only from the working directory. The empty root
// that "-r /" leaves is "/", since every path is built as root + "/...".
inline bool tvk_root_relative() {
    return tvk_state.root[0] != '\0' && tvk_state.root[0] != '/';
}
