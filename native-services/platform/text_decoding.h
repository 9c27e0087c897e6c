// Byte-to-UTF-8 decoding through iconv.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace lv::rich {

// Strict: the whole input must be valid in `charset` (an iconv name); otherwise no string.
std::optional<std::string> decode_strict(const std::uint8_t *bytes, std::size_t count, const char *charset);

// Plain-text readings of the pasteboard types: Mac OS Roman, UTF-16 big-endian, UTF-16 with
// byte-order mark (big-endian when the mark is missing), UTF-8. No string when invalid.
std::optional<std::string> decode_mac_roman(const std::uint8_t *bytes, std::size_t count);
std::optional<std::string> decode_utf16be(const std::uint8_t *bytes, std::size_t count);
std::optional<std::string> decode_utf16_bom(const std::uint8_t *bytes, std::size_t count);
std::optional<std::string> decode_utf8(const std::uint8_t *bytes, std::size_t count);

// Appends the UTF-8 form of a code point (U+FFFD for surrogates and values beyond U+10FFFF).
void append_utf8(std::string &out, std::uint32_t code_point);

}  // namespace lv::rich
