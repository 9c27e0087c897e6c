// Reads an RTFD document: a folder holding TXT.rtf and the attachment files it names.
#pragma once

#include "rich_text.h"

#include <optional>
#include <string>

namespace lv::rich {

// No document when the folder or its TXT.rtf cannot be read as RTF. An attachment whose file is
// missing, or whose name would lead outside the folder, is left out.
std::optional<Document> read_rtfd(const std::string &folder);

}  // namespace lv::rich
