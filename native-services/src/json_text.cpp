#include "json_text.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lv {

char *json_result_text(const nlohmann::json &value) noexcept {
    try {
        // Text that is not valid UTF-8 is repaired rather than refused.
        const std::string compact = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::string text;
        text.reserve(compact.size() + 16);
        // In compact output a solidus can only stand inside a string.
        for (char c : compact) {
            if (c == '/') text += '\\';
            text += c;
        }
        return strndup(text.data(), text.size());
    } catch (...) {
        return nullptr;
    }
}

double single_precision(float value) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    if (written.ec != std::errc()) return value;
    // from_chars, unlike strtod, ignores the host's locale.
    double widened = value;
    std::from_chars(digits, written.ptr, widened);
    return widened;
}

}  // namespace lv
