// Overlay launch: exported environment and the six loader attempts.
#pragma once

enum : int { tvk_kind_normal = 0, tvk_kind_version = 1 };

[[noreturn]] void tvk_execve(int kind);
void tvk_execve_base();
void tvk_execve_env();
void tvk_execve_loaders();
