// Reading a regular file whole, with a bound on its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lv {

// The whole file, or nothing when it cannot be read, is no regular file or holds more than
// `limit` bytes.
std::optional<std::vector<std::uint8_t>> read_whole_file(const std::string &path, std::size_t limit);

}  // namespace lv
