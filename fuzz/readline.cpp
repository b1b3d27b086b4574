// Arbitrary bytes as a file, read back with tvk_readline in pieces of a
// length the input chooses. The pieces must give back the file exactly.
#include <cstdint>

#include "files/files.h"
#include "fuzz.h"

namespace {

constexpr unsigned char untouched = 0xa5;
int file = -1;

bool untouched_from(const char* buffer, std::size_t from) {
    for (std::size_t i = from; i < tvk_text_size; ++i) {
        if (static_cast<unsigned char>(buffer[i]) != untouched)
            return false;
    }
    return true;
}

// One call; returns the count of bytes stored, checked against the file.
std::size_t piece(std::string_view contents, std::size_t offset, unsigned max) {
    char buffer[tvk_text_size];
    std::memset(buffer, untouched, sizeof buffer);
    const int got = tvk_readline(file, buffer, max);
    fuzz_check(got >= 0 && static_cast<unsigned>(got) <= max);
    const auto n = static_cast<std::size_t>(got);
    if (n == 0) {
        // End of file leaves the buffer alone; max 0 stores the NUL only.
        fuzz_check(max == 0 || offset == contents.size());
        fuzz_check(max == 0 ? buffer[0] == '\0' && untouched_from(buffer, 1)
                            : untouched_from(buffer, 0));
        return 0;
    }
    fuzz_check(contents.substr(offset, n) == std::string_view(buffer, n));
    fuzz_check(buffer[n] == '\0' && untouched_from(buffer, n + 1));
    const void* newline = std::memchr(buffer, '\n', n);
    fuzz_check(newline == nullptr || newline == buffer + n - 1);
    // A short piece ends at a newline or at the end of the file.
    fuzz_check(n == max || newline != nullptr || offset + n == contents.size());
    // Nothing is read ahead.
    fuzz_check(lseek(file, 0, SEEK_CUR) == static_cast<off_t>(offset + n));
    return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    file = fuzz_memory_file("readline");
    return 0;
}

// The input's first line gives max: its digits, modulo 1024. The rest is the
// file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz_input_max)
        return 0;
    std::string_view contents{reinterpret_cast<const char*>(data), size};
    unsigned max = 0;
    for (const char c : fuzz_take_line(contents)) {
        if (c >= '0' && c <= '9')
            max = (max * 10 + static_cast<unsigned>(c - '0')) % tvk_text_size;
    }
    fuzz_load(file, contents);
    std::size_t offset = 0;
    for (std::size_t n; (n = piece(contents, offset, max)) > 0;)
        offset += n;
    fuzz_check(max == 0 || offset == contents.size());
    return 0;
}
