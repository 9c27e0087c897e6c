#include "url_path.h"

#include <cstring>

namespace lv {

std::string percent_encode_url_path(const std::string &utf8) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (const unsigned char c : utf8) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             (c != 0 && std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr);
        if (allowed) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace lv
