// Overlay launch: the exported environment and the six loader attempts.
#pragma once

enum : int { tvk_kind_normal = 0, tvk_kind_version = 1 };

[[noreturn]] void tvk_execve(int kind);
