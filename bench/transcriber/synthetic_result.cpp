// A synthetic engine result behind the engine's result accessors, so that the writers can
// be timed on a transcript of any size without a model: the bench links the writers
// against these definitions instead of the engine library.
#include "synthetic_result.h"

#include "whisper.h"

#include <string>
#include <vector>

namespace {

struct segment {
    int64_t t0, t1;
    std::string text;
    std::vector<whisper_token_data> tokens;
    std::vector<std::string> token_texts;
};

std::vector<segment> g_segments;
const whisper_token k_eot = 50256;
const char * const k_words[] = {" the", " quick", " brown", " fox", " jumps", " over", " a", " lazy", " dog", ","};

} // namespace

void synthetic_result_make(int n_segments, int n_tokens) {
    g_segments.clear();
    int64_t t = 0;
    for (int i = 0; i < n_segments; i++) {
        segment s{t, 0, "", {}, {}};
        for (int j = 0; j < n_tokens; j++) {
            const std::string word = k_words[(i * 7 + j) % 10];
            whisper_token_data d{};
            d.id = (i * 31 + j) % 50000;
            d.p = 0.5f + 0.5f * float((i + j) % 10) / 10.0f;
            d.t0 = t;
            d.t1 = t + 20;
            d.t_dtw = -1;
            t += 20;
            s.text += word;
            s.tokens.push_back(d);
            s.token_texts.push_back(word);
        }
        s.t1 = t;
        g_segments.push_back(std::move(s));
    }
}

extern "C" {

int whisper_full_n_segments(whisper_context *) { return (int) g_segments.size(); }
int64_t whisper_full_get_segment_t0(whisper_context *, int i) { return g_segments[i].t0; }
int64_t whisper_full_get_segment_t1(whisper_context *, int i) { return g_segments[i].t1; }
const char * whisper_full_get_segment_text(whisper_context *, int i) { return g_segments[i].text.c_str(); }
bool whisper_full_get_segment_speaker_turn_next(whisper_context *, int) { return false; }
int whisper_full_n_tokens(whisper_context *, int i) { return (int) g_segments[i].tokens.size(); }
whisper_token_data whisper_full_get_token_data(whisper_context *, int i, int j) { return g_segments[i].tokens[j]; }
const char * whisper_full_get_token_text(whisper_context *, int i, int j) { return g_segments[i].token_texts[j].c_str(); }
float whisper_full_get_token_p(whisper_context *, int i, int j) { return g_segments[i].tokens[j].p; }
whisper_token whisper_token_eot(whisper_context *) { return k_eot; }

// Token texts by id: the writers look them up this way in two places.
const char * whisper_token_to_str(whisper_context *, whisper_token id) {
    return k_words[(id % 50000) % 10];
}

const char * whisper_print_system_info(void) { return "SYNTHETIC"; }
const char * whisper_model_type_readable(whisper_context *) { return "base"; }
int whisper_is_multilingual(whisper_context *) { return 0; }
int whisper_model_n_vocab(whisper_context *) { return 51864; }
int whisper_model_n_audio_ctx(whisper_context *) { return 1500; }
int whisper_model_n_audio_state(whisper_context *) { return 512; }
int whisper_model_n_audio_head(whisper_context *) { return 8; }
int whisper_model_n_audio_layer(whisper_context *) { return 6; }
int whisper_model_n_text_ctx(whisper_context *) { return 448; }
int whisper_model_n_text_state(whisper_context *) { return 512; }
int whisper_model_n_text_head(whisper_context *) { return 8; }
int whisper_model_n_text_layer(whisper_context *) { return 6; }
int whisper_model_n_mels(whisper_context *) { return 80; }
int whisper_model_ftype(whisper_context *) { return 1; }
int whisper_full_lang_id(whisper_context *) { return 0; }
const char * whisper_lang_str(int) { return "en"; }

// Used by the parameter record's constructor.
whisper_full_params whisper_full_default_params(enum whisper_sampling_strategy) {
    whisper_full_params p{};
    p.greedy.best_of = 5;
    p.beam_search.beam_size = 5;
    return p;
}
const char * whisper_version(void) { return "synthetic"; }

}
