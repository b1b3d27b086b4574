#include <fcntl.h>
#include <libgen.h>
#include <unistd.h>

#include "core/core.h"
#include "core/state.h"

namespace {

constexpr char option_letters[] = "aAdDhHiIl:L:pPr:R:uUvV";
constexpr std::string_view course_characters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.";
constexpr std::size_t course_length_max = 14;

void tvk_option_missing(int letter) {
    if (letter == 'l' || letter == 'L')
        tvk_abort(tvk_abort_locale);
    if (letter == 'r' || letter == 'R')
        tvk_abort(tvk_abort_root);
}

void tvk_option(int letter) {
    switch (letter) {
    case 'a':
    case 'A':
        tvk_state.opt_author = 1;
        tvk_state.opt_playback = 0;
        break;
    case 'p':
    case 'P':
        tvk_state.opt_author = 0;
        tvk_state.opt_playback = 1;
        break;
    case 'd':
    case 'D':
        tvk_state.opt_debug = 1;
        break;
    case 'h':
    case 'H':
        tvk_state.opt_help = 1;
        break;
    case 'u':
    case 'U':
        tvk_state.opt_usage = 1;
        break;
    case 'i':
    case 'I':
        tvk_state.opt_info = 1;
        break;
    case 'v':
    case 'V':
        tvk_state.opt_version = 1;
        break;
    case 'l':
    case 'L':
        tvk_state.opt_locale = 1;
        // No locale has a name this long; cutting it could name another.
        if (!tvk_copy(tvk_state.cmdline_locale, optarg))
            tvk_abort(tvk_abort_locale);
        break;
    case 'r':
    case 'R':
        // A root that does not fit is a candidate that fails.
        tvk_state.opt_root = tvk_copy(tvk_state.cmdline_root, optarg) ? 1 : 0;
        break;
    default:
        tvk_option_missing(optopt);
        break;
    }
}

} // namespace

void tvk_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != -1 && opened != fd)
            close(opened);
    }
}

void tvk_options(int argc, char** argv) {
    opterr = 0;
    const char* invoked = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    tvk_state.argv0_cut = tvk_copy(tvk_state.argv0, invoked) ? 0 : 1;
    tvk_text scratch;
    tvk_copy(scratch, invoked);
    tvk_copy(tvk_state.basename, ::basename(scratch));
    if (argc <= 1)
        return;

    int letter;
    while ((letter = getopt(argc, argv, option_letters)) != -1)
        tvk_option(letter);
    if (optind < argc) {
        tvk_copy(tvk_state.course, argv[optind]);
        tvk_state.opt_course = 1;
        tvk_coursename();
    }
}

void tvk_coursename() {
    const std::string_view course = tvk_state.course;
    if (course.size() > course_length_max)
        tvk_abort(tvk_abort_course);
    if (course.find_first_not_of(course_characters) != std::string_view::npos)
        tvk_abort(tvk_abort_course);
}
