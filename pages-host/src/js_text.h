// Engine strings made from the UTF-8 files the host hands over.
#pragma once

#include <JavaScriptCore/JavaScript.h>

#include <cstddef>
#include <string>

#include "js_handles.h"

namespace pages {

// An engine string holding the text of `bytes`, with a leading byte order mark dropped;
// null when the bytes are not strict UTF-8. The caller releases it.
JSStringRef js_string_from_utf8(const std::string& bytes);

enum class text_result { ok, unreadable, too_large, not_utf8 };

// Reads the file at `path` (at most `max_bytes`) as UTF-8 text into `text`. The file's
// bytes are let go as soon as the engine string holds them.
text_result read_utf8_text(const char* path, size_t max_bytes, js_string& text);

}  // namespace pages
