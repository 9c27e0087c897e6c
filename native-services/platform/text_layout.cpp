#include "text_layout.h"

#include <algorithm>

namespace lv {
namespace {

// A vertical corridor this many glyph heights wide (about two and a half em) separates columns;
// the spaces between words are a fraction of one.
constexpr int column_gap_glyphs = 4;
// A horizontal corridor this many glyph heights high separates paragraphs or bands; the
// spacing between the lines of one paragraph is smaller.
constexpr int band_gap_glyphs = 3;

struct PixDeleterBoxa {
    void operator()(BOXA *boxa) const { boxaDestroy(&boxa); }
};

// One bit per pixel, true where there is ink (darker than mid-grey).
class InkMap {
public:
    explicit InkMap(PIX *image) {
        PixPtr gray(pixConvertTo8(image, 0));
        if (gray) binary_.reset(pixThresholdToBinary(gray.get(), 128));
        if (!binary_) return;
        width_ = pixGetWidth(binary_.get());
        height_ = pixGetHeight(binary_.get());
        data_ = pixGetData(binary_.get());
        words_per_line_ = pixGetWpl(binary_.get());
    }
    bool valid() const { return data_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    PIX *pix() const { return binary_.get(); }
    bool ink(int x, int y) const { return GET_DATA_BIT(data_ + static_cast<size_t>(y) * words_per_line_, x) != 0; }

    // Ink counts across the box, per column (vertical) or per row.
    std::vector<int> profile(const PixelBox &box, bool per_column) const {
        std::vector<int> counts(per_column ? box.width() : box.height(), 0);
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                if (ink(x, y)) ++counts[per_column ? x - box.left : y - box.top];
        return counts;
    }

private:
    PixPtr binary_;
    int width_ = 0, height_ = 0;
    l_uint32 *data_ = nullptr;
    int words_per_line_ = 0;
};

int median_glyph_height(PIX *binary) {
    std::unique_ptr<BOXA, PixDeleterBoxa> boxes(pixConnCompBB(binary, 8));
    if (!boxes) return 0;
    std::vector<int> heights;
    for (l_int32 i = 0; i < boxaGetCount(boxes.get()); ++i) {
        l_int32 x, y, w, h;
        if (boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h) == 0 && h >= 3) heights.push_back(h);
    }
    if (heights.empty()) return 0;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

// Narrows the box to its ink; an empty box when it holds none.
PixelBox ink_bounds(const InkMap &map, const PixelBox &box) {
    const std::vector<int> columns = map.profile(box, true);
    const std::vector<int> rows = map.profile(box, false);
    PixelBox tight = box;
    while (tight.left < tight.right && columns[tight.left - box.left] == 0) ++tight.left;
    while (tight.right > tight.left && columns[tight.right - 1 - box.left] == 0) --tight.right;
    while (tight.top < tight.bottom && rows[tight.top - box.top] == 0) ++tight.top;
    while (tight.bottom > tight.top && rows[tight.bottom - 1 - box.top] == 0) --tight.bottom;
    if (tight.left >= tight.right || tight.top >= tight.bottom) return PixelBox{};
    return tight;
}

// Splits [0, counts.size()) at every blank run at least `min_gap` long; the pieces in order.
std::vector<std::pair<int, int>> split_at_gaps(const std::vector<int> &counts, int min_gap) {
    std::vector<std::pair<int, int>> pieces;
    int start = 0, blank = 0;
    for (int i = 0; i < static_cast<int>(counts.size()); ++i) {
        if (counts[i] == 0) {
            ++blank;
            continue;
        }
        if (blank >= min_gap && i - blank > start) {
            pieces.emplace_back(start, i - blank);
            start = i;
        }
        blank = 0;
    }
    pieces.emplace_back(start, static_cast<int>(counts.size()));
    return pieces;
}

// Recursive cut: columns first, then bands, until neither corridor is left.
void cut(const InkMap &map, PixelBox box, int glyph, int depth, std::vector<PixelBox> &blocks) {
    box = ink_bounds(map, box);
    if (box.width() == 0) return;
    if (depth < 32) {
        for (bool per_column : {true, false}) {
            const int gap = glyph * (per_column ? column_gap_glyphs : band_gap_glyphs);
            const auto pieces = split_at_gaps(map.profile(box, per_column), gap);
            if (pieces.size() < 2) continue;
            for (const auto &[from, to] : pieces) {
                PixelBox piece = box;
                if (per_column) {
                    piece.left = box.left + from;
                    piece.right = box.left + to;
                } else {
                    piece.top = box.top + from;
                    piece.bottom = box.top + to;
                }
                cut(map, piece, glyph, depth + 1, blocks);
            }
            return;
        }
    }
    blocks.push_back(box);
}

}  // namespace

TextLayout find_text_layout(PIX *image) {
    TextLayout layout;
    const InkMap map(image);
    if (!map.valid()) return layout;
    layout.glyph_height = median_glyph_height(map.pix());
    const PixelBox page{0, 0, map.width(), map.height()};
    if (layout.glyph_height == 0) {
        // Nothing shaped like text: the recogniser looks at the whole page.
        layout.blocks.push_back(page);
        return layout;
    }
    cut(map, page, layout.glyph_height, 0, layout.blocks);
    return layout;
}

}  // namespace lv
