// The launch sequence. Each step works on tvk_state and finds there what the
// steps before it left, so the order is fixed: the root is known before the
// log is opened (which is why options, rc file and root log nothing), the
// language comes from the locale, the codeset from the locale in force.
//
// Then the first request wins, in this order: the usage text needs only root,
// language and codeset, so it comes before the spell-checker is chosen; the
// environment report shows the spell-checker, so it comes after; the version
// report launches the overlay, which the environment report must not; and only
// a normal launch rewrites the rc file. Every abort up to the codeset thus
// comes before anything is printed or stored.
#include <langinfo.h>

#include "build.h"
#include "command/options.h"
#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/rcfile.h"
#include "launch/launch.h"
#include "report/report.h"
#include "resolve/resolve.h"

int main(int argc, char** argv) {
    tvk_state_prefault();
    tvk_state.version_major = tvk_version_major_number;
    tvk_state.version_minor = tvk_version_minor_number;
    tvk_state.version_patch = tvk_version_patch_number;
    tvk_state.version_build = tvk_version_build_number;
    tvk_standard_descriptors();

    tvk_options(argc, argv);
    // What users and scripts expect of --version: an answer that needs no
    // install tree and touches no file.
    if (tvk_state.opt_version_exit) {
        tvk_version();
        tvk_report_exit();
    }
    tvk_rcfile_read();
    tvk_root();
    if (tvk_state.opt_debug) {
        tvk_debug_on();
        tvk_debugf("tvkcombo:root:%i:%s\n", tvk_state.root_source, tvk_state.root);
    }
    tvk_locale();
    tvk_language();
    tvk_copy(tvk_state.codeset, nl_langinfo(CODESET));
    tvk_debugf("tvkcombo:codeset:%s\n", tvk_state.codeset);
    tvk_why("codeset: %s", tvk_state.codeset);

    if (tvk_state.opt_help || tvk_state.opt_usage)
        tvk_usage();
    tvk_spell();
    if (tvk_state.opt_info)
        tvk_info();
    if (tvk_state.opt_version) {
        tvk_version();
        tvk_execve(tvk_kind_version);
    }
    tvk_rcfile_write();
    tvk_execve(tvk_kind_normal);
}
