#include "core/why.h"

#include <charconv>

#include "core/state.h"

namespace {

// Where a line goes: standard output, or the kept reason, whole or not at all.
struct tvk_why_sink {
    char* buffer; // nullptr: standard output
    std::size_t used;
    bool overflow;

    void put(std::string_view text) {
        if (buffer == nullptr) {
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else if (used + text.size() < sizeof tvk_state.why) {
            std::memcpy(buffer + used, text.data(), text.size());
            used += text.size();
            buffer[used] = '\0';
        } else {
            overflow = true;
        }
    }

    // A value: nothing in it can end the line, close its quotes or reach
    // the terminal as a control.
    void value(std::string_view text) {
        for (const char ch : text) {
            const auto byte = static_cast<unsigned char>(ch);
            char escaped[5] = {'\\', ch, '\0'};
            if (byte < 0x20 || byte >= 0x7f)
                std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            else if (byte != '\\' && byte != '"')
                escaped[0] = ch, escaped[1] = '\0';
            put(escaped);
        }
    }
};

// printf's work, one conversion at a time: the text between them as it is,
// each value escaped.
void tvk_why_format(tvk_why_sink& sink, const char* format, va_list args) {
    std::string_view rest = format;
    while (!rest.empty()) {
        const std::size_t percent = rest.find('%');
        sink.put(tvk_head(rest, percent));
        if (percent == std::string_view::npos)
            return;
        rest = tvk_tail(rest, percent + 1);
        const std::size_t end = rest.find_first_of("sciduox%");
        const std::string_view conversion_text = tvk_head(rest, end);
        const char conversion = end < rest.size() ? rest[end] : '%';
        rest = tvk_tail(rest, end + 1);
        char number[64];
        switch (conversion) {
        case 's':
            sink.value(va_arg(args, const char*));
            continue;
        case 'c':
            number[0] = static_cast<char>(va_arg(args, int));
            sink.value(std::string_view(number, 1));
            continue;
        case '%':
            sink.put("%");
            continue;
        default:
            break;
        }
        // An integer: in its base, padded to the width with the flag's "0" or blanks.
        const int base = conversion == 'o' ? 8 : conversion == 'x' ? 16 : 10;
        char* digits = number + 32;
        char* end_of = number + 32;
        if (conversion_text.ends_with('z'))
            end_of =
                std::to_chars(end_of, number + sizeof number, va_arg(args, std::size_t), base).ptr;
        else if (conversion == 'i' || conversion == 'd')
            end_of = std::to_chars(end_of, number + sizeof number, va_arg(args, int), base).ptr;
        else
            end_of =
                std::to_chars(end_of, number + sizeof number, va_arg(args, unsigned), base).ptr;
        const std::string_view flags =
            tvk_head(conversion_text, conversion_text.find_first_of("123456789"));
        unsigned width = 0;
        std::from_chars(conversion_text.data() + flags.size(),
                        conversion_text.data() + conversion_text.size(), width);
        const char pad = flags.find('0') != std::string_view::npos ? '0' : ' ';
        for (auto length = static_cast<unsigned>(end_of - digits); length < width && length < 32;
             ++length)
            *--digits = pad;
        sink.put(std::string_view(digits, static_cast<std::size_t>(end_of - digits)));
    }
}

} // namespace

bool tvk_refused(const char* format, ...) {
    if (!tvk_state.opt_diagnose)
        return false;
    tvk_why_sink kept{tvk_state.why, 0, false};
    tvk_state.why[0] = '\0';
    va_list args;
    va_start(args, format);
    tvk_why_format(kept, format, args);
    va_end(args);
    tvk_state.why_shown = false;
    return false;
}

void tvk_refused_before(const char* format, ...) {
    if (!tvk_state.opt_diagnose)
        return;
    static char reason[sizeof tvk_state.why];
    std::memcpy(reason, tvk_state.why, sizeof reason);
    tvk_why_sink kept{tvk_state.why, 0, false};
    va_list args;
    va_start(args, format);
    tvk_why_format(kept, format, args);
    va_end(args);
    kept.put(reason);
}

void tvk_why(const char* format, ...) {
    if (!tvk_state.opt_diagnose)
        return;
    tvk_why_sink out{nullptr, 0, false};
    va_list args;
    va_start(args, format);
    tvk_why_format(out, format, args);
    va_end(args);
    if (tvk_state.why[0] != '\0' && !tvk_state.why_shown) {
        out.put(": ");
        out.put(tvk_state.why);
    }
    tvk_state.why_shown = true;
    out.put("\n");
}

void tvk_why_again() {
    tvk_state.why_shown = false;
}
