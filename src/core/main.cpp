#include <langinfo.h>

#include "core/core.h"
#include "core/state.h"
#include "files/files.h"
#include "launch/launch.h"
#include "report/report.h"
#include "resolve/resolve.h"
#include "version.h"

int main(int argc, char** argv) {
    tvk_state.version_major = tvk_version_major_number;
    tvk_state.version_minor = tvk_version_minor_number;
    tvk_state.version_patch = tvk_version_patch_number;
    tvk_state.version_build = tvk_version_build_number;
    tvk_standard_descriptors();

    tvk_options(argc, argv);
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
