// Text conversions between the UTF-8 the host hands us and the UTF-16 the script
// engine works in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pages {

// Decodes strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF, no
// truncated sequences) into UTF-16. NUL bytes are ordinary characters. A leading byte
// order mark is dropped. Returns false, leaving `out` unspecified, on any invalid byte.
bool utf8_to_utf16(const unsigned char* bytes, size_t length, std::u16string& out);

// Encodes UTF-16 as UTF-8; a surrogate without its partner becomes U+FFFD.
std::string utf16_to_utf8(const char16_t* units, size_t length);

}  // namespace pages
