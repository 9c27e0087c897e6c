// Whole-file writes that never leave a partial file: a temporary file in the destination's
// folder, written, flushed to disk and renamed over the destination.
#pragma once

#include <cstddef>
#include <string>

namespace lv {

bool write_file_atomically(const std::string &path, const void *bytes, std::size_t count);

}  // namespace lv
