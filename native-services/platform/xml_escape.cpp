#include "xml_escape.h"

namespace lv {

void append_xml_escaped(std::string &out, const std::string &utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
            if (c == 0xEF && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
                (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xBE) {
                i += 2;  // U+FFFE, U+FFFF
                break;
            }
            out += static_cast<char>(c);
        }
    }
}

}  // namespace lv
