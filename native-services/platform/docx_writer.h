// Writes the rich-text model as an Office Open XML word-processing package (DOCX), in memory.
#pragma once

#include "rich_text.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace lv::rich {

// The package bytes, or nothing when the package could not be made. Image attachments are
// stored as PNG media; attachments that are not images are left out.
std::optional<std::vector<std::uint8_t>> write_docx(const Document &document);

}  // namespace lv::rich
