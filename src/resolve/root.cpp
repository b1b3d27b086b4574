#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "core/why.h"
#include "files/primitives.h"
#include "files/trust.h"
#include "report/abort.h"
#include "resolve/resolve.h"

namespace {

constexpr std::string_view install_marker = "/tovrek";

// Cuts text right after the first "/tovrek"; false when there is none.
// inside: the cut fell inside a name ("/srv/tovrek-2026/..."), so the root
// is a sibling of a directory on the way, not a directory on it.
bool tvk_marker_cut(tvk_text& text, bool& inside) {
    const std::string_view whole = text;
    const std::size_t at = whole.find(install_marker);
    if (at == std::string_view::npos)
        return false;
    char& end = text[at + install_marker.size()];
    inside = end != '/' && end != '\0';
    end = '\0';
    return true;
}

bool tvk_executable_file(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, X_OK) == 0;
}

// "%i.%i.%i\n" of the version's first three numbers, written without printf:
// no other step of a normal launch calls it, and its code and stack would be
// pages the launch faults in for this one line.
void tvk_stamp(tvk_text& stamp) {
    const int numbers[] = {tvk_state.version_major, tvk_state.version_minor,
                           tvk_state.version_patch};
    char* at = stamp;
    for (const int number : numbers) {
        at = std::to_chars(at, stamp + tvk_text_size - 2, number).ptr; // 11 characters at most
        *at++ = '.';
    }
    at[-1] = '\n';
    *at = '\0';
}

// The first line of the stamp in the tree's ver, open at ver (which it
// closes) or -1, is this launcher's version.
bool tvk_stamp_matches(int ver, const char* dir) {
    if (ver == -1)
        return tvk_refused("no version stamp at %s/ver/tvkcombo: %s", dir, std::strerror(errno));
    const int fd = tvk_open_regular(ver, "tvkcombo", 0);
    if (fd == -1) {
        tvk_refused_file(ver, "tvkcombo");
        tvk_refused_before("no version stamp at %s/ver/tvkcombo: ", dir);
    }
    close(ver);
    if (fd == -1)
        return false;
    tvk_text line;
    line[0] = '\0';
    tvk_readline(fd, line, tvk_text_size - 1); // the first line, newline kept, or nothing
    close(fd);
    tvk_text stamp;
    tvk_stamp(stamp);
    return std::string_view(line) == stamp ||
           tvk_refused("the version stamp at %s/ver/tvkcombo reads \"%s\", not \"%s\"", dir, line,
                       stamp);
}

// Carries the stamp of this launcher's version. A root judged (one that
// names whatever another user may have left there) counts only when its way
// is safe and the tree's top and the directories the overlay is loaded from
// are ones nobody else can have written.
bool tvk_root_check(const char* dir, bool judged) {
    constexpr int directory = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (!judged) {
        char ver[tvk_text_size + 4]; // room for a root of 1023 characters and "/ver"
        tvk_copy(ver, dir);
        tvk_append(ver, "/ver");
        return tvk_stamp_matches(openat(AT_FDCWD, ver, directory), dir);
    }
    const int root = tvk_trusted_open(AT_FDCWD, dir[0] == '\0' ? "/" : dir);
    if (root == -1)
        return false;
    const bool accepted = tvk_directory_trusted(root, "bin") &&
                          tvk_directory_trusted(root, "lib") &&
                          tvk_stamp_matches(openat(root, "ver", directory), dir);
    close(root);
    return accepted;
}

// What the report calls each source of a root, by its number.
constexpr tvk_word tvk_root_sources[] = {
    "",
    "-r",
    "TOVREK_ROOT",
    "the rc file",
    "the working directory",
    "the working directory and argv[0]",
    "argv[0]",
    "the program's own path",
};
static_assert(std::size(tvk_root_sources) == tvk_root_from_realpath + 1);

// Why a root is judged by its way and owners, not by its stamp alone. One
// that depends on the working directory always was: the rule it broke says
// enough.
constexpr char judged_cwd[] = "";
constexpr char judged_stored[] = "a stored root may name another user's tree by now";
constexpr char judged_cut[] = "the cut after /tovrek falls inside a name";

// Whether the root as it stands is taken; the report says so, or why not.
// judged: why it must pass the way and owner rules, or nullptr for a root
// the user named absolutely or the launcher's own absolute path gives. Root
// runs only root's trees: another user's lib/ would be loaded as root.
bool tvk_root_try(const char* judged) {
    if (judged == nullptr && tvk_euid() == 0)
        judged = "the run is root's, and runs only root's trees";
    const bool taken = tvk_root_check(tvk_state.root, judged != nullptr);
    const bool say = !taken && judged != nullptr && judged[0] != '\0';
    tvk_why("root from %s: \"%s\": %s%s%s%s", tvk_root_sources[tvk_state.root_source],
            tvk_state.root, taken ? "taken" : "not taken",
            say ? ", judged by its way and owners (" : "", say ? judged : "", say ? ")" : "");
    return taken;
}

// A source that gives no candidate, for the reason kept; false.
bool tvk_root_none() {
    tvk_why("root from %s: none", tvk_root_sources[tvk_state.root_source]);
    return false;
}

// Cuts the root after "/tovrek" and tries it, or says why it cannot. A
// root cut inside a name is a sibling of the path's own directory, which
// whoever may write their common parent could have made.
bool tvk_root_cut_try(bool from_cwd) {
    bool inside = false;
    if (tvk_marker_cut(tvk_state.root, inside))
        return tvk_root_try(from_cwd ? judged_cwd : inside ? judged_cut : nullptr);
    tvk_refused("no \"/tovrek\" in %s", tvk_state.root);
    return tvk_root_none();
}

