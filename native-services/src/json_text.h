// Result texts in the form the host reads: compact JSON, raw UTF-8, "/" written as "\/",
// in a NUL-terminated string from the C allocator.
#pragma once

#include <nlohmann/json.hpp>

namespace lv {

// The JSON text of `value`, or null when it could not be made.
char *json_result_text(const nlohmann::json &value) noexcept;

// A number as the shortest text that reads back as the same single-precision value.
double single_precision(float value);

}  // namespace lv
