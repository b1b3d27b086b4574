// Overlay launch: the exported environment and the six loader attempts.
#pragma once

#include "core/text.h"

enum : int { tvk_kind_normal = 0, tvk_kind_version = 1 };

[[noreturn]] void tvk_execve(int kind);

// The list attempt six searches for a bare name: PATH, or execvp's own
// when it is unset.
const char* tvk_path_list();
// The next place along it, as execvp forms it: element + "/" + name, "./"
// for an empty element; relative: the element names the working directory
// or a place in it. An element too long for the place is passed over.
bool tvk_path_next(tvk_elements& elements, const char* name, tvk_text& candidate, bool& relative);
