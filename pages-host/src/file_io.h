// Whole-file reads with a size cap, and atomic whole-file writes.
#pragma once

#include <cstddef>
#include <string>

namespace pages {

enum class read_result { ok, unreadable, too_large };

// Reads the file at `path` whole into `out`. Never holds more than `max_bytes` + 1 bytes,
// so an oversized file (or an endless one such as a pipe) is refused without being
// loaded.
read_result read_file_capped(const char* path, size_t max_bytes, std::string& out);

// Replaces the file at `path` with `length` bytes from `data`, or leaves it as it was.
// The bytes go to a temporary file in the same directory, which is flushed to disk and
// then renamed over `path`; on failure the temporary is removed.
bool write_file_atomically(const char* path, const void* data, size_t length);

}  // namespace pages
