#include "base64.h"

#include <cstdint>

namespace pages {

namespace {

// Value of one alphabet character, or -1.
int sextet(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a' + 26;
  if (c >= u'0' && c <= u'9') return c - u'0' + 52;
  if (c == u'+') return 62;
  if (c == u'/') return 63;
  return -1;
}

}  // namespace

bool base64_decode_strict(const char16_t* text, size_t length, std::string& out) {
  out.clear();
  if (length % 4 != 0) return false;
  out.reserve(length / 4 * 3);
  for (size_t i = 0; i < length; i += 4) {
    const bool last = i + 4 == length;
    size_t padding = 0;
    if (last && text[i + 3] == u'=') padding = text[i + 2] == u'=' ? 2 : 1;
    uint32_t quad = 0;
    for (size_t k = 0; k < 4 - padding; ++k) {
      const int value = sextet(text[i + k]);
      if (value < 0) return false;
      quad = quad << 6 | static_cast<uint32_t>(value);
    }
    quad <<= 6 * padding;
    out.push_back(static_cast<char>(quad >> 16));
    if (padding < 2) out.push_back(static_cast<char>(quad >> 8 & 0xFF));
    if (padding < 1) out.push_back(static_cast<char>(quad & 0xFF));
  }
  return true;
}

}  // namespace pages
