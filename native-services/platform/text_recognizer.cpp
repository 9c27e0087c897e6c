#include "text_recognizer.h"

#include "engine_pool.h"
#include "text_layout.h"
#include "text_lines.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <omp.h>

#include <algorithm>
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
    // Each block the page layout finds is read as one uniform block. The recogniser's own page
    // analysis is not used: it splits lines at aligned tab stops, glues the rows of neighbouring
    // columns, and takes letters that line up from row to row for a ruled line and erases them.
    engine->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
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

// White around the text: the recogniser finds no line in glyphs cut tight to the image edge.
int block_margin(int glyph_height) { return std::max(24, 2 * glyph_height); }

PixPtr padded_block(PIX *image, const PixelBox &block, int margin) {
    BOX *raw_box = boxCreate(block.left, block.top, block.width(), block.height());
    if (!raw_box) return nullptr;
    PixPtr clip(pixClipRectangle(image, raw_box, nullptr));
    boxDestroy(&raw_box);
    if (!clip) return nullptr;
    // Every byte white, the unused fourth one of 32 bpp pixels included (see the decoder).
    const l_uint32 white = pixGetDepth(clip.get()) == 32 ? 0xffffffffu : 0xffu;
    return PixPtr(pixAddBorder(clip.get(), margin, white));
}

// Recognises one block and appends its words, in the page's pixel coordinates.
bool read_block_words(tesseract::TessBaseAPI &engine, PIX *image, const PixelBox &block, int margin,
                      std::vector<RecognizedWord> &words) {
    PixPtr padded = padded_block(image, block, margin);
    if (!padded) return false;
    engine.SetImage(padded.get());
    if (engine.Recognize(nullptr) != 0) return false;
    std::unique_ptr<tesseract::ResultIterator> word(engine.GetIterator());
    if (!word) return true;  // nothing recognised
    const int width = static_cast<int>(pixGetWidth(image));
    const int height = static_cast<int>(pixGetHeight(image));
    do {
        if (word->Empty(tesseract::RIL_WORD)) continue;
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!word->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom)) continue;
        std::unique_ptr<char[]> utf8(word->GetUTF8Text(tesseract::RIL_WORD));
        std::string text = trimmed(utf8.get());
        if (text.empty()) continue;
        const int dx = block.left - margin, dy = block.top - margin;
        RecognizedWord recognized;
        recognized.text = std::move(text);
        recognized.confidence = std::clamp(word->Confidence(tesseract::RIL_WORD) / 100.0f, 0.0f, 1.0f);
        recognized.box = PixelBox{std::clamp(left + dx, 0, width), std::clamp(top + dy, 0, height),
                                  std::clamp(right + dx, 0, width), std::clamp(bottom + dy, 0, height)};
        if (recognized.box.width() <= 0 || recognized.box.height() <= 0) continue;
        words.push_back(std::move(recognized));
    } while (word->Next(tesseract::RIL_WORD));
    return true;
}

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

    const TextLayout layout = find_text_layout(image);
    const int margin = block_margin(layout.glyph_height);
    const long width = pixGetWidth(image);
    const long height = pixGetHeight(image);
    // Inside a block a line may hold wide gaps (a form's label and value): only very wide ones,
    // far beyond the corridors that separate columns, end it.
    const int max_gap = layout.glyph_height > 0 ? 10 * layout.glyph_height : static_cast<int>(width);
    const double minimum_height = static_cast<double>(request.minimum_text_height) * height;
    for (const PixelBox &block : layout.blocks) {
        std::vector<RecognizedWord> words;
        if (!read_block_words(*engine.get(), image, block, margin, words)) {
            error.localized_description = recognition_failed;
            return false;
        }
        for (RecognizedLine &line : build_lines(std::move(words), max_gap)) {
            if (line.box.height() < minimum_height) continue;
            TextObservation observation;
            observation.top_candidates.push_back({std::move(line.text), line.confidence});
            observation.bounding_box =
                normalized_from_pixels(line.box.left, line.box.top, line.box.right, line.box.bottom, width, height);
            observations.push_back(std::move(observation));
        }
    }
    return true;
}

}  // namespace lv
