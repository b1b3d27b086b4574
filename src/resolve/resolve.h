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
// Cuts text right after the first "/tovrek"; false when there is none.
bool tvk_marker_cut(tvk_text& text);

void tvk_locale();
// "C" or "POSIX", in any letter case.
bool tvk_locale_default(std::string_view name);

void tvk_language();
void tvk_alias();
// Scans an open alias file for the first line keyed by the current language
// part; value gets that line's second token, or stays as it was.
void tvk_alias_scan(int fd, tvk_text& value);
// Length of the language part: the prefix up to the first '_', '@' or '.'.
std::size_t tvk_language_part(std::string_view name);

struct tvk_language_row {
    std::string_view bib_code;
    std::string_view alt_code;
    std::string_view english_name;
};
extern const std::array<tvk_language_row, 470> tvk_languages;

// The system's locale alias file (a test build points it elsewhere).
extern const char tvk_alias_path[];

void tvk_spell();