// A root named outright: taken whole, less one trailing slash. The rc
// file's was stored by an earlier run: nobody named it to this one.
bool tvk_root_given(std::string_view value, int source) {
    tvk_state.root_source = source;
    tvk_copy(tvk_state.root, value); // its first 1023 characters
    tvk_chop(tvk_state.root, '/');
    return tvk_root_try(source == tvk_root_from_rcfile ? judged_stored
                        : tvk_root_relative()          ? judged_cwd
                                                       : nullptr);
}

// realpath needs a PATH_MAX buffer; its result is used only when it fits.
bool tvk_root_resolved(const char* resolved, bool from_cwd) {
    if (!tvk_copy(tvk_state.root, resolved)) {
        tvk_refused("%s is too long", resolved);
        return tvk_root_none();
    }
    return tvk_root_cut_try(from_cwd);
}

// A program started by a bare name was found through PATH: a file of that
// name in the working directory is not the one running. A relative path,
// or one found through a relative PATH element, depends on the working
// directory.
bool tvk_root_program() {
    tvk_state.root_source = tvk_root_from_realpath;
    char resolved[PATH_MAX];
    bool from_cwd = tvk_state.argv0[0] != '/';
    const char* path = tvk_state.argv0;
    if (tvk_state.argv0_cut) {
        tvk_refused("argv[0] is too long");
    } else if (std::strchr(path, '/') != nullptr && realpath(path, resolved) != nullptr) {
        return tvk_root_resolved(resolved, from_cwd);
    } else if (std::strchr(path, '/') != nullptr && errno != ENOENT) {
        tvk_refused("%s: %s", path, std::strerror(errno));
    } else if (!tvk_pathsearch(path, from_cwd)) {
        tvk_refused("no executable %s along PATH", path);
    } else if (realpath(tvk_state.found_path, resolved) == nullptr) {
        tvk_refused("%s: %s", tvk_state.found_path, std::strerror(errno));
    } else {
        return tvk_root_resolved(resolved, from_cwd);
    }
    return tvk_root_none();
}

[[noreturn]] void tvk_root_fail() {
    tvk_refused(
        "no place above holds a usable tree with this launcher's version stamp, %i.%i.%i in "
        "ver/tvkcombo",
        tvk_state.version_major, tvk_state.version_minor, tvk_state.version_patch);
    tvk_abort(tvk_abort_reason::root);
}

void tvk_root_working_directory() {
    tvk_state.root_source = tvk_root_from_cwd;
    if (getcwd(tvk_state.root, tvk_text_size - 1) == nullptr) {
        tvk_refused("getcwd: %s", std::strerror(errno));
        tvk_root_none();
        tvk_root_fail();
    }
    bool inside = false;
    if (tvk_marker_cut(tvk_state.root, inside)) {
        if (!tvk_root_try(judged_cwd))
            tvk_root_fail();
        return;
    }
    tvk_refused("no \"/tovrek\" in %s", tvk_state.root);
    tvk_root_none();
    const bool from_cwd = tvk_state.argv0[0] != '/';
    tvk_state.root_source = from_cwd ? tvk_root_from_cwd_argv0 : tvk_root_from_argv0;
    const bool formed =
        !tvk_state.argv0_cut &&
        (from_cwd ? tvk_append(tvk_state.root, "/") && tvk_append(tvk_state.root, tvk_state.argv0)
                  : tvk_copy(tvk_state.root, tvk_state.argv0));
    if (!formed) {
        tvk_refused("the path is too long");
        tvk_root_none();
        tvk_root_fail();
    }
    if (!tvk_root_cut_try(from_cwd))
        tvk_root_fail();
}

} // namespace

// Only the elements held whole in PATH's first 1023 characters are searched:
// the one a cut falls in names some other place, and an empty one a cut
// right after ":" makes would name the working directory.
bool tvk_pathsearch(const char* name, bool& from_cwd) {
    tvk_copy(tvk_state.found_path, name);
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return false;
    const std::string_view whole = path;
    tvk_elements elements{tvk_head(whole, tvk_text_size - 1)};
    const bool cut = elements.rest.size() < whole.size();
    std::string_view element;
    while (elements.next(element)) {
        if (cut && elements.done && whole[tvk_text_size - 1] != ':')
            return false;
        from_cwd = !element.starts_with('/');
        if (element.empty())
            element = ".";
        while (!element.empty() && element.back() == '/')
            element.remove_suffix(1);
        tvk_text candidate;
        if (tvk_copy(candidate, element) && tvk_append(candidate, "/") &&
            tvk_append(candidate, name) && tvk_executable_file(candidate)) {
            tvk_copy(tvk_state.found_path, candidate);
            return true;
        }
    }
    return false;
}

void tvk_root() {
    if (tvk_state.opt_root && tvk_root_given(tvk_state.cmdline_root, tvk_root_from_option))
        return;
    if (tvk_state.cmdline_root_cut) {
        tvk_state.root_source = tvk_root_from_option;
        tvk_refused("its value is longer than %zu characters", tvk_text_size - 1);
        tvk_root_none();
    }
    const char* environment = std::getenv("TOVREK_ROOT");
    if (environment != nullptr && environment[0] != '\0') {
        if (tvk_root_given(environment, tvk_root_from_environment))
            return;
        tvk_refused("while TOVREK_ROOT is set, no other place is tried");
        tvk_abort(tvk_abort_reason::root);
    }
    if (tvk_root_program())
        return;
    if (tvk_state.rc_has_root && tvk_root_given(tvk_state.rc_root, tvk_root_from_rcfile))
        return;
    tvk_root_working_directory();
}
