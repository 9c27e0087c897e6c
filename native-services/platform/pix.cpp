#include "pix.h"

namespace lv {

GrayPlane gray_plane(PIX *pix) {
    GrayPlane plane;
    plane.width = static_cast<int>(pixGetWidth(pix));
    plane.height = static_cast<int>(pixGetHeight(pix));
    plane.pixels.resize(static_cast<size_t>(plane.width) * static_cast<size_t>(plane.height));
    const l_int32 depth = pixGetDepth(pix);
    const l_int32 words_per_line = pixGetWpl(pix);
    const l_uint32 *data = pixGetData(pix);
    for (int y = 0; y < plane.height; ++y) {
        const l_uint32 *line = data + static_cast<size_t>(y) * words_per_line;
        std::uint8_t *out = plane.pixels.data() + static_cast<size_t>(y) * plane.width;
        if (depth == 8) {
            for (int x = 0; x < plane.width; ++x) out[x] = static_cast<std::uint8_t>(GET_DATA_BYTE(line, x));
        } else {
            for (int x = 0; x < plane.width; ++x) {
                const l_uint32 word = line[x];
                const unsigned r = (word >> L_RED_SHIFT) & 0xff;
                const unsigned g = (word >> L_GREEN_SHIFT) & 0xff;
                const unsigned b = (word >> L_BLUE_SHIFT) & 0xff;
                // ITU-R BT.601 luma, integer form.
                out[x] = static_cast<std::uint8_t>((r * 306 + g * 601 + b * 117 + 512) >> 10);
            }
        }
    }
    return plane;
}

}  // namespace lv
