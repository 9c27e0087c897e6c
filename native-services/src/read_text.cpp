// lv_read_text and lv_free_text: the text lines of an image as a JSON result text.
#include "lumivane_image.h"

#include "../platform/text_recognizer.h"
#include "image_bytes.h"
#include "json_text.h"

#include <cstdlib>

namespace {

constexpr const char *text_failure = "Não foi possível reconhecer o texto.";

nlohmann::json line_object(const lv::TextObservation &observation) {
    const lv::RecognizedText &best = observation.top_candidates.front();
    const lv::NormalizedRect &box = observation.bounding_box;
    return {
        {"Texto", best.string},
        {"Confianca", lv::single_precision(best.confidence)},
        {"Area",
         {{"X", box.x}, {"Y", lv::top_down_y(box)}, {"Largura", box.width}, {"Altura", box.height}}},
    };
}

nlohmann::json recognise(const void *bytes, std::int32_t byte_count) {
    lv::PlatformError error;
    std::vector<lv::TextObservation> observations;
    lv::PixPtr image = lv::decode_caller_image(bytes, byte_count);
    const lv::TextRequest request{{"pt-BR", "en-US", "es-ES"}, true, 0.003f};
    if (!image || !lv::perform_text_request(image.get(), request, observations, error)) {
        const std::string &description = error.localized_description;
        return {{"Erro", description.empty() ? text_failure : description}};
    }
    nlohmann::json lines = nlohmann::json::array();
    for (const lv::TextObservation &observation : observations) {
        if (observation.top_candidates.empty() || observation.top_candidates.front().string.empty()) continue;
        lines.push_back(line_object(observation));
    }
    return {{"Linhas", std::move(lines)}};
}

}  // namespace

extern "C" char *lv_read_text(const void *bytes, std::int32_t byte_count) {
    try {
        return lv::json_result_text(recognise(bytes, byte_count));
    } catch (...) {
        // Out of memory or a recogniser fault: still a failure the host can show.
        return lv::json_result_text({{"Erro", text_failure}});
    }
}

extern "C" void lv_free_text(char *text) { std::free(text); }
