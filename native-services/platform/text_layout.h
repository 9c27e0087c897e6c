// Where the text blocks of a page lie, and in which order a reader takes them: the page is cut
// along white corridors, columns left to right and bands top to bottom, so that no block spans
// a column gap.
#pragma once

#include "pix.h"

#include <vector>

namespace lv {

// A pixel rectangle with the origin at the top-left corner; right and bottom are exclusive.
struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

struct TextLayout {
    std::vector<PixelBox> blocks;  // reading order; empty when the page has no ink
    int glyph_height = 0;          // median height of the ink's connected shapes, in pixels
};

// `image` is 8 bpp grayscale or 32 bpp RGB.
TextLayout find_text_layout(PIX *image);

}  // namespace lv
