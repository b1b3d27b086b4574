// Why a run does what it does. Launches say nothing of it: only --diagnose
// reports it, one line per decision on standard output, and every other run
// pays one test of a flag per decision.
//
// A line is printed in pieces, never formatted into a fixed buffer, so no
// value can cut it. Inside a value ("%s"), a double quote and a backslash
// are escaped (\" and \\), and so is every byte that could forge a line or
// drive a terminal (controls, escapes, anything beyond ASCII: \xHH); the
// format's own text is printed as it is. Conversions: %s, %c and the
// integers %i %d %u %o %x, with flags, width and the length z.
#pragma once

// Keeps the reason a check refused what it was given, for the decision that
// asked it; returns false, so that a check can end in it. Its values are at
// most PATH_MAX bytes each, which tvk_state.why holds four times over, escaped.
__attribute__((format(printf, 1, 2))) bool tvk_refused(const char* format, ...);

// Puts the formatted text before the reason kept: a check that asked
// another says what it asked about.
__attribute__((format(printf, 1, 2))) void tvk_refused_before(const char* format, ...);

// Reports a decision: the formatted text, then ": " and the reason kept
// since the last decision, if any.
__attribute__((format(printf, 1, 2))) void tvk_why(const char* format, ...);

// The next line shows the last reason kept again, though the decision line
// above showed it: the verdict of a run that stops carries its reason.
void tvk_why_again();
