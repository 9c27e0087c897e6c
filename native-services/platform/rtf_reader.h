// Reads an RTF document into the rich-text model: the dialect macOS writes (Cocoa RTF with
// \expandedcolortbl and \NeXTGraphic attachments) and what word processors and converters
// write (font tables with charsets, \uN, fields, \pict pictures).
#pragma once

#include "rich_text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lv::rich {

// Supplies the bytes of an attachment named by \NeXTGraphic, or nothing when there is none.
using AttachmentLoader = std::function<std::optional<std::vector<std::uint8_t>>(const std::string &file_name)>;

// Groups nest at most this deep; a deeper document is refused.
constexpr int rtf_max_group_depth = 512;

// No document when the bytes do not start an RTF group ("{\rtf") or nest too deep. Reads only
// [bytes, bytes + count).
std::optional<Document> read_rtf(const std::uint8_t *bytes, std::size_t count,
                                 const AttachmentLoader &load_attachment = {});

}  // namespace lv::rich
