#include "script-escape.h"

namespace {

std::string backslash_before(const std::string & text, const char * specials) {
    std::string out;
    for (char c : text) {
        for (const char * s = specials; *s; ++s) {
            if (c == *s) {
                out += '\\';
                break;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

std::string bash_single_quoted(const std::string & text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string bash_double_quoted_body(const std::string & text) {
    return backslash_before(text, "\\\"$`");
}

std::string graph_quoted_body(const std::string & text) {
    std::string out;
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out;
}

std::string option_literal(const std::string & text, bool for_drawtext) {
    return backslash_before(for_drawtext ? backslash_before(text, "\\%") : text, "\\:'");
}
