// The command line, and the standard descriptors the launcher was started with.
#pragma once

// Reopens any closed standard descriptor on /dev/null, so that no file the
// launcher opens later can take the number of one and receive report text.
void tvk_standard_descriptors();

void tvk_options(int argc, char** argv);
