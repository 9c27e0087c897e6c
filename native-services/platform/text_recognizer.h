// Text recognition over a decoded image: an ordered list of line observations, each with its
// best transcription, that transcription's confidence and a normalised bounding box.
#pragma once

#include "normalized_rect.h"
#include "pix.h"
#include "platform_error.h"

#include <string>
#include <vector>

namespace lv {

struct RecognizedText {
    std::string string;  // UTF-8
    float confidence = 0;  // 0 to 1
};

struct TextObservation {
    std::vector<RecognizedText> top_candidates;  // best first; at most one is kept
    NormalizedRect bounding_box;                 // bottom-left origin
};

struct TextRequest {
    // Locale names in order of preference ("pt-BR", "en-US", "es-ES"); empty means the
    // recogniser's default language.
    std::vector<std::string> recognition_languages;
    bool uses_language_correction = true;
    // Lines lower than this fraction of the image height are ignored.
    float minimum_text_height = 0;
};

// Runs the accurate (LSTM) recogniser and returns true with the lines in reading order, or
// false with `error` filled in.
bool perform_text_request(PIX *image, const TextRequest &request, std::vector<TextObservation> &observations,
                          PlatformError &error);

}  // namespace lv
