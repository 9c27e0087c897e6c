#include "text_decoding.h"

#include <iconv.h>

#include <cerrno>

namespace lv::rich {

std::optional<std::string> decode_strict(const std::uint8_t *bytes, std::size_t count, const char *charset) {
    iconv_t converter = iconv_open("UTF-8", charset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    char *in = const_cast<char *>(reinterpret_cast<const char *>(bytes));
    std::size_t in_left = count;
    char chunk[4096];
    bool ok = true;
    while (in_left > 0) {
        char *dst = chunk;
        std::size_t dst_left = sizeof chunk;
        const std::size_t result = iconv(converter, &in, &in_left, &dst, &dst_left);
        out.append(chunk, dst - chunk);
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;  // EILSEQ: invalid sequence; EINVAL: cut short at the end
            break;
        }
    }
    iconv_close(converter);
    if (!ok) return std::nullopt;
    return out;
}

std::optional<std::string> decode_mac_roman(const std::uint8_t *bytes, std::size_t count) {
    return decode_strict(bytes, count, "MACINTOSH");
}

std::optional<std::string> decode_utf16be(const std::uint8_t *bytes, std::size_t count) {
    return decode_strict(bytes, count, "UTF-16BE");
}

std::optional<std::string> decode_utf16_bom(const std::uint8_t *bytes, std::size_t count) {
    if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return decode_strict(bytes + 2, count - 2, "UTF-16LE");
    if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return decode_strict(bytes + 2, count - 2, "UTF-16BE");
    return decode_strict(bytes, count, "UTF-16BE");
}

std::optional<std::string> decode_utf8(const std::uint8_t *bytes, std::size_t count) {
    return decode_strict(bytes, count, "UTF-8");
}

void append_utf8(std::string &out, std::uint32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace lv::rich
