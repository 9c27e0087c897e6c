// The caller's image bytes as the recognisers take them: checked, then decoded in place.
#pragma once

#include "../platform/image_decoder.h"

#include <cstdint>

namespace lv {

// Null when the pointer and count do not describe readable bytes, or they are no image.
inline PixPtr decode_caller_image(const void *bytes, std::int32_t byte_count) {
    if (!bytes || byte_count <= 0) return nullptr;
    return decode_image(static_cast<const std::uint8_t *>(bytes), static_cast<std::size_t>(byte_count));
}

}  // namespace lv
