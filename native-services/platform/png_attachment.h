// Attachments as PNG pictures, through Leptonica.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace lv::rich {

struct PngImage {
    std::vector<std::uint8_t> bytes;
    int width = 0;   // pixels
    int height = 0;
};

// The attachment's bytes decoded as an image and encoded as PNG; nothing when they are not an
// image Leptonica reads.
std::optional<PngImage> attachment_png(const std::vector<std::uint8_t> &bytes);

}  // namespace lv::rich
