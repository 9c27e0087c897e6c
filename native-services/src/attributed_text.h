// The two steps every document conversion shares: bytes of a pasteboard type read into a
// rich-text document, and a document saved as a DOCX file.
#pragma once

#include "../platform/rich_text.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lv {

// "RTF " and "public.rtf" read as RTF; the plain-text types by their encoding; any other type
// as UTF-8. Nothing when the bytes cannot be read that way.
std::optional<rich::Document> lv_attributed(const std::uint8_t *bytes, std::size_t count, const char *type);

// 1 when the document (none gives 0) was written to `path` as DOCX, atomically; else 0.
int lv_save_docx(const std::optional<rich::Document> &document, const char *path);

}  // namespace lv
