// Writes images as HEIC files with libheif's HEVC encoder (x265).
#pragma once

#include "pix.h"

namespace lv {

// Whether libheif offers an HEVC encoder in this process.
bool heic_encoder_available();

// Encodes `pix` (32 bpp RGB; 4 samples per pixel keep its transparency as an alpha plane) as
// the only image of a HEIC file at `quality` (0 smallest .. 100 best) and puts the file at
// `path` completely or not at all. Nothing but the pixels is written: no orientation, no
// metadata, no thumbnail.
bool write_heic_file(PIX *pix, int quality, const char *path);

}  // namespace lv
