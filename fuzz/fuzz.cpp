// One libFuzzer target for every parser of outside input; the first byte of
// an input picks the parser, the rest is its input. Each parser runs in a
// private directory that is HOME, root and working directory at once, and
// an abort comes back here as an outcome. Built with -DTVK_FUZZ_REPLAY it is
// a plain program that runs the inputs named on its command line instead.
#include <fcntl.h>
#include <setjmp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/state.h"
#include "files/files.h"
#include "report/report.h"
#include "resolve/resolve.h"

namespace {

jmp_buf escape;

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void put(const char* path, const std::string& bytes) {
    FILE* file = std::fopen(path, "w");
    check(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    std::fclose(file);
}

// Runs a step; the abort code it ended with, or 0.
template <typename Step> int outcome(Step step) {
    const int code = setjmp(escape);
    if (code == 0)
        step();
    return code;
}

// The input split at its NUL bytes is the argument vector.
void options(const std::string& input) {
    std::string text = input;
    std::vector<char*> argv;
    for (size_t at = 0; at < text.size(); at += std::strlen(&text[at]) + 1)
        argv.push_back(&text[at]);
    argv.push_back(nullptr);
    optind = 0;
    const int code = outcome([&] { tvk_options(static_cast<int>(argv.size() - 1), argv.data()); });
    const std::string_view course = tvk_state.course;
    const bool acceptable =
        course.size() <= 14 && course.find_first_not_of(".") != course.npos &&
        course.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.") == course.npos;
    check(code == 0 || code == tvk_abort_root || code == tvk_abort_locale ||
          code == tvk_abort_course);
    check(!tvk_state.opt_course || (code == tvk_abort_course) != (acceptable || course.empty()));
}

void rcfile(const std::string& input) {
    put(".tovrek/tvkcombo.rc", input);
    tvk_rcfile_read();
    for (const char* value : {tvk_state.rc_locale, tvk_state.rc_root})
        check(std::strpbrk(value, " \t=\n") == nullptr);
}

void readline(const std::string& input) {
    put("line", input);
    const int fd = open("line", O_RDONLY);
    std::string back;
    tvk_text line;
    for (int got; (got = tvk_readline(fd, line, tvk_text_size - 1)) > 0;)
        back.append(line, static_cast<size_t>(got));
    close(fd);
    check(back == input);
}

void stamp(const std::string& input) {
    put("ver/tvkcombo", input);
    check(tvk_root_check(".") == (input.starts_with("0.1.1\n") ? 1 : 0));
}

void alias(const std::string& input) {
    put("locale.alias", input);
    tvk_copy(tvk_state.locale, "word");
    const int code = outcome([] { tvk_language(); });
    check(code == tvk_abort_language || code == tvk_abort_alias ||
          std::strlen(tvk_state.language) == 3);
}

// Whatever text gets through is safe as the format of its message.
void catalog(const std::string& input) {
    const int number = 1 + static_cast<unsigned char>(input[0]) % 13;
    const std::string_view text = tvk_usage_text(number, input.c_str() + 1);
    const size_t percent = text.find('%');
    check(percent == text.npos || (number == 1 && text.substr(percent, 2) == "%s" &&
                                   text.find('%', percent + 1) == text.npos));
}

char top[] = "/tmp/tvkfuzz-XXXXXX";

void remove_top() {
    std::filesystem::remove_all(top);
}

} // namespace

extern "C" [[noreturn]] void __wrap__Z9tvk_aborti(int code) {
    longjmp(escape, code);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    check(mkdtemp(top) != nullptr && std::atexit(remove_top) == 0 && chdir(top) == 0 &&
          setenv("HOME", top, 1) == 0);
    check(mkdir(".tovrek", 0700) == 0 && mkdir("ver", 0755) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 8192)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    void (*const parsers[])(const std::string&) = {options, rcfile, readline,
                                                   stamp,   alias,  catalog};
    tvk_state = {};
    tvk_state.version_minor = tvk_state.version_patch = 1;
    parsers[data[0] % std::size(parsers)](input);
    return 0;
}

#ifdef TVK_FUZZ_REPLAY
int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::string input{std::istreambuf_iterator<char>(file), {}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
}
#endif
