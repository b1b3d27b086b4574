#include "escape.h"

#include <cstdio>

std::jmp_buf* tvk_fuzz_landing = nullptr;
int tvk_fuzz_abort_code = -1;

// The symbols the linker's --wrap option asks for; _Z9tvk_aborti is
// tvk_abort(int).
extern "C" {
[[noreturn]] void __real_exit(int status);
[[noreturn]] void __real__Z9tvk_aborti(int code);

[[noreturn]] void __wrap__Z9tvk_aborti(int code) {
    tvk_fuzz_abort_code = code;
    __real__Z9tvk_aborti(code);
}

// The fuzzer's own exits pass through here too: they go on unchanged.
[[noreturn]] void __wrap_exit(int status) {
    if (tvk_fuzz_landing == nullptr)
        __real_exit(status);
    std::longjmp(*tvk_fuzz_landing, 1);
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return std::freopen("/dev/null", "w", stdout) == nullptr;
}
