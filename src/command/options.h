// The command line, and the standard descriptors the launcher was started with.
#pragma once

// Reopens any closed standard descriptor on /dev/null, so that no file the
// launcher opens later can take the number of one and receive report text.
void tvk_standard_descriptors();

#include <string_view>

void tvk_options(int argc, char** argv);

// Whether a course name may be handed to the overlay; a bad one's reason is
// kept for the diagnosis.
bool tvk_course_sound(std::string_view course);
