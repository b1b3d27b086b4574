// The one process-wide record of a run. Every step reads what the steps
// before it left here and adds its own results.
#pragma once

#include "core/text.h"

struct tvk_record {
    int version_major;
    int version_minor;
    int version_patch;
    int version_build;

    tvk_text argv0;
    tvk_text basename;
    int argv0_cut; // argv[0] did not fit: no path is built from it

    int opt_author;
    int opt_playback;
    int opt_debug;
    int opt_help;
    int opt_info;
    int opt_usage;
    int opt_version;
    int opt_locale;
    tvk_text cmdline_locale;
    int cmdline_locale_cut; // the last -l did not fit: the locale step refuses it
    int opt_root;
    tvk_text cmdline_root;
    int opt_course;
    tvk_text course;

    int rc_has_locale;
    tvk_text rc_locale;
    int rc_has_root;
    tvk_text rc_root;
    int rc_has_spell;
    tvk_text rc_spell;

    tvk_text root;
    int root_source;
    tvk_text locale;
    int locale_source;
    tvk_text language;
    int language_source;
    tvk_text codeset;
    tvk_text spell;
    tvk_text found_path;

    int debug_on;
    int debug_fd;

    char* overlay_argv[2];
    tvk_text overlay_path;

    // putenv keeps the pointer it is given, so the exported strings live here.
    tvk_text env_library_path;
    tvk_text env_basename;
    tvk_text env_debug;
    tvk_text env_root;
    tvk_text env_locale;
    tvk_text env_lang;
    tvk_text env_codeset;
    tvk_text env_spell;
    tvk_text env_course;
    tvk_text env_action;
};

extern tvk_record tvk_state;
