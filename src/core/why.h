// Why a run would refuse what it refuses. Launches say nothing of it: only
// --diagnose reports it, and every other run pays one test of a flag.
#pragma once

// Keeps the reason a check refused what it was given, for the decision that
// asked it to report; returns false, so that a check can end in it.
__attribute__((format(printf, 1, 2))) bool tvk_refused(const char* format, ...);
