// Text conversions between the UTF-8 the host hands us and the UTF-16 the script engine
// works in. UTF-8 here is strict: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequences. NUL bytes are ordinary characters.
#pragma once

#include <cstddef>
#include <string>

namespace pages {

// Decodes strict UTF-8 into UTF-16; returns false, leaving `out` unspecified, on any
// invalid byte.
bool utf8_to_utf16(const unsigned char* bytes, size_t length, std::u16string& out);

// Encodes UTF-16 as UTF-8; a surrogate without its partner becomes U+FFFD.
std::string utf16_to_utf8(const char16_t* units, size_t length);

}  // namespace pages
