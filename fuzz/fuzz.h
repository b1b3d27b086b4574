// What the drivers share: the invariant check, reading text fields, taking
// inputs apart, and handing the launcher an input as a file.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/text.h"

// Inputs beyond a few KiB add nothing but time.
inline constexpr std::size_t fuzz_input_max = 8192;

inline void fuzz_check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// A text field must end within its buffer.
inline std::string_view fuzz_text(const tvk_text& text) {
    const void* end = std::memchr(text, '\0', sizeof text);
    fuzz_check(end != nullptr);
    return {text, static_cast<std::size_t>(static_cast<const char*>(end) - text)};
}

// Removes the input's first line (without its newline) and returns it.
inline std::string_view fuzz_take_line(std::string_view& input) {
    const std::size_t end = std::min(input.find('\n'), input.size());
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(std::min(end + 1, input.size()));
    return line;
}

// Whether token stands somewhere in text right behind one of separators, as
// every token after a line's first one does.
inline bool fuzz_after_separator(std::string_view text, std::string_view token,
                                 std::string_view separators) {
    for (std::size_t at = text.find(token, 1); at != std::string_view::npos;
         at = text.find(token, at + 1)) {
        if (separators.find(text[at - 1]) != std::string_view::npos)
            return true;
    }
    return false;
}

// A locale name's prefix up to its first '_', '@' or '.'.
inline std::string_view fuzz_language_part(std::string_view name) {
    return name.substr(0, std::min(name.find_first_of("_@."), name.size()));
}

// An anonymous file, reused for every input.
inline int fuzz_memory_file(const char* name) {
    const int fd = memfd_create(name, 0);
    fuzz_check(fd != -1);
    return fd;
}

// Makes the file hold exactly contents, read from its start. Cut to length
// after writing: on ext4 a file emptied and then closed is flushed at once,
// which would slow each run down to a disk write.
inline void fuzz_load(int fd, std::string_view contents) {
    fuzz_check(pwrite(fd, contents.data(), contents.size(), 0) ==
               static_cast<ssize_t>(contents.size()));
    fuzz_check(ftruncate(fd, static_cast<off_t>(contents.size())) == 0);
    fuzz_check(lseek(fd, 0, SEEK_SET) == 0);
}

// The launcher opens some files by name: these are rewritten for each input.
inline void fuzz_write_file(const char* path, std::string_view contents) {
    const int fd = open(path, O_WRONLY | O_CREAT, 0600);
    fuzz_check(fd != -1);
    fuzz_load(fd, contents);
    close(fd);
}

// A file that the launcher finds by name, top/directory/name, under a fresh
// temporary top directory of its own; removed again when the fuzzer exits.
struct fuzz_place {
    tvk_text top;
    tvk_text directory;
    tvk_text file;
};
inline fuzz_place fuzz_the_place;

inline void fuzz_remove_place() {
    unlink(fuzz_the_place.file);
    rmdir(fuzz_the_place.directory);
    rmdir(fuzz_the_place.top);
}

inline const fuzz_place& fuzz_make_place(const char* directory, const char* name) {
    fuzz_place& place = fuzz_the_place;
    const char* tmp = std::getenv("TMPDIR");
    fuzz_check(tvk_format(place.top, "%s/tvkfuzz.XXXXXX", tmp != nullptr && tmp[0] ? tmp : "/tmp"));
    fuzz_check(mkdtemp(place.top) != nullptr);
    std::atexit(fuzz_remove_place);
    fuzz_check(tvk_format(place.directory, "%s/%s", place.top, directory));
    fuzz_check(mkdir(place.directory, 0700) == 0);
    fuzz_check(tvk_format(place.file, "%s/%s", place.directory, name));
    return place;
}
