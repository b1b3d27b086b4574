// Counts the system calls of a launch in a trace written by
// "strace -f -qq -e signal=none -o FILE -- launcher ...": every call from the
// launcher's start up to and including the second successful execve, the one
// that starts the overlay, so the overlay's own start does not count; every
// call of the trace when there is no such execve (a run that exits).
#pragma once

#include <algorithm>
#include <cctype>
#include <istream>
#include <string>
#include <string_view>

namespace tvktest {

struct TraceLine {
    bool call = false;      // a call starts here; a resumed line finishes one
    bool exec_done = false; // an execve that succeeded
};

// "PID name(args) = result"; the PID is there when strace follows children.
inline TraceLine trace_line(std::string_view line) {
    const std::size_t after_pid = line.find_first_not_of("0123456789");
    if (after_pid != 0 && after_pid != std::string_view::npos)
        line.remove_prefix(std::min(line.find_first_not_of(' ', after_pid), line.size()));
    TraceLine seen;
    seen.call = !line.empty() && std::isalpha(static_cast<unsigned char>(line[0])) &&
                line.find('(') != std::string_view::npos;
    const bool exec = line.starts_with("execve(") || line.starts_with("<... execve resumed>");
    seen.exec_done = exec && line.ends_with(" = 0");
    return seen;
}

inline long syscalls_until_overlay(std::istream& trace) {
    long calls = 0;
    int execs = 0;
    for (std::string line; std::getline(trace, line);) {
        const TraceLine seen = trace_line(line);
        calls += seen.call ? 1 : 0;
        if (seen.exec_done && ++execs == 2)
            break;
    }
    return calls;
}

} // namespace tvktest
