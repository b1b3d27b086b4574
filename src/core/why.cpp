#include "core/why.h"

#include "core/state.h"

bool tvk_refused(const char* format, ...) {
    if (!tvk_state.opt_diagnose)
        return false;
    va_list args;
    va_start(args, format);
    tvk_vformat_n(tvk_state.why, sizeof tvk_state.why, format, args);
    va_end(args);
    return false;
}
