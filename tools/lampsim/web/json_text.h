#pragma once
// A string as a JSON string literal.
#include <string>

namespace lampsim {

inline std::string json_text(const std::string &s) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

} // namespace lampsim
