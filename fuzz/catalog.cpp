// Arbitrary bytes as the catalog text of a usage message whose number the
// first byte chooses ('A' to 'M' give 1 to 13). A text tvk_usage_text lets
// through must be safe to use as a printf format, and a safe text must get
// through.
#include <cstdint>
#include <cstdio>

#include "fuzz.h"
#include "report/report.h"

namespace {

constexpr int message_count = 13;
char text[fuzz_input_max + 1];

// Message 1: exactly one "%s" and no other '%'; the others: no '%' at all.
bool safe_format(int number, std::string_view message) {
    const auto percents = std::count(message.begin(), message.end(), '%');
    if (number != 1)
        return percents == 0;
    const std::size_t at = message.find('%');
    return percents == 1 && at + 1 < message.size() && message[at + 1] == 's';
}

#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"
// The chosen text used as a printf format, message 1 with a program name: if
// the check let a bad text through, the sanitizers see what it does.
void print(int number, const char* format) {
    char line[tvk_text_size];
    const int length = number == 1 ? std::snprintf(line, sizeof line, format, "tvkcombo")
                                   : std::snprintf(line, sizeof line, format);
    fuzz_check(length >= 0);
}
#pragma clang diagnostic pop

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > fuzz_input_max)
        return 0;
    const int number = 1 + data[0] % message_count;
    std::memcpy(text, data + 1, size - 1);
    text[size - 1] = '\0';
    const char* chosen = tvk_usage_text(number, text);
    fuzz_check(chosen == text || chosen == tvk_usage_default(number));
    fuzz_check((chosen == text) == safe_format(number, text));
    print(number, chosen);
    return 0;
}
