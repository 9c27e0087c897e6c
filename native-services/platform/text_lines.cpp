#include "text_lines.h"

#include <algorithm>

namespace lv {
namespace {

struct LineUnderWay {
    std::vector<const RecognizedWord *> words;
    const RecognizedWord &last() const { return *words.back(); }
};

// Vertical overlap of two boxes as a share of the lower one's height.
double vertical_overlap(const PixelBox &a, const PixelBox &b) {
    const int overlap = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    const int lower = std::max(1, std::min(a.height(), b.height()));
    return overlap <= 0 ? 0.0 : static_cast<double>(overlap) / lower;
}

RecognizedLine finish(const LineUnderWay &line) {
    RecognizedLine out;
    out.box = line.words.front()->box;
    double confidence = 0;
    for (const RecognizedWord *word : line.words) {
        if (!out.text.empty()) out.text += ' ';
        out.text += word->text;
        confidence += word->confidence;
        out.box.left = std::min(out.box.left, word->box.left);
        out.box.top = std::min(out.box.top, word->box.top);
        out.box.right = std::max(out.box.right, word->box.right);
        out.box.bottom = std::max(out.box.bottom, word->box.bottom);
    }
    out.confidence = static_cast<float>(confidence / line.words.size());
    return out;
}

// Where the line stands vertically at its start: slanted scans drift along a line.
double line_middle(const LineUnderWay &line) {
    const PixelBox &first = line.words.front()->box;
    return (first.top + first.bottom) / 2.0;
}

// Dots and accents of large letters that the recogniser read as a row of their own: a small,
// unsure "line" in the upper half of, or just above, a line at least twice its height, within
// its width.
bool is_split_off_marks(const RecognizedLine &small, const std::vector<RecognizedLine> &lines) {
    if (small.confidence >= 0.7f) return false;
    for (const RecognizedLine &large : lines) {
        if (&large == &small || large.box.height() < 2 * small.box.height()) continue;
        const bool within = small.box.left >= large.box.left && small.box.right <= large.box.right;
        const bool on_top = small.box.bottom >= large.box.top - small.box.height() && small.box.bottom <= large.box.top + large.box.height() / 2;
        if (within && on_top) return true;
    }
    return false;
}

}  // namespace

std::vector<RecognizedLine> build_lines(std::vector<RecognizedWord> words, int max_gap) {
    std::stable_sort(words.begin(), words.end(),
                     [](const RecognizedWord &a, const RecognizedWord &b) { return a.box.left < b.box.left; });
    std::vector<LineUnderWay> lines;
    for (const RecognizedWord &word : words) {
        LineUnderWay *best = nullptr;
        double best_overlap = 0.5;
        for (LineUnderWay &line : lines) {
            const PixelBox &last = line.last().box;
            const int gap = word.box.left - last.right;
            // A word that starts well inside the last one belongs to another line.
            if (gap > max_gap || word.box.left < last.left + last.width() / 2) continue;
            const double overlap = vertical_overlap(word.box, last);
            if (overlap >= best_overlap) {
                best_overlap = overlap;
                best = &line;
            }
        }
        if (best)
            best->words.push_back(&word);
        else
            lines.push_back(LineUnderWay{{&word}});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const LineUnderWay &a, const LineUnderWay &b) { return line_middle(a) < line_middle(b); });
    std::vector<RecognizedLine> built;
    built.reserve(lines.size());
    for (const LineUnderWay &line : lines) built.push_back(finish(line));
    std::vector<RecognizedLine> kept;
    for (const RecognizedLine &line : built)
        if (!is_split_off_marks(line, built)) kept.push_back(line);
    return kept;
}

}  // namespace lv
