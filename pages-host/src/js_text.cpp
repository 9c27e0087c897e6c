#include "js_text.h"

#include <algorithm>

#include "file_io.h"
#include "utf.h"

namespace pages {

JSStringRef js_string_from_utf8(const std::string& bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t length = bytes.size();
  if (length >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) data += 3, length -= 3;
  // ASCII text without NUL goes to the engine as it is, and the engine keeps it at one
  // byte per character. Anything else is decoded here, strictly and faster than the
  // engine's own decoder would.
  const auto* end = data + length;
  if (std::find_if(data, end, [](unsigned char c) { return c == 0 || c >= 0x80; }) == end)
    return JSStringCreateWithUTF8CString(reinterpret_cast<const char*>(data));
  std::u16string units;
  if (!utf8_to_utf16(data, length, units)) return nullptr;
  return JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(units.data()), units.size());
}

text_result read_utf8_text(const char* path, size_t max_bytes, js_string& text) {
  std::string bytes;
  switch (read_file_capped(path, max_bytes, bytes)) {
    case read_result::ok: break;
    case read_result::unreadable: return text_result::unreadable;
    case read_result::too_large: return text_result::too_large;
  }
  text = js_string(js_string_from_utf8(bytes));
  return text ? text_result::ok : text_result::not_utf8;
}

}  // namespace pages
