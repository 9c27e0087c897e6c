// Rectangles as the recognisers report them: fractions of the image (0 to 1) with the origin at
// the bottom-left corner.
#pragma once

#include <algorithm>
#include <cmath>

namespace lv {

struct NormalizedRect {
    double x = 0;
    double y = 0;  // bottom edge, measured up from the bottom
    double width = 0;
    double height = 0;
};

// Turns a pixel box (top-left origin, right and bottom exclusive) into a normalised
// bottom-left rectangle, clipped to the image.
inline NormalizedRect normalized_from_pixels(long left, long top, long right, long bottom,
                                             long image_width, long image_height) {
    left = std::clamp(left, 0L, image_width);
    right = std::clamp(right, 0L, image_width);
    top = std::clamp(top, 0L, image_height);
    bottom = std::clamp(bottom, 0L, image_height);
    const double w = static_cast<double>(image_width);
    const double h = static_cast<double>(image_height);
    NormalizedRect rect;
    rect.x = left / w;
    rect.width = std::max(0L, right - left) / w;
    rect.height = std::max(0L, bottom - top) / h;
    rect.y = (image_height - std::max(top, bottom)) / h;
    return rect;
}

// The rectangle's top edge measured down from the top: 1 - y - height. The sum of two fractions
// rarely cancels exactly, so a rectangle touching the top edge is snapped to 0.
inline double top_down_y(const NormalizedRect &rect) {
    const double top = 1.0 - rect.y - rect.height;
    return std::fabs(top) < 1e-9 ? 0.0 : top;
}

}  // namespace lv
