// Why a run does what it does. Launches say nothing of it: only --diagnose
// reports it, one line per decision on standard output, and every other run
// pays one test of a flag per decision.
#pragma once

// Keeps the reason a check refused what it was given, for the decision that
// asked it; returns false, so that a check can end in it.
__attribute__((format(printf, 1, 2))) bool tvk_refused(const char* format, ...);

// Reports a decision: the formatted text, then ": " and the reason kept
// since the last one, if any. Bytes that could forge a line or drive a
// terminal (controls, escapes, anything beyond ASCII) are shown as \xHH.
__attribute__((format(printf, 1, 2))) void tvk_why(const char* format, ...);
