#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "files/primitives.h"
#include "files/trust.h"
#include "report/abort.h"
#include "resolve/resolve.h"

namespace {

constexpr std::string_view install_marker = "/tovrek";

// Cuts text right after the first "/tovrek"; false when there is none.
bool tvk_marker_cut(tvk_text& text) {
    const std::string_view whole = text;
    const std::size_t at = whole.find(install_marker);
    if (at == std::string_view::npos)
        return false;
    text[at + install_marker.size()] = '\0';
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

// Carries the stamp of this launcher's version. A root found from the working
// directory names whatever another user may have left there: it counts only
// when the tree's top and the directories the overlay is loaded from are
// ones nobody else can have written.
bool tvk_root_check(const char* dir, bool from_cwd) {
    // A step that fails leaves -1, on which every later one fails too.
    const int root =
        openat(AT_FDCWD, dir[0] == '\0' ? "/" : dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool safe =
        !from_cwd || (tvk_directory_trusted(root, ".") && tvk_directory_trusted(root, "bin") &&
                      tvk_directory_trusted(root, "lib"));
    const int ver = safe ? openat(root, "ver", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    close(root);
    const int fd = tvk_open_regular(ver, "tvkcombo", 0);
    close(ver);
    tvk_text line = "";
    tvk_readline(fd, line, tvk_text_size - 1); // the first line, newline kept, or nothing
    close(fd);
    tvk_text stamp;
    tvk_stamp(stamp);
    return std::string_view(line) == stamp;
}

// The elements of PATH the search may use: those wholly within its first
// 1023 characters. The one the cut falls in is left out, as is the empty one
// a cut right after ":" makes, which would mean the working directory.
// false when no element is whole.
bool tvk_path_elements(std::string_view path, std::string_view& elements) {
    elements = tvk_head(path, tvk_text_size - 1);
    if (elements.size() == path.size() || path[elements.size()] == ':')
        return true;
    const std::size_t last = elements.rfind(':');
    elements = tvk_head(elements, last);
    return last != std::string_view::npos;
}

bool tvk_pathsearch(const char* name) {
    tvk_copy(tvk_state.found_path, name);
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return false;
    std::string_view rest;
    if (!tvk_path_elements(path, rest))
        return false;
    for (;;) {
        const std::size_t colon = std::min(rest.find(':'), rest.size());
        std::string_view element = tvk_head(rest, colon);
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
        if (colon == rest.size())
            return false;
        rest.remove_prefix(colon + 1);
    }
}

bool tvk_root_accepted() {
    return tvk_root_check(tvk_state.root, tvk_root_relative() ||
                                              tvk_state.root_source == tvk_root_from_cwd ||
                                              tvk_state.root_source == tvk_root_from_cwd_argv0);
}

// A root named outright: taken whole, less one trailing slash.
bool tvk_root_given(std::string_view value, int source) {
    tvk_state.root_source = source;
    tvk_copy(tvk_state.root, value); // its first 1023 characters
    tvk_chop(tvk_state.root, '/');
    return tvk_root_accepted();
}

// realpath needs a PATH_MAX buffer; its result is used only when it fits.
bool tvk_root_resolved(const char* resolved) {
    return tvk_copy(tvk_state.root, resolved) && tvk_marker_cut(tvk_state.root) &&
           tvk_root_accepted();
}

bool tvk_root_program() {
    tvk_state.root_source = tvk_root_from_realpath;
    if (tvk_state.argv0_cut)
        return false;
    char resolved[PATH_MAX];
    // A program started by a bare name was found through PATH: a file of that
    // name in the working directory is not the one running.
    if (std::strchr(tvk_state.argv0, '/') != nullptr) {
        if (realpath(tvk_state.argv0, resolved) != nullptr)
            return tvk_root_resolved(resolved);
        if (errno != ENOENT)
            return false;
    }
    return tvk_pathsearch(tvk_state.argv0) && realpath(tvk_state.found_path, resolved) != nullptr &&
           tvk_root_resolved(resolved);
}

[[noreturn]] void tvk_root_fail() {
    tvk_abort(tvk_abort_root);
}

void tvk_root_working_directory() {
    tvk_state.root_source = tvk_root_from_cwd;
    if (getcwd(tvk_state.root, tvk_text_size - 1) == nullptr)
        tvk_root_fail();
    if (tvk_marker_cut(tvk_state.root)) {
        if (!tvk_root_accepted())
            tvk_root_fail();
        return;
    }
    if (tvk_state.argv0_cut)
        tvk_root_fail();
    if (tvk_state.argv0[0] == '/') {
        tvk_state.root_source = tvk_root_from_argv0;
        tvk_copy(tvk_state.root, tvk_state.argv0);
    } else {
        tvk_state.root_source = tvk_root_from_cwd_argv0;
        if (!(tvk_append(tvk_state.root, "/") && tvk_append(tvk_state.root, tvk_state.argv0)))
            tvk_root_fail();
    }
    if (!tvk_marker_cut(tvk_state.root) || !tvk_root_accepted())
        tvk_root_fail();
}

} // namespace

void tvk_root() {
    if (tvk_state.opt_root && tvk_root_given(tvk_state.cmdline_root, tvk_root_from_option))
        return;
    const char* environment = std::getenv("TOVREK_ROOT");
    if (environment != nullptr && environment[0] != '\0') {
        if (!tvk_root_given(environment, tvk_root_from_environment))
            tvk_root_fail();
        return;
    }
    if (tvk_root_program())
        return;
    if (tvk_state.rc_has_root && tvk_root_given(tvk_state.rc_root, tvk_root_from_rcfile))
        return;
    tvk_root_working_directory();
}
