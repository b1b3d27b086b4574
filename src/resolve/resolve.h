// Environment resolution: root directory, locale, language code and
// spell-checker, each a step of its own in the launch sequence.
#pragma once

#include <array>
#include <string_view>

void tvk_root();
// The first executable regular file of that name along PATH, in found_path;
// false when there is none. from_cwd: found through an element that names
// the working directory or a place in it.
bool tvk_pathsearch(const char* name, bool& from_cwd);
void tvk_locale();
void tvk_language();
void tvk_spell();

// "C" or "POSIX", in any letter case.
bool tvk_locale_default(std::string_view name);

// The codes are held in the rows, not pointed to: a table of pointers is
// relocated, all of it, at every start of a position-independent launcher.
using tvk_language_code = char[4]; // two or three letters, or none
struct tvk_language_row {
    tvk_language_code bib_code;
    tvk_language_code alt_code;
};
extern const std::array<tvk_language_row, 470> tvk_languages;

// The system's locale alias file (a test build points it elsewhere).
extern const char tvk_alias_path[];
