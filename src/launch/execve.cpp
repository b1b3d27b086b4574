#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/trust.h"
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
    bool in_root; // the name is looked for in root + "/bin/"
    tvk_overlay_name name;
    bool path_search; // execvp: a name without "/" is looked for along PATH
};

constexpr tvk_loader tvk_loaders[] = {
    {"tvk_execve:loader one.\n", false, tvk_overlay_name::argv0, false},
    {"tvk_execve:loader two.\n", false, tvk_overlay_name::basename, false},
    {"tvk_execve:loader three.\n", true, tvk_overlay_name::argv0, false},
    {"tvk_execve:loader four.\n", true, tvk_overlay_name::basename, false},
    {"tvk_execve:loader five.\n", true, tvk_overlay_name::installed, false},
    {"tvk_execve:loader six.\n", false, tvk_overlay_name::argv0, true},
};

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
    if (access(path, X_OK) != 0)
        return tvk_refused("absent, or not executable");
    tvk_text directory;
    tvk_split_path(directory, path);
    return tvk_directory_trusted(AT_FDCWD, directory);
}

// Replaces the launcher with the overlay at path; --diagnose instead says
// whether the kernel would start it, and ends the run with the report.
void tvk_overlay_run(const char* path, bool search) {
    if (!tvk_state.opt_diagnose) {
        if (search)
            execvp(path, tvk_state.overlay_argv); // a script without "#!" still goes to sh
        else
            execve(path, tvk_state.overlay_argv, environ);
        return;
    }
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode) || access(path, X_OK) != 0)
        return tvk_why("overlay \"%s\": not run: absent, or not executable", path);
    tvk_why("overlay \"%s\": would run", path);
    tvk_why("a launch would run \"%s\" with the action %s", path, tvk_state.overlay_argv[0]);
    tvk_report_exit();
}

// Attempt six looks for a bare name along PATH as execvp does, with its
// default list when PATH is unset; an element that names the working
// directory or a place in it counts only where both are trusted.
void tvk_overlay_path_search(const char* name) {
    const char* path = std::getenv("PATH");
    tvk_elements elements{path != nullptr ? path : "/bin:/usr/bin"};
    std::string_view element;
    while (elements.next(element)) {
        tvk_text candidate;
        // "./" for the empty element: a name without "/" would be searched again.
        if (!(tvk_copy(candidate, element.empty() ? "." : element) && tvk_append(candidate, "/") &&
              tvk_append(candidate, name)))
            continue;
        if (element.starts_with('/') ||
            (tvk_overlay_trusted(candidate) && tvk_directory_trusted(AT_FDCWD, ".")))
            tvk_overlay_run(candidate, true);
        else
            tvk_why("overlay \"%s\": not run", candidate);
    }
}

void tvk_loader_run(const tvk_loader& loader) {
    const char* path = tvk_state.overlay_path;
    if (loader.path_search && std::strchr(path, '/') == nullptr)
        tvk_overlay_path_search(path);
    else if (tvk_overlay_trusted(path))
        tvk_overlay_run(path, loader.path_search);
    else
        tvk_why("overlay \"%s\": not run", path);
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
            tvk_why("overlay: no path, the root or argv[0] being too long");
    }
}

} // namespace

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
