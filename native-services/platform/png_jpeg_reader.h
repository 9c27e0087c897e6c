// PNG and JPEG decoding with the decoders' messages kept to ourselves: libpng and libjpeg print
// warnings ("iCCP: known incorrect sRGB profile", "Premature end of JPEG file") on standard
// error unless the caller installs its own handlers, which Leptonica's readers do not.
#pragma once

#include "pix.h"

#include <cstddef>

namespace lv {

bool looks_like_png(const std::uint8_t *bytes, std::size_t count);
bool looks_like_jpeg(const std::uint8_t *bytes, std::size_t count);

// 8 bpp gray, or 32 bpp RGB(A) with 4 samples per pixel when the file has transparency; null
// when the bytes are damaged or the image holds more than `max_pixels`. A JPEG the decoder
// had to patch up (truncated or corrupt data) is refused too. The result's input format is
// set (IFF_PNG, IFF_JFIF_JPEG).
PixPtr decode_png(const std::uint8_t *bytes, std::size_t count, long long max_pixels);
PixPtr decode_jpeg(const std::uint8_t *bytes, std::size_t count, long long max_pixels);

}  // namespace lv
