#include "core/why.h"

#include "core/state.h"

namespace {

// Prints text so that no byte of a name can end the line or reach the
// terminal as a control: a backslash itself is doubled.
void tvk_why_print(std::string_view text) {
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == '\\')
            std::fputs("\\\\", stdout);
        else if (byte < 0x20 || byte >= 0x7f)
            std::printf("\\x%02x", byte);
        else
            std::putchar(byte);
    }
}

} // namespace

bool tvk_refused(const char* format, ...) {
    if (!tvk_state.opt_diagnose)
        return false;
    va_list args;
    va_start(args, format);
    tvk_vformat_n(tvk_state.why, sizeof tvk_state.why, format, args);
    va_end(args);
    return false;
}

void tvk_why(const char* format, ...) {
    if (!tvk_state.opt_diagnose)
        return;
    tvk_text line;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    tvk_why_print(line);
    if (length >= static_cast<int>(sizeof line))
        std::fputs("...", stdout); // a line too long for the buffer, cut
    if (tvk_state.why[0] != '\0') {
        std::fputs(": ", stdout);
        tvk_why_print(tvk_state.why);
        tvk_state.why[0] = '\0';
    }
    std::putchar('\n');
}
