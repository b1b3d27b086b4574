// Bounded text helpers. Every copy, append and format of the launcher goes
// through these, so that no fixed buffer can be overrun: each writes at most
// the size of its destination array, always NUL-terminates, and reports
// whether the whole text fitted.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

inline constexpr std::size_t tvk_text_size = 1024; // 1023 characters and a NUL
using tvk_text = char[tvk_text_size];

// A text held in a table's row, not pointed to: a table of pointers is
// relocated, all of it, at every start of a position-independent launcher.
using tvk_word = char[64];

// The first n characters of text, or all of it. string_view::substr would
// do the same but reaches into the C++ runtime for its out-of-range throw.
constexpr std::string_view tvk_head(std::string_view text, std::size_t n) {
    return {text.data(), n < text.size() ? n : text.size()};
}

// Text without its first n characters, or empty.
constexpr std::string_view tvk_tail(std::string_view text, std::size_t n) {
    return n < text.size() ? std::string_view(text.data() + n, text.size() - n)
                           : std::string_view();
}

inline bool tvk_copy_n(char* dst, std::size_t size, std::string_view src) {
    if (size == 0)
        return src.empty();
    const std::size_t n = src.size() < size ? src.size() : size - 1;
    if (n != 0) // an empty view may hold no pointer at all
        std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
    return n == src.size();
}

// Copies as much of src as fits; true when nothing was cut.
template <std::size_t N> bool tvk_copy(char (&dst)[N], std::string_view src) {
    return tvk_copy_n(dst, N, src);
}

// Appends as much of src as fits; true when nothing was cut.
template <std::size_t N> bool tvk_append(char (&dst)[N], std::string_view src) {
    const std::size_t used = ::strnlen(dst, N - 1);
    return tvk_copy_n(dst + used, N - used, src);
}

// printf into size bytes at dst, cut to fit.
__attribute__((format(printf, 3, 0))) inline void tvk_vformat_n(char* dst, std::size_t size,
                                                                const char* format, va_list args) {
    dst[0] = '\0'; // so left, should the call fail
    std::vsnprintf(dst, size, format, args);
}

// printf into a fixed buffer, cut to fit.
template <std::size_t N>
__attribute__((format(printf, 2, 3))) void tvk_format(char (&dst)[N], const char* format, ...) {
    va_list args;
    va_start(args, format);
    tvk_vformat_n(dst, N, format, args);
    va_end(args);
}

// Removes one trailing ch, if the text ends in it.
inline void tvk_chop(char* text, char ch) {
    const std::size_t n = std::strlen(text);
    if (n > 0 && text[n - 1] == ch)
        text[n - 1] = '\0';
}

inline bool tvk_equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(x) != lower(y))
            return false;
    }
    return true;
}

// Walks the tokens of a text: runs of characters outside separators. Each
// character is looked up in the few separators inline: find_first_of would
// call memchr once per character of the text.
struct tvk_tokens {
    std::string_view rest;
    std::string_view separators;

    bool next(std::string_view& token) {
        std::size_t start = 0;
        while (start < rest.size() && separator(rest[start]))
            ++start;
        if (start == rest.size())
            return false;
        rest.remove_prefix(start);
        std::size_t end = 0;
        while (end < rest.size() && !separator(rest[end]))
            ++end;
        token = tvk_head(rest, end);
        rest.remove_prefix(end);
        return true;
    }

    bool separator(char ch) const {
        for (const char each : separators) {
            if (ch == each)
                return true;
        }
        return false;
    }
};

// Splits a path into the directory that holds its last entry, slash kept
// ("." for a name alone), and that entry's name, which it returns.
inline std::string_view tvk_split_path(tvk_text& directory, std::string_view path) {
    const std::size_t slash = path.rfind('/');
    tvk_copy(directory, slash == std::string_view::npos ? "." : tvk_head(path, slash + 1));
    return tvk_tail(path, slash + 1); // no slash: npos + 1 is 0, the whole path
}

// Walks the elements of a colon-separated list such as PATH: a leading, a
// trailing or a doubled ":" gives an empty one.
struct tvk_elements {
    std::string_view rest;
    bool done = false;

    bool next(std::string_view& element) {
        if (done)
            return false;
        const std::size_t colon = rest.find(':');
        element = tvk_head(rest, colon);
        done = colon == std::string_view::npos;
        if (!done)
            rest.remove_prefix(colon + 1);
        return true;
    }
};
