// Decodes the caller's encoded image bytes in place, without copying them.
#pragma once

#include "pix.h"

#include <cstddef>

namespace lv {

// Reads PNG, JPEG, TIFF, GIF, WebP, BMP, PNM and JPEG 2000 through Leptonica, HEIC/HEIF through
// libheif, run-length encoded BMP on its own; of a multi-image file, the first (primary) image.
// Pictures come upright, as a viewer shows them (JPEG EXIF orientation, HEIF transformations).
// Returns an 8 bpp grayscale or a 32 bpp RGB image with any transparency flattened onto white,
// or null when the bytes are not a decodable image.
PixPtr decode_image(const std::uint8_t *bytes, std::size_t count);

// The same formats and image, with the pixels as the file stores them, for re-encoding: no
// orientation applied (neither JPEG EXIF orientation nor HEIF transformations) and
// transparency kept. Returns a 32 bpp RGB image, with 4 samples per pixel when the file carries
// transparency, or null when the bytes are not a decodable image.
PixPtr decode_image_as_stored(const std::uint8_t *bytes, std::size_t count);

}  // namespace lv
