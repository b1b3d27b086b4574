#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/state.h"
#include "files/log.h"
#include "files/trust.h"
#include "launch/launch.h"
#include "report/abort.h"

extern char** environ;

namespace {

char tvk_version_action[] = "version";

// putenv keeps the pointer, so the text lives in tvk_state. A value that
// does not fit is not exported cut: the variable is removed instead. The
// environment may hold a name twice and putenv replaces only one: every
// copy goes first, so the overlay sees the launcher's value alone.
void tvk_export(tvk_text& variable, const char* name, std::string_view value, bool fits = true) {
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
    const char* log_line;
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

bool tvk_trusted(std::string_view directory) {
    tvk_text path;
    tvk_copy(path, directory); // a part of the overlay's path, which fits
    return tvk_directory_trusted(AT_FDCWD, path);
}

// An overlay named after argv[0] runs whatever lies where that points: only
// from directories nobody else could have planted one in or swapped. An
// absolute path is judged by the directory that holds it; a relative one runs
// through the working directory, and each directory on its way is checked.
bool tvk_path_trusted(std::string_view path) {
    const std::size_t last = path.rfind('/');
    if (last != std::string_view::npos && path.starts_with('/'))
        return tvk_trusted(tvk_head(path, last + 1));
    if (!tvk_trusted("."))
        return false;
    for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
         slash = path.find('/', slash + 1)) {
        if (!tvk_trusted(tvk_head(path, slash + 1)))
            return false;
    }
    return true;
}

// The root's bin was checked with the root where the root could be someone
// else's, and a bare name goes along PATH as a shell's would.
bool tvk_loader_trusted(const tvk_loader& loader) {
    const std::string_view path = tvk_state.overlay_path;
    if (loader.in_root || (loader.path_search && path.find('/') == std::string_view::npos))
        return true;
    return tvk_path_trusted(path);
}

void tvk_loader_run(const tvk_loader& loader) {
    if (loader.path_search)
        execvp(tvk_state.overlay_path, tvk_state.overlay_argv);
    else
        execve(tvk_state.overlay_path, tvk_state.overlay_argv, environ);
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
        if (tvk_loader_path(loader) && tvk_loader_trusted(loader))
            tvk_loader_run(loader);
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
