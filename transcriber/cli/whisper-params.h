// The transcriber's parameter record and its command-line parser.
#pragma once

#include "grammar-parser.h"

#include <cfloat>
#include <string>
#include <vector>

struct whisper_params {
    whisper_params();

    int threads;
    int processors = 1;
    int offset_t = 0;
    int offset_n = 0;
    int duration = 0;
    int progress_step = 5;
    int max_context = -1;
    int max_len = 0;
    int best_of;
    int beam_size;
    int audio_ctx = 0;

    float word_thold = 0.01f;
    float entropy_thold = 2.40f;
    float logprob_thold = -1.00f;
    float no_speech_thold = 0.60f;
    float grammar_penalty = 100.0f;
    float temperature = 0.00f;
    float temperature_inc = 0.20f;

    bool debug_mode = false;
    bool translate = false;
    bool detect_language = false;
    bool diarize = false;
    bool tinydiarize = false;
    bool split_on_word = false;
    bool no_fallback = false;
    bool output_txt = false;
    bool output_vtt = false;
    bool output_srt = false;
    bool output_wts = false;
    bool output_csv = false;
    bool output_json = false;
    bool output_json_full = false;
    bool output_lrc = false;
    bool no_prints = false;
    bool print_special = false;
    bool print_colors = false;
    bool print_confidence = false;
    bool print_progress = false;
    bool no_timestamps = false;
    bool log_score = false;
    bool use_gpu = true;
    bool flash_attn = true;
    int device = 0;
    bool suppress_nst = false;
    bool carry_initial_prompt = false;

    std::string language = "en";
    std::string prompt;
    std::string font_path = "/System/Library/Fonts/Supplemental/Courier New Bold.ttf";
    std::string model = "models/ggml-base.en.bin";
    std::string grammar;
    std::string grammar_rule;
    std::string speaker_turn_marker = " [SPEAKER_TURN]";
    std::string suppress_regex;
    std::string ov_e_device = "CPU";
    std::string dtw;

    std::vector<std::string> files;
    std::vector<std::string> output_files;

    grammar_parser::parse_state parsed_grammar;

    bool vad = false;
    std::string vad_model;
    float vad_threshold = 0.50f;
    int vad_min_speech_duration_ms = 250;
    int vad_min_silence_duration_ms = 100;
    float vad_max_speech_duration_s = FLT_MAX;
    int vad_speech_pad_ms = 30;
    float vad_samples_overlap = 0.10f;
};

// Fills `params` from argv[1..]; ends the process on help, version and every parse error.
void whisper_params_parse(int argc, char ** argv, whisper_params & params);

// Writes the help text to standard error, showing the record's current values.
void whisper_print_usage(int argc, char ** argv, const whisper_params & params);

[[noreturn]] void requires_value_error(const std::string & arg);

// Ends the process for the parser and the response-file reader (help, version, errors).
// Defined in params-exit.cpp; a test harness may link its own definition instead.
[[noreturn]] void whisper_params_exit(int status);

char * whisper_param_turn_lowercase(char * in);
std::string whisper_param_turn_lowercase(std::string in);
