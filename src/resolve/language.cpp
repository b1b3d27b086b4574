#include <fcntl.h>
#include <unistd.h>

#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "files/primitives.h"
#include "files/trust.h"
#include "report/abort.h"
#include "resolve/resolve.h"

namespace {

// The system's file has a few hundred lines; a larger one is read no further.
constexpr std::size_t alias_read_max = 1024 * 1024;

using tvk_language_column = tvk_language_code tvk_language_row::*;

const tvk_language_row* tvk_language_find(tvk_language_column column, std::string_view code) {
    for (const tvk_language_row& row : tvk_languages) {
        if (std::string_view(row.*column) == code)
            return &row;
    }
    return nullptr;
}

// The language part: the prefix up to the first '_', '@' or '.', or all.
void tvk_language_set_part(std::string_view name) {
    tvk_copy(tvk_state.language, tvk_head(name, name.find_first_of("_@.")));
}

// Scans an open alias file for the first line keyed by the current language
// part; value gets that line's second token, or stays as it was.
void tvk_alias_scan(int fd, tvk_text& value) {
    tvk_text line;
    std::size_t budget = alias_read_max;
    while (tvk_readline_within(fd, line, budget) > 0) {
        tvk_chop(line, '\n');
        tvk_tokens tokens{line, " \t"};
        std::string_view key;
        if (!tokens.next(key) || !tvk_equal_nocase(key, tvk_state.language))
            continue;
        std::string_view found;
        if (tokens.next(found))
            tvk_copy(value, found);
        return;
    }
}

[[noreturn]] void tvk_alias_fail(const char* why) {
    tvk_refused("%s %s", tvk_alias_path, why);
    tvk_abort(tvk_abort_reason::alias);
}

void tvk_alias() {
    tvk_state.language_source = tvk_language_from_alias;
    const int fd = tvk_open_regular(AT_FDCWD, tvk_alias_path, 0);
    if (fd == -1)
        tvk_alias_fail("cannot be opened as a file");
    if (tvk_lock_read(fd) != 0) {
        close(fd);
        tvk_alias_fail("is locked by another process");
    }
    tvk_text key;
    tvk_copy(key, tvk_state.language);
    tvk_text value = "";
    tvk_alias_scan(fd, value);
    close(fd);
    tvk_language_set_part(value);
    const std::size_t length = std::string_view(tvk_state.language).size();
    if (value[0] == '\0')
        tvk_refused("%s has no line for \"%s\"", tvk_alias_path, key);
    else if (length != 2 && length != 3)
        tvk_refused("%s gives \"%s\" for \"%s\", which starts with no language code of two "
                    "or three letters",
                    tvk_alias_path, value, key);
    if (length != 2 && length != 3)
        tvk_abort(tvk_abort_reason::alias);
    tvk_debugf("tvk_alias:2:alias:%s\n", tvk_state.language);
    tvk_why("alias \"%s\": \"%s\", from %s", key, value, tvk_alias_path);
}

} // namespace

void tvk_language() {
    tvk_state.language_source = tvk_language_from_locale;
    tvk_language_set_part(tvk_state.locale);
    if (tvk_locale_default(tvk_state.language)) {
        tvk_copy(tvk_state.language, "eng");
        tvk_state.language_source = tvk_language_from_default;
        tvk_debugf("tvk_language:3:default:%s\n", tvk_state.language);
        tvk_why("language: eng, for the C and POSIX locales");
        return;
    }
    const std::size_t length = std::string_view(tvk_state.language).size();
    if (length != 2 && length != 3)
        tvk_alias();
    const std::string_view code = tvk_state.language;
    const tvk_language_row* row = length == 2
                                      ? tvk_language_find(&tvk_language_row::alt_code, code)
                                      : tvk_language_find(&tvk_language_row::bib_code, code);
    if (row == nullptr && length != 2)
        row = tvk_language_find(&tvk_language_row::alt_code, code);
    if (row == nullptr) {
        tvk_refused("no language of the table has the code \"%s\"", tvk_state.language);
        tvk_abort(tvk_abort_reason::language);
    }
    tvk_why("language: %s, the table's code for \"%s\"", row->bib_code, tvk_state.language);
    tvk_copy(tvk_state.language, row->bib_code);
    tvk_debugf("tvk_language:1:locale:%s\n", tvk_state.language);
}
