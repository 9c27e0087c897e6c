#include "text_recognizer.h"

#include "engine_pool.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <omp.h>

#include <map>
#include <mutex>

namespace lv {
namespace {

constexpr const char *models_missing = "Não foi possível carregar os modelos de reconhecimento de texto.";
constexpr const char *recognition_failed = "O reconhecimento de texto falhou.";

// Locale names to the recogniser's model names.
std::string model_names(const std::vector<std::string> &locales) {
    static const std::map<std::string, std::string> models = {
        {"pt-BR", "por"}, {"pt-PT", "por"}, {"en-US", "eng"}, {"en-GB", "eng"}, {"es-ES", "spa"}, {"es-MX", "spa"},
    };
    std::string names;
    for (const std::string &locale : locales) {
        auto found = models.find(locale);
        if (found == models.end()) continue;
        if (!names.empty()) names += '+';
        names += found->second;
    }
    return names.empty() ? "eng" : names;
}

std::unique_ptr<tesseract::TessBaseAPI> start_engine(const std::string &models, bool language_correction) {
    // Loading models touches process-wide tables of the recogniser: start one engine at a time.
    static std::mutex start_mutex;
    static bool first_start = true;
    std::lock_guard<std::mutex> lock(start_mutex);

    std::vector<std::string> names = {"load_system_dawg", "load_freq_dawg"};
    std::vector<std::string> values(2, language_correction ? "1" : "0");
    if (first_start) {
        // The recogniser's diagnostics would otherwise land on the host's standard error.
        names.push_back("debug_file");
        values.push_back("/dev/null");
    }
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    if (engine->Init(nullptr, models.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0)
        return nullptr;
    first_start = false;
    engine->SetPageSegMode(tesseract::PSM_AUTO);
    return engine;
}

using TextEnginePool = EnginePool<tesseract::TessBaseAPI>;

TextEnginePool &pool_for(const std::string &models, bool language_correction) {
    static std::mutex mutex;
    // Never destroyed: a call still running while the process exits must find its pool.
    static auto *pools = new std::map<std::string, std::unique_ptr<TextEnginePool>>();
    const std::string key = models + (language_correction ? "|dict" : "|raw");
    std::lock_guard<std::mutex> lock(mutex);
    auto &pool = (*pools)[key];
    if (!pool) {
        pool = std::make_unique<TextEnginePool>(
            [models, language_correction] { return start_engine(models, language_correction); },
            TextEnginePool::default_max_idle());
    }
    return *pool;
}

std::string trimmed(const char *text) {
    std::string line = text ? text : "";
    const char *space = " \t\r\n\f\v";
    const auto first = line.find_first_not_of(space);
    if (first == std::string::npos) return {};
    const auto last = line.find_last_not_of(space);
    return line.substr(first, last - first + 1);
}

// The recogniser splits its network evaluation over OpenMP threads. Calls arrive on the host's
// worker threads, often several at once, where that splitting costs more than it gains (three
// times slower on a busy two-core machine): the calling thread runs the recognition alone. The
// setting belongs to the calling thread only and is given back when the call ends.
class SingleThreadedRecognition {
public:
    SingleThreadedRecognition() : saved_levels_(omp_get_max_active_levels()) { omp_set_max_active_levels(0); }
    ~SingleThreadedRecognition() { omp_set_max_active_levels(saved_levels_); }
    SingleThreadedRecognition(const SingleThreadedRecognition &) = delete;
    SingleThreadedRecognition &operator=(const SingleThreadedRecognition &) = delete;

private:
    int saved_levels_;
};

struct EngineClear {
    tesseract::TessBaseAPI *engine;
    ~EngineClear() { engine->Clear(); }
};

}  // namespace

bool perform_text_request(PIX *image, const TextRequest &request, std::vector<TextObservation> &observations,
                          PlatformError &error) {
    observations.clear();
    auto engine = pool_for(model_names(request.recognition_languages), request.uses_language_correction).acquire();
    if (!engine) {
        error.localized_description = models_missing;
        return false;
    }
    EngineClear clear_on_exit{engine.get()};
    SingleThreadedRecognition single_threaded;
    engine->SetImage(image);
    if (engine->Recognize(nullptr) != 0) {
        error.localized_description = recognition_failed;
        return false;
    }

    const long width = pixGetWidth(image);
    const long height = pixGetHeight(image);
    const double minimum_height = static_cast<double>(request.minimum_text_height) * height;
    std::unique_ptr<tesseract::ResultIterator> line(engine->GetIterator());
    if (!line) return true;  // nothing recognised
    do {
        if (line->Empty(tesseract::RIL_TEXTLINE)) continue;
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!line->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) continue;
        if (bottom - top < minimum_height) continue;
        std::unique_ptr<char[]> utf8(line->GetUTF8Text(tesseract::RIL_TEXTLINE));
        std::string text = trimmed(utf8.get());
        if (text.empty()) continue;  // a line of nothing but spaces is no line

        TextObservation observation;
        float confidence = line->Confidence(tesseract::RIL_TEXTLINE) / 100.0f;
        confidence = confidence < 0 ? 0 : (confidence > 1 ? 1 : confidence);
        observation.top_candidates.push_back({std::move(text), confidence});
        observation.bounding_box = normalized_from_pixels(left, top, right, bottom, width, height);
        observations.push_back(std::move(observation));
    } while (line->Next(tesseract::RIL_TEXTLINE));
    return true;
}

}  // namespace lv
