// Strict Base64 decoding for the script's atob.
#pragma once

#include <cstddef>
#include <string>

namespace pages {

// Decodes standard Base64 (A-Z a-z 0-9 + /). The input must be whole quads: its length a
// multiple of four, with "=" padding only in the last quad and at most two of them.
// Anything else, whitespace and line breaks included, fails. Bits left over in the last
// character are ignored. Input arrives as UTF-16 units because that is what the engine
// holds. Returns false on failure.
bool base64_decode_strict(const char16_t* text, size_t length, std::string& out);

}  // namespace pages
