// Environment resolution: root directory, locale, language code and
// spell-checker.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/text.h"

void tvk_root();
int tvk_root_check(const char* dir);
// Stores in found_path the first executable regular file of that name along
// PATH, or the name itself; true when PATH gave one.
bool tvk_pathsearch(const char* name);

void tvk_locale();
// "C" or "POSIX", in any letter case.
bool tvk_locale_default(std::string_view name);

void tvk_language();
void tvk_alias();

struct tvk_language_row {
    std::string_view bib_code;
    std::string_view alt_code;
    std::string_view english_name;
};
extern const std::array<tvk_language_row, 470> tvk_languages;

// The system's locale alias file (a test build points it elsewhere).
extern const char tvk_alias_path[];

void tvk_spell();
