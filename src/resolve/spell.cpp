#include "core/state.h"
#include "core/why.h"
#include "files/log.h"
#include "resolve/resolve.h"

namespace {

struct tvk_dictionary_rule {
    tvk_word language; // compared with the language code, or, when empty,
    tvk_word locale;   // with the whole locale name
    tvk_word option;
    tvk_word log_head;
};

constexpr tvk_dictionary_rule tvk_dictionary_rules[] = {
    {"spa", "", " -d spanish", "tvk_spell:spanish:"},
    {"fre", "", " -d french", "tvk_spell:french:"},
    {"", "en_UK", " -d british", "tvk_spell:british:"},
    {"", "en_US", " -d american", "tvk_spell:american:"},
};

bool tvk_dictionary_holds(const tvk_dictionary_rule& rule) {
    if (rule.language[0] != '\0')
        return std::string_view(tvk_state.language) == rule.language;
    return std::string_view(tvk_state.locale) == rule.locale;
}

// An ispell command keeps only its name; the dictionary follows the language.
const char* tvk_spell_dictionary() {
    tvk_copy(tvk_state.spell, "ispell");
    for (const tvk_dictionary_rule& rule : tvk_dictionary_rules) {
        if (tvk_dictionary_holds(rule)) {
            tvk_append(tvk_state.spell, rule.option);
            return rule.log_head;
        }
    }
    return "tvk_spell:default:";
}

} // namespace

void tvk_spell() {
    if (tvk_state.rc_has_spell) {
        tvk_copy(tvk_state.spell, tvk_state.rc_spell);
        tvk_debug_value("tvk_spell:found name ", tvk_state.spell);
    } else {
        tvk_copy(tvk_state.spell, "ispell");
        tvk_debug_value("tvk_spell:set name ", tvk_state.spell);
    }
    const bool ispell = std::string_view(tvk_state.spell).starts_with("ispell");
    const char* log_head = ispell ? tvk_spell_dictionary() : "tvk_spell:!ispell:";
    tvk_debug_value(log_head, tvk_state.spell);
    tvk_why("spell-checker: \"%s\", %s", tvk_state.spell,
            !tvk_state.rc_has_spell ? "the default for the language"
            : ispell                ? "the rc file's ispell, with the dictionary for the language"
                                    : "from the rc file");
}
