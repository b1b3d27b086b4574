#include <fcntl.h>
#include <libgen.h>
#include <poll.h>
#include <unistd.h>

#include "command/options.h"
#include "core/state.h"
#include "core/why.h"
#include "report/abort.h"

namespace {

constexpr char option_letters[] = "aAdDhHiIl:L:pPr:R:uUvV";
constexpr std::string_view course_characters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.";
constexpr std::size_t course_length_max = 14;

void tvk_option_missing(int letter) {
    if (letter != 'l' && letter != 'L' && letter != 'r' && letter != 'R')
        return;
    tvk_refused("-%c is given without its value", letter);
    tvk_abort(letter == 'l' || letter == 'L' ? tvk_abort_reason::locale : tvk_abort_reason::root);
}

void tvk_option(int letter) {
    switch (letter) {
    case 'a':
    case 'A':
        tvk_state.opt_author = true;
        tvk_state.opt_playback = false;
        break;
    case 'p':
    case 'P':
        tvk_state.opt_author = false;
        tvk_state.opt_playback = true;
        break;
    case 'd':
    case 'D':
        tvk_state.opt_debug = true;
        break;
    case 'h':
    case 'H':
        tvk_state.opt_help = true;
        break;
    case 'u':
    case 'U':
        tvk_state.opt_usage = true;
        break;
    case 'i':
    case 'I':
        tvk_state.opt_info = true;
        break;
    case 'v':
    case 'V':
        tvk_state.opt_version = true;
        break;
    case 'l':
    case 'L':
        tvk_state.opt_locale = true;
        // No locale has a name this long, and a cut one could name another:
        // kept as a value the locale step refuses, so a later -l still wins.
        tvk_state.cmdline_locale_cut = !tvk_copy(tvk_state.cmdline_locale, optarg);
        break;
    case 'r':
    case 'R':
        // A root that does not fit is a candidate that fails.
        tvk_state.opt_root = tvk_copy(tvk_state.cmdline_root, optarg);
        tvk_state.cmdline_root_cut = !tvk_state.opt_root;
        break;
    default:
        tvk_option_missing(optopt);
        break;
    }
}

// Whether getopt takes the next argument as the value of this one: a group
// of option letters whose first letter with a value comes last ("-l", "-dr").
bool tvk_value_follows(std::string_view argument) {
    if (argument.size() < 2 || argument[0] != '-')
        return false;
    return argument.find_first_of("lLrR", 1) == argument.size() - 1;
}

// The long options: the two every user tries first, each replaced by its
// short form, which getopt reads as one option rather than as a run of
// letters, and --diagnose, taken out so that getopt never sees it. Only an
// option is read so: an option's value and everything after "--" stay as
// typed. Anything else starting with "--" is left to getopt as before.
// Returns the count of arguments left.
int tvk_long_options(int argc, char** argv) {
    static char help[] = "-h";
    static char version[] = "-v";
    if (argc < 2)
        return argc;
    int kept = 1;
    int i = 1;
    for (; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--diagnose") {
            tvk_state.opt_diagnose = true;
            continue;
        }
        if (argument == "--help") {
            argv[i] = help;
        } else if (argument == "--version") {
            argv[i] = version;
            tvk_state.opt_version_exit = true;
        } else if (tvk_value_follows(argument) && i + 1 < argc) {
            argv[kept++] = argv[i++];
        }
        argv[kept++] = argv[i];
    }
    while (i < argc)
        argv[kept++] = argv[i++];
    argv[kept] = nullptr;
    return kept;
}

void tvk_coursename() {
    const bool bad = !tvk_course_sound(tvk_state.course);
    tvk_why("course name \"%s\": %s", tvk_state.course, bad ? "refused" : "accepted");
    if (bad)
        tvk_abort(tvk_abort_reason::course);
}

} // namespace

// "." and ".." name directories, not courses: an overlay building a path
// from the name would leave its course directory.
bool tvk_course_sound(std::string_view course) {
    if (course.size() > course_length_max)
        return tvk_refused("it has more than %zu characters", course_length_max);
    if (course.find_first_not_of(course_characters) != std::string_view::npos)
        return tvk_refused("it holds a character other than A-Z a-z 0-9 - _ .");
    if (!course.empty() && course.find_first_not_of('.') == std::string_view::npos)
        return tvk_refused("it is made only of dots");
    return true;
}

void tvk_standard_descriptors() {
    // One call asks after all three: a closed one comes back marked invalid.
    pollfd standard[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    if (poll(standard, 3, 0) == -1)
        return;
    for (const pollfd& fd : standard) {
        if ((fd.revents & POLLNVAL) == 0)
            continue;
        // Takes the lowest free number, this one's: those below it are open by now.
        openat(AT_FDCWD, "/dev/null", fd.fd == 0 ? O_RDONLY : O_WRONLY);
    }
}

void tvk_options(int argc, char** argv) {
    opterr = 0;
    const char* invoked = argv[0] != nullptr ? argv[0] : ""; // no argv[0] at all: argc is 0
    tvk_state.argv0_cut = !tvk_copy(tvk_state.argv0, invoked);
    tvk_text scratch;
    tvk_copy(scratch, invoked);
    tvk_copy(tvk_state.basename, ::basename(scratch));
    argc = tvk_long_options(argc, argv);
    if (argc <= 1)
        return;
    int letter;
    while ((letter = getopt(argc, argv, option_letters)) != -1)
        tvk_option(letter);
    if (optind < argc) {
        tvk_copy(tvk_state.course, argv[optind]);
        tvk_state.opt_course = true;
        tvk_coursename();
    }
}
