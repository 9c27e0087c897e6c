// Owned Leptonica images and the plain pixel planes that the detectors read.
#pragma once

#include <leptonica/allheaders.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace lv {

struct PixDeleter {
    void operator()(PIX *pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

// Row-major 8-bit luminance, one byte per pixel, rows packed without padding.
struct GrayPlane {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// `pix` is 8 bpp grayscale or 32 bpp RGB, as decode_image delivers it.
GrayPlane gray_plane(PIX *pix);

}  // namespace lv
