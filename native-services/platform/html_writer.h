// Writes the rich-text model as a complete HTML document in UTF-8 with inline styles. Each
// attachment appears as <img src="file:///NAME">, NAME percent-encoded like a URL path, for the
// caller to replace by the picture itself.
#pragma once

#include "rich_text.h"

#include <string>

namespace lv::rich {

std::string write_html(const Document &document);

}  // namespace lv::rich
