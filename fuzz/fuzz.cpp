// One libFuzzer target for the parsers of outside input: the first byte of an
// input picks one (command line, rc file, version stamp, alias file, catalog
// text), the rest is its input. They work in a private directory that is HOME,
// root and working directory at once, and an abort returns here as an outcome.
// Built with TVK_FUZZ_REPLAY, it runs the inputs named on its command line.
#include <setjmp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/state.h"
#include "files/files.h"
#include "report/report.h"
#include "resolve/resolve.h"

namespace {

jmp_buf escape;
char top[] = "/tmp/tvkfuzz-XXXXXX";

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

bool course_acceptable(std::string_view course) {
    return course.size() <= 14 &&
           (course.empty() || course.find_first_not_of('.') != course.npos) &&
           course.find_first_not_of(
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.") == course.npos;
}

void parse(int parser, std::string input) {
    std::vector<char*> argv;
    if (parser != 0)
        std::ofstream(parser == 1   ? ".tovrek/tvkcombo.rc"
                      : parser == 2 ? "ver/tvkcombo"
                                    : "locale.alias")
            << input;
    if (parser == 0) { // the input split at its NUL bytes is the argument vector
        for (size_t at = 0; at < input.size(); at += std::strlen(&input[at]) + 1)
            argv.push_back(&input[at]);
        argv.push_back(nullptr);
        optind = 0;
        tvk_options(static_cast<int>(argv.size() - 1), argv.data());
        check(!tvk_state.opt_course || course_acceptable(tvk_state.course));
    } else if (parser == 1) {
        tvk_rcfile_read();
        check(!std::strpbrk(tvk_state.rc_locale, " \t=\n") &&
              !std::strpbrk(tvk_state.rc_root, " \t=\n"));
    } else if (parser == 2) {
        check(tvk_root_check(".") == (input.starts_with("0.1.1\n") ? 1 : 0));
    } else if (parser == 3) {
        tvk_copy(tvk_state.locale, "word");
        tvk_language();
        check(std::strlen(tvk_state.language) == 3);
    } else { // what gets through is safe as the format of its message
        const int number = 1 + static_cast<unsigned char>(input[0]) % 13;
        const std::string_view text = tvk_usage_text(number, input.c_str() + 1);
        const size_t percent = text.find('%');
        check(percent == text.npos || (number == 1 && text.substr(percent, 2) == "%s" &&
                                       text.find('%', percent + 1) == text.npos));
    }
}

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
    const int parser = data[0] % 5;
    tvk_state = {};
    tvk_state.version_minor = tvk_state.version_patch = 1;
    const int code = setjmp(escape);
    if (code == 0)
        parse(parser, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    else // options abort with the root, locale or course code, the language with its two
        check(parser == 0 ? code == tvk_abort_root || code == tvk_abort_locale ||
                                (code == tvk_abort_course && !course_acceptable(tvk_state.course))
                          : code == tvk_abort_language || code == tvk_abort_alias);
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
