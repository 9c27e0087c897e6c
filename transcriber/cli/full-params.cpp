#include "full-params.h"

#include <utility>

whisper_full_params whisper_build_full_params(const whisper_params & params, bool grammar_wanted) {
    whisper_full_params wparams = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);

    wparams.strategy = (params.beam_size > 1 || grammar_wanted) ? WHISPER_SAMPLING_BEAM_SEARCH : WHISPER_SAMPLING_GREEDY;

    wparams.n_threads = params.threads;
    if (params.max_context >= 0) {
        wparams.n_max_text_ctx = params.max_context;
    }
    wparams.offset_ms = params.offset_t;
    wparams.duration_ms = params.duration;

    wparams.translate = params.translate;
    wparams.no_timestamps = params.no_timestamps;
    wparams.print_special = params.print_special;
    wparams.print_progress = params.print_progress;
    wparams.print_realtime = false;
    wparams.print_timestamps = !params.no_timestamps;

    wparams.token_timestamps = params.output_wts || params.output_json_full || params.max_len > 0;
    wparams.thold_pt = params.word_thold;
    wparams.max_len = (params.output_wts && params.max_len == 0) ? 60 : params.max_len;
    wparams.split_on_word = params.split_on_word;

    wparams.debug_mode = params.debug_mode;
    wparams.audio_ctx = params.audio_ctx;
    wparams.tdrz_enable = params.tinydiarize;

    wparams.suppress_regex = params.suppress_regex.empty() ? nullptr : params.suppress_regex.c_str();
    wparams.initial_prompt = params.prompt.c_str();
    wparams.carry_initial_prompt = params.carry_initial_prompt;

    wparams.language = params.language.c_str();
    wparams.detect_language = params.detect_language;
    wparams.suppress_nst = params.suppress_nst;

    wparams.temperature = params.temperature;
    wparams.temperature_inc = params.no_fallback ? 0.0f : params.temperature_inc;
    wparams.entropy_thold = params.entropy_thold;
    wparams.logprob_thold = params.logprob_thold;
    wparams.no_speech_thold = params.no_speech_thold;

    wparams.greedy.best_of = params.best_of;
    wparams.beam_search.beam_size = params.beam_size;

    wparams.vad = params.vad;
    wparams.vad_model_path = params.vad_model.c_str();
    wparams.vad_params.threshold = params.vad_threshold;
    wparams.vad_params.min_speech_duration_ms = params.vad_min_speech_duration_ms;
    wparams.vad_params.min_silence_duration_ms = params.vad_min_silence_duration_ms;
    wparams.vad_params.max_speech_duration_s = params.vad_max_speech_duration_s;
    wparams.vad_params.speech_pad_ms = params.vad_speech_pad_ms;
    wparams.vad_params.samples_overlap = params.vad_samples_overlap;

    return wparams;
}

bool whisper_dtw_preset(const std::string & name, whisper_alignment_heads_preset & preset) {
    static const std::pair<const char *, whisper_alignment_heads_preset> presets[] = {
        {"tiny.en",        WHISPER_AHEADS_TINY_EN},
        {"tiny",           WHISPER_AHEADS_TINY},
        {"base.en",        WHISPER_AHEADS_BASE_EN},
        {"base",           WHISPER_AHEADS_BASE},
        {"small.en",       WHISPER_AHEADS_SMALL_EN},
        {"small",          WHISPER_AHEADS_SMALL},
        {"medium.en",      WHISPER_AHEADS_MEDIUM_EN},
        {"medium",         WHISPER_AHEADS_MEDIUM},
        {"large.v1",       WHISPER_AHEADS_LARGE_V1},
        {"large.v2",       WHISPER_AHEADS_LARGE_V2},
        {"large.v3",       WHISPER_AHEADS_LARGE_V3},
        {"large.v3.turbo", WHISPER_AHEADS_LARGE_V3_TURBO},
    };
    for (const auto & [text, value] : presets) {
        if (name == text) {
            preset = value;
            return true;
        }
    }
    return false;
}
