// Environment resolution: root directory, locale, language code and
// spell-checker, each a step of its own in the launch sequence.
#pragma once

#include <array>
#include <string_view>

void tvk_root();
void tvk_locale();
void tvk_language();
void tvk_spell();

// "C" or "POSIX", in any letter case.
bool tvk_locale_default(std::string_view name);

struct tvk_language_row {
    std::string_view bib_code;
    std::string_view alt_code;
    std::string_view english_name;
};
extern const std::array<tvk_language_row, 470> tvk_languages;

// The system's locale alias file (a test build points it elsewhere).
extern const char tvk_alias_path[];
