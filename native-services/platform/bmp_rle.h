// Run-length encoded Windows bitmaps (BI_RLE8, BI_RLE4), which Leptonica does not read.
#pragma once

#include "pix.h"

#include <cstddef>
#include <cstdint>

namespace lv {

// True when the bytes are a BMP file whose pixels are run-length encoded.
bool is_rle_bmp(const std::uint8_t *bytes, std::size_t count);

// A 32 bpp RGB image, or null when the file is damaged or larger than `max_pixels`.
PixPtr decode_rle_bmp(const std::uint8_t *bytes, std::size_t count, long long max_pixels);

}  // namespace lv
