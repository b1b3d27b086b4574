// One libFuzzer target for the parsers of files others may have written: the first byte
// picks the rc file or the alias file, the rest is the input. It works in a private directory,
// HOME and working directory at once; an abort returns here. Built with TVK_FUZZ_REPLAY, it
// runs the inputs named on its command line instead.
#include <setjmp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/state.h"
#include "files/rcfile.h"
#include "report/abort.h"
#include "resolve/resolve.h"

#define CHECK(holds) ((holds) ? void() : __builtin_trap())

namespace {

jmp_buf escape;
char top[] = "/tmp/tvkfuzz-XXXXXX";

} // namespace

// In place of the abort report, which would end the process.
void tvk_abort(tvk_abort_reason reason) {
    longjmp(escape, static_cast<int>(reason));
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CHECK(mkdtemp(top) && !std::atexit([] { std::filesystem::remove_all(top); }) && !chdir(top) &&
          !setenv("HOME", top, 1) && !mkdir(".tovrek", 0700));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    tvk_state = {};
    const char* text = reinterpret_cast<const char*>(data + 1);
    if (setjmp(escape) != 0)
        return 0; // an abort is an outcome like any other
    if (data[0] % 2 == 1) {
        std::ofstream(".tovrek/tvkcombo.rc", std::ios::binary)
            .write(text, static_cast<long>(size - 1));
        tvk_rcfile_read(); // a value ends at the first separator
        CHECK(!std::strpbrk(tvk_state.rc_locale, " \t=\n") &&
              !std::strpbrk(tvk_state.rc_root, " \t=\n"));
    } else {
        std::ofstream("locale.alias", std::ios::binary).write(text, static_cast<long>(size - 1));
        tvk_copy(tvk_state.locale, "word");
        tvk_language(); // a code of the table, unless it aborts
        CHECK(std::strlen(tvk_state.language) == 3);
    }
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
