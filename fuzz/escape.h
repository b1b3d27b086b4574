// Lets a driver run launcher steps that may end the process. The targets that
// use this are linked with exit and tvk_abort wrapped: an abort records its
// code and its exit jumps back into tvk_fuzz_guarded instead of ending the
// fuzzer. Standard output, where the abort report goes, is sent to /dev/null
// at start (escape.cpp defines LLVMFuzzerInitialize for that).
#pragma once

#include <csetjmp>

extern std::jmp_buf* tvk_fuzz_landing; // armed only while a guarded step runs
extern int tvk_fuzz_abort_code;

// Runs step: 0 when it returned, its abort code when it aborted, -1 when it
// called exit some other way.
template <class Step> int tvk_fuzz_guarded(Step step) {
    std::jmp_buf landing;
    tvk_fuzz_abort_code = -1;
    if (setjmp(landing) != 0) {
        tvk_fuzz_landing = nullptr;
        return tvk_fuzz_abort_code;
    }
    tvk_fuzz_landing = &landing;
    step();
    tvk_fuzz_landing = nullptr;
    return 0;
}
