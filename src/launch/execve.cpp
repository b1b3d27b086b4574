#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/trust.h"
#include "launch/judge.h"
#include "launch/launch.h"
#include "report/abort.h"
#include "report/report.h"

extern char** environ;

namespace {

char tvk_version_action[] = "version";

// putenv keeps the pointer, so the text lives in tvk_state. A value that
// does not fit is not exported cut: the variable is removed instead. The
// environment may hold a name twice and putenv replaces only one: every
// copy goes first, so the overlay sees the launcher's value alone; getenv,
// which finds any copy, spares the launch unsetenv's work when there is none.
void tvk_export(tvk_text& variable, const char* name, std::string_view value, bool fits = true) {
    if (std::getenv(name) != nullptr)
        unsetenv(name);
    if (fits && tvk_copy(variable, name) && tvk_append(variable, "=") &&
        tvk_append(variable, value))
        putenv(variable);
}

// Absolute, also for a relative root: the overlay and every program it starts
// may change directory, and would then load libraries from wherever that is.
bool tvk_library_path(tvk_text& path) {
    path[0] = '\0';
    if (tvk_root_relative() && !(getcwd(path, sizeof path) && tvk_append(path, "/")))
        return false;
    return tvk_append(path, tvk_state.root) && tvk_append(path, "/lib");
}

// The name an attempt looks for, followed by ".ovl".
enum class tvk_overlay_name { argv0, basename, installed };

struct tvk_loader {
    tvk_word log_line;
    tvk_word what; // for the diagnosis: where the attempt looks, and why there
    bool in_root;  // the name is looked for in root + "/bin/"
    tvk_overlay_name name;
    bool path_search; // execvp: a name without "/" is looked for along PATH
};

constexpr tvk_loader tvk_loaders[] = {
    {"tvk_execve:loader one.\n", "beside the name the launcher was started as", false,
     tvk_overlay_name::argv0, false},
    {"tvk_execve:loader two.\n", "its base name, in the working directory", false,
     tvk_overlay_name::basename, false},
    {"tvk_execve:loader three.\n", "the name it was started as, in the tree's bin", true,
     tvk_overlay_name::argv0, false},
    {"tvk_execve:loader four.\n", "its base name, in the tree's bin", true,
     tvk_overlay_name::basename, false},
    {"tvk_execve:loader five.\n", "the installed overlay, in the tree's bin", true,
     tvk_overlay_name::installed, false},
    {"tvk_execve:loader six.\n", "the name it was started as, along PATH", false,
     tvk_overlay_name::argv0, true},
};

// The attempt's number, from 1, for the diagnosis.
int tvk_loader_number(const tvk_loader& loader) {
    return static_cast<int>(&loader - tvk_loaders) + 1;
}

const char* tvk_overlay_stem(tvk_overlay_name name) {
    switch (name) {
    case tvk_overlay_name::argv0:
        return tvk_state.argv0;
    case tvk_overlay_name::basename:
        return tvk_state.basename;
    default:
        return "tvkcombo";
    }
}

bool tvk_loader_path(const tvk_loader& loader) {
    tvk_text& path = tvk_state.overlay_path;
    path[0] = '\0';
    // A cut argv[0] names some other file; attempts built from it are skipped.
    if (tvk_state.argv0_cut && loader.name != tvk_overlay_name::installed)
        return false;
    if (loader.in_root && !(tvk_append(path, tvk_state.root) && tvk_append(path, "/bin/")))
        return false;
    return tvk_append(path, tvk_overlay_stem(loader.name)) && tvk_append(path, ".ovl");
}

// An overlay right in the root's bin: the tree was accepted with it.
bool tvk_overlay_in_root(std::string_view path) {
    std::string_view rest = tvk_tail(path, std::string_view(tvk_state.root).size());
    if (!path.starts_with(tvk_state.root) || !rest.starts_with("/bin/"))
        return false;
    rest.remove_prefix(5);
    while (rest.starts_with("./")) // as argv[0] "./tvkcombo" gives it
        rest.remove_prefix(2);
    return rest.find('/') == std::string_view::npos;
}

// An overlay named after argv[0] or found from the working directory runs
// whatever lies where that points: only from a directory on a safe way that
// nobody else could have planted one in. A file that is not there is not
// judged: there is nothing to run.
bool tvk_overlay_trusted(const char* path) {
    if (tvk_overlay_in_root(path))
        return true;
    if (access(path, X_OK) != 0) {
        const int error = errno;
        // The judge tells absent from not executable; it agrees with access.
        if (tvk_state.opt_diagnose && tvk_exec_judge(path, tvk_state.overlay_argv) <= 0)
            tvk_refused("%s", std::strerror(error));
        return false;
    }
    tvk_text directory;
    tvk_split_path(directory, path);
    return tvk_directory_trusted(AT_FDCWD, directory);
}

void tvk_overlay_not_run(const tvk_loader& loader, const char* path) {
    tvk_why("attempt %i, %s: \"%s\": not run", tvk_loader_number(loader), loader.what, path);
}

// Replaces the launcher with the overlay at path; --diagnose instead says
// whether the kernel would start it, as the launch would call it, and ends
// the run with the report.
void tvk_overlay_run(const tvk_loader& loader, const char* path) {
    if (!tvk_state.opt_diagnose) {
        if (loader.path_search)
            execvp(path, tvk_state.overlay_argv); // a script without "#!" still goes to sh
        else
            execve(path, tvk_state.overlay_argv, environ);
        return;
    }
    bool shell = false;
    const int verdict =
        tvk_exec_judge(path, tvk_state.overlay_argv, loader.path_search ? &shell : nullptr);
    if (verdict > 0)
        return tvk_overlay_not_run(loader, path);
    const int number = tvk_loader_number(loader);
    if (verdict == tvk_exec_unknown) {
        tvk_why("attempt %i, %s: \"%s\": would be tried", number, loader.what, path);
        tvk_why("a launch would run \"%s\" (attempt %i) with the action %s, unless the kernel "
                "refuses it, and would then go on with the next attempt",
                path, number, tvk_state.overlay_argv[0]);
    } else if (shell) {
        tvk_why("attempt %i, %s: \"%s\": would run through /bin/sh, as the C library runs a "
                "file the kernel has no format for",
                number, loader.what, path);
        tvk_why("a launch would run \"/bin/sh\" with the script \"%s\" (attempt %i), without "
                "the action %s",
                path, number, tvk_state.overlay_argv[0]);
    } else {
        tvk_why("attempt %i, %s: \"%s\": would run", number, loader.what, path);
        tvk_why("a launch would run \"%s\" (attempt %i) with the action %s", path, number,
                tvk_state.overlay_argv[0]);
    }
    tvk_report_exit();
}

// Attempt six looks for a bare name along PATH as execvp does, with its
// default list when PATH is unset; an element that names the working
// directory or a place in it counts only where both are trusted.
void tvk_overlay_path_search(const tvk_loader& loader, const char* name) {
    tvk_elements elements{tvk_path_list()};
    tvk_text candidate;
    bool relative = false;
    while (tvk_path_next(elements, name, candidate, relative)) {
        if (!relative || (tvk_overlay_trusted(candidate) && tvk_directory_trusted(AT_FDCWD, ".")))
            tvk_overlay_run(loader, candidate);
        else
            tvk_overlay_not_run(loader, candidate);
    }
}

void tvk_loader_run(const tvk_loader& loader) {
    const char* path = tvk_state.overlay_path;
    if (loader.path_search && std::strchr(path, '/') == nullptr)
        tvk_overlay_path_search(loader, path);
    else if (tvk_overlay_trusted(path))
        tvk_overlay_run(loader, path);
    else
        tvk_overlay_not_run(loader, path);
}

void tvk_execve_base() {
    tvk_text library;
    const bool fits = tvk_library_path(library);
    tvk_export(tvk_state.env_library_path, "LD_LIBRARY_PATH", library, fits);
    tvk_export(tvk_state.env_basename, "TOVREK_BASENAME", tvk_state.basename);
    if (tvk_state.debug_on) {
        tvk_text number;
        tvk_format(number, "%i", tvk_state.debug_fd);
        tvk_export(tvk_state.env_debug, "TOVREK_DEBUG", number);
    }
}

void tvk_execve_env() {
    tvk_export(tvk_state.env_root, "TOVREK_ROOT", tvk_state.root);
    tvk_export(tvk_state.env_locale, "TOVREK_LOCALE", tvk_state.locale);
    tvk_export(tvk_state.env_lang, "TOVREK_LANG", tvk_state.language);
    tvk_export(tvk_state.env_codeset, "TOVREK_CODESET", tvk_state.codeset);
    tvk_export(tvk_state.env_spell, "TOVREK_SPELL", tvk_state.spell);
    if (tvk_state.opt_course)
        tvk_export(tvk_state.env_course, "TOVREK_COURSE", tvk_state.course);
    const bool author = tvk_state.opt_author != 0;
    tvk_export(tvk_state.env_action, "TOVREK_ACTION", author ? "author" : "playback");
    if (author)
        tvk_debug("tvk_execve:author request.\n");
    else if (tvk_state.opt_playback)
        tvk_debug("tvk_execve:playback request.\n");
    else
        tvk_debug("tvk_execve:default playback request.\n");
}

void tvk_execve_loaders() {
    // Whatever a report printed reaches a pipe or file before the overlay runs.
    std::fflush(stdout);
    for (const tvk_loader& loader : tvk_loaders) {
        tvk_debug(loader.log_line);
        if (tvk_loader_path(loader))
            tvk_loader_run(loader);
        else
            tvk_why("attempt %i, %s: no path: %s", tvk_loader_number(loader), loader.what,
                    tvk_state.argv0_cut ? "argv[0] is too long" : "the root is too long for it");
    }
    tvk_refused("none of the six attempts would start an overlay");
}

} // namespace

const char* tvk_path_list() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "/bin:/usr/bin"; // execvp's list when PATH is unset
}

bool tvk_path_next(tvk_elements& elements, const char* name, tvk_text& candidate, bool& relative) {
    std::string_view element;
    while (elements.next(element)) {
        relative = !element.starts_with('/');
        // "./" for the empty element: a name without "/" would be searched again.
        if (tvk_copy(candidate, element.empty() ? "." : element) && tvk_append(candidate, "/") &&
            tvk_append(candidate, name))
            return true;
    }
    return false;
}

void tvk_execve(int kind) {
    tvk_execve_base();
    if (kind == tvk_kind_normal) {
        tvk_execve_env();
        tvk_state.overlay_argv[0] = std::getenv("TOVREK_ACTION");
    } else {
        tvk_state.overlay_argv[0] = tvk_version_action;
        tvk_debug("tvk_execve:version request.\n");
    }
    tvk_state.overlay_argv[1] = nullptr;
    tvk_execve_loaders();
    tvk_abort(tvk_abort_reason::overlay);
}
