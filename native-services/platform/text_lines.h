// Lines as a reader sees them, built from the recogniser's words by their geometry: words that
// share a baseline band and follow each other at gaps small against the text height.
#pragma once

#include "text_layout.h"

#include <string>
#include <vector>

namespace lv {

struct RecognizedWord {
    std::string text;  // UTF-8, no surrounding spaces
    float confidence = 0;  // 0 to 1
    PixelBox box;
};

struct RecognizedLine {
    std::string text;  // the words joined by single spaces
    float confidence = 0;  // mean of the words' confidences
    PixelBox box;          // union of the words' boxes
};

// Groups the words of one block into lines, top to bottom. A word continues a line when its box
// overlaps the line's last word vertically by at least half the lower of the two, and the gap
// between them is under `max_gap` pixels.
std::vector<RecognizedLine> build_lines(std::vector<RecognizedWord> words, int max_gap);

}  // namespace lv
