// The debug log: one line per event, written only while -d has opened it.
#pragma once

void tvk_debug_on();
void tvk_debug(const char* text);
__attribute__((format(printf, 1, 2))) void tvk_debugf(const char* format, ...);
// Logs head + value + newline.
void tvk_debug_value(const char* head, const char* value);
void tvk_debug_off();
