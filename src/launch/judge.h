// What the kernel would make of an execve, judged without making it: the
// diagnosis must say which loader attempt a launch ends in, and a file that
// stat and access pass may still be refused by execve.
#pragma once

// The judge cannot read the file (execute-only): the kernel may yet run it.
inline constexpr int tvk_exec_unknown = -1;

// execve(path, argv, environ): 0 when the kernel would start the program,
// else the error it would fail with, or tvk_exec_unknown. A refusal's
// reason is kept for the diagnosis (tvk_refused). shell: as execvp does with
// a path, a file the kernel has no format for (ENOEXEC) goes to /bin/sh as
// its script; *shell then tells whether it would.
int tvk_exec_judge(const char* path, char* const argv[], bool* shell = nullptr);
