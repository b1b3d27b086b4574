// One text per line: backslash and newline are written as "\\" and "\n".
// The overlay's record uses it, and so does gencat's message source format.
#pragma once

#include <string>

namespace tvktest {

inline std::string line_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

inline std::string line_unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            out += text[++i] == 'n' ? '\n' : text[i];
        else
            out += text[i];
    }
    return out;
}

} // namespace tvktest
