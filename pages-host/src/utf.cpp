#include "utf.h"

#include <cstdint>

namespace pages {

namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void append_code_point(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Walks strict UTF-8, handing each code point to `emit`; false at the first invalid byte.
template <typename Emit>
bool decode_utf8(const unsigned char* bytes, size_t length, Emit emit) {
  size_t i = 0;
  while (i < length) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      emit(lead);
      ++i;
      continue;
    }
    size_t extra;
    uint32_t cp, min;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      return false;  // stray continuation byte, overlong lead C0/C1, or F5..FF
    }
    if (length - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if (!is_continuation(bytes[i + k])) return false;
      cp = (cp << 6) | (bytes[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    emit(cp);
    i += extra + 1;
  }
  return true;
}

}  // namespace

bool utf8_to_utf16(const unsigned char* bytes, size_t length, std::u16string& out) {
  out.clear();
  out.reserve(length);  // one unit per byte is the most UTF-8 can need
  return decode_utf8(bytes, length, [&out](uint32_t cp) { append_code_point(out, cp); });
}

std::string utf16_to_utf8(const char16_t* units, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace pages
