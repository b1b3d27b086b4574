// Reports on standard output: info, version and usage.
#pragma once

// Two lines that head every report.
extern const char tvk_banner[];

[[noreturn]] void tvk_info();
void tvk_version();
[[noreturn]] void tvk_usage();
// Ends a report's run: status 0 when standard output took all of it, else 1.
[[noreturn]] void tvk_report_exit();
