#include "whisper-params.h"

#include "ggml.h"
#include "whisper.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <thread>

whisper_params::whisper_params() {
    threads = std::min(4, (int32_t) std::thread::hardware_concurrency());
    best_of = whisper_full_default_params(WHISPER_SAMPLING_GREEDY).greedy.best_of;
    beam_size = whisper_full_default_params(WHISPER_SAMPLING_BEAM_SEARCH).beam_search.beam_size;
}

char * whisper_param_turn_lowercase(char * in) {
    for (char * p = in; *p; ++p) {
        if (*p >= 'A' && *p <= 'Z') {
            *p = (char) (*p - 'A' + 'a');
        }
    }
    return in;
}

std::string whisper_param_turn_lowercase(std::string in) {
    whisper_param_turn_lowercase(in.data());
    return in;
}

void requires_value_error(const std::string & arg) {
    fprintf(stderr, "error: argument %s requires value\n", arg.c_str());
    whisper_params_exit(0);
}

// Numbers are read like strtol/strtof: leading blanks and a sign are accepted and anything
// after the longest valid number is ignored ("8x" is 8). A value with no leading number, or
// one outside the range of the field's type, ends the run like the parser's other errors.
[[noreturn]] static void invalid_number_error(const char * option, const char * value, const char * why) {
    fprintf(stderr, "error: argument %s: %s '%s'\n", option, why, value);
    whisper_params_exit(0);
}

static int parse_int_value(const char * option, const char * value) {
    char * end = nullptr;
    errno = 0;
    const long v = strtol(value, &end, 10);
    if (end == value) {
        invalid_number_error(option, value, "expected an integer, got");
    }
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        invalid_number_error(option, value, "integer out of range");
    }
    return (int) v;
}

static float parse_float_value(const char * option, const char * value) {
    char * end = nullptr;
    errno = 0;
    const float v = strtof(value, &end);
    if (end == value) {
        invalid_number_error(option, value, "expected a number, got");
    }
    // strtof reports underflow with ERANGE too; only overflow loses the value.
    if (errno == ERANGE && std::isinf(v)) {
        invalid_number_error(option, value, "number out of range");
    }
    return v;
}

namespace {

using value_setter = std::function<void(whisper_params &, const char * option, const char * value)>;
using flag_setter = std::function<void(whisper_params &)>;

struct cli_option {
    const char * short_form; // may be null
    const char * long_form;
    value_setter set_value;  // set for options that take a value
    flag_setter set_flag;    // set for flags
};

value_setter int_field(int whisper_params::* field) {
    return [field](whisper_params & p, const char * option, const char * value) { p.*field = parse_int_value(option, value); };
}

value_setter float_field(float whisper_params::* field) {
    return [field](whisper_params & p, const char * option, const char * value) { p.*field = parse_float_value(option, value); };
}

// Counts the engine sizes thread pools and parallel states from: below 1 it aborts or
// divides by zero, above the tensor library's thread limit it fails an assertion.
value_setter count_field(int whisper_params::* field) {
    return [field](whisper_params & p, const char * option, const char * value) {
        const int v = parse_int_value(option, value);
        if (v < 1 || v > GGML_MAX_N_THREADS) {
            char why[64];
            snprintf(why, sizeof(why), "expected a count from 1 to %d, got", GGML_MAX_N_THREADS);
            invalid_number_error(option, value, why);
        }
        p.*field = v;
    };
}

// The first sampling temperature: above 1 (or not a number) the engine's fallback list would
// be empty and it would read past it.
value_setter temperature_field(float whisper_params::* field) {
    return [field](whisper_params & p, const char * option, const char * value) {
        const float v = parse_float_value(option, value);
        if (!(v >= 0.0f && v <= 1.0f)) {
            invalid_number_error(option, value, "expected a temperature from 0 to 1, got");
        }
        p.*field = v;
    };
}

// The fallback step: 0 or less means no fallback; a positive step must be large enough that
// the list of temperatures up to 1 stays short (a tiny one never reaches 1).
value_setter temperature_step_field(float whisper_params::* field) {
    return [field](whisper_params & p, const char * option, const char * value) {
        const float v = parse_float_value(option, value);
        if (std::isnan(v) || (v > 0.0f && v < 0.01f)) {
            invalid_number_error(option, value, "expected 0 or a step of at least 0.01, got");
        }
        p.*field = v;
    };
}

// The engine compiles the expression for every decode and would abort on a bad one.
value_setter regex_field(std::string whisper_params::* field) {
    return [field](whisper_params & p, const char * option, const char * value) {
        try {
            std::regex check(value);
        } catch (const std::regex_error &) {
            invalid_number_error(option, value, "invalid regular expression");
        }
        p.*field = value;
    };
}

value_setter text_field(std::string whisper_params::* field) {
    return [field](whisper_params & p, const char *, const char * value) { p.*field = value; };
}

value_setter list_field(std::vector<std::string> whisper_params::* field) {
    return [field](whisper_params & p, const char *, const char * value) { (p.*field).emplace_back(value); };
}

flag_setter set_true(bool whisper_params::* field) {
    return [field](whisper_params & p) { p.*field = true; };
}

const std::vector<cli_option> & option_table() {
    static const std::vector<cli_option> table = {
        {"-t",     "--threads",          count_field(&whisper_params::threads), {}},
        {"-p",     "--processors",       count_field(&whisper_params::processors), {}},
        {"-ot",    "--offset-t",         int_field(&whisper_params::offset_t), {}},
        {"-on",    "--offset-n",         int_field(&whisper_params::offset_n), {}},
        {"-d",     "--duration",         int_field(&whisper_params::duration), {}},
        {"-mc",    "--max-context",      int_field(&whisper_params::max_context), {}},
        {"-ml",    "--max-len",          int_field(&whisper_params::max_len), {}},
        {"-sow",   "--split-on-word",    {}, set_true(&whisper_params::split_on_word)},
        {"-bo",    "--best-of",          int_field(&whisper_params::best_of), {}},
        {"-bs",    "--beam-size",        int_field(&whisper_params::beam_size), {}},
        {"-ac",    "--audio-ctx",        int_field(&whisper_params::audio_ctx), {}},
        {"-wt",    "--word-thold",       float_field(&whisper_params::word_thold), {}},
        {"-et",    "--entropy-thold",    float_field(&whisper_params::entropy_thold), {}},
        {"-lpt",   "--logprob-thold",    float_field(&whisper_params::logprob_thold), {}},
        {"-nth",   "--no-speech-thold",  float_field(&whisper_params::no_speech_thold), {}},
        {"-tp",    "--temperature",      temperature_field(&whisper_params::temperature), {}},
        {"-tpi",   "--temperature-inc",  temperature_step_field(&whisper_params::temperature_inc), {}},
        {"-debug", "--debug-mode",       {}, set_true(&whisper_params::debug_mode)},
        {"-tr",    "--translate",        {}, set_true(&whisper_params::translate)},
        {"-di",    "--diarize",          {}, set_true(&whisper_params::diarize)},
        {"-tdrz",  "--tinydiarize",      {}, set_true(&whisper_params::tinydiarize)},
        {"-nf",    "--no-fallback",      {}, set_true(&whisper_params::no_fallback)},
        {"-otxt",  "--output-txt",       {}, set_true(&whisper_params::output_txt)},
        {"-ovtt",  "--output-vtt",       {}, set_true(&whisper_params::output_vtt)},
        {"-osrt",  "--output-srt",       {}, set_true(&whisper_params::output_srt)},
        {"-olrc",  "--output-lrc",       {}, set_true(&whisper_params::output_lrc)},
        {"-owts",  "--output-words",     {}, set_true(&whisper_params::output_wts)},
        {"-fp",    "--font-path",        text_field(&whisper_params::font_path), {}},
        {"-ocsv",  "--output-csv",       {}, set_true(&whisper_params::output_csv)},
        {"-oj",    "--output-json",      {}, set_true(&whisper_params::output_json)},
        {"-ojf",   "--output-json-full", {}, [](whisper_params & p) { p.output_json = p.output_json_full = true; }},
        {"-of",    "--output-file",      list_field(&whisper_params::output_files), {}},
        {"-np",    "--no-prints",        {}, set_true(&whisper_params::no_prints)},
        {"-ps",    "--print-special",    {}, set_true(&whisper_params::print_special)},
        {"-pc",    "--print-colors",     {}, set_true(&whisper_params::print_colors)},
        {nullptr,  "--print-confidence", {}, set_true(&whisper_params::print_confidence)},
        {"-pp",    "--print-progress",   {}, set_true(&whisper_params::print_progress)},
        {"-nt",    "--no-timestamps",    {}, set_true(&whisper_params::no_timestamps)},
        {"-l",     "--language",         [](whisper_params & p, const char *, const char * v) { p.language = whisper_param_turn_lowercase(std::string(v)); }, {}},
        {"-dl",    "--detect-language",  {}, set_true(&whisper_params::detect_language)},
        {nullptr,  "--prompt",           text_field(&whisper_params::prompt), {}},
        {nullptr,  "--carry-initial-prompt", {}, set_true(&whisper_params::carry_initial_prompt)},
        {"-m",     "--model",            text_field(&whisper_params::model), {}},
        {"-f",     "--file",             list_field(&whisper_params::files), {}},
        {"-oved",  "--ov-e-device",      text_field(&whisper_params::ov_e_device), {}},
        {"-dtw",   "--dtw",              text_field(&whisper_params::dtw), {}},
        {"-ls",    "--log-score",        {}, set_true(&whisper_params::log_score)},
        {"-ng",    "--no-gpu",           {}, [](whisper_params & p) { p.use_gpu = false; }},
        {"-dev",   "--device",           int_field(&whisper_params::device), {}},
        {"-fa",    "--flash-attn",       {}, [](whisper_params & p) { p.flash_attn = true; }},
        {"-nfa",   "--no-flash-attn",    {}, [](whisper_params & p) { p.flash_attn = false; }},
        {"-sns",   "--suppress-nst",     {}, set_true(&whisper_params::suppress_nst)},
        {nullptr,  "--suppress-regex",   regex_field(&whisper_params::suppress_regex), {}},
        {nullptr,  "--grammar",          text_field(&whisper_params::grammar), {}},
        {nullptr,  "--grammar-rule",     text_field(&whisper_params::grammar_rule), {}},
        {nullptr,  "--grammar-penalty",  float_field(&whisper_params::grammar_penalty), {}},
        {nullptr,  "--vad",              {}, set_true(&whisper_params::vad)},
        {"-vm",    "--vad-model",        text_field(&whisper_params::vad_model), {}},
        {"-vt",    "--vad-threshold",    float_field(&whisper_params::vad_threshold), {}},
        {"-vspd",  "--vad-min-speech-duration-ms",  int_field(&whisper_params::vad_min_speech_duration_ms), {}},
        {"-vsd",   "--vad-min-silence-duration-ms", int_field(&whisper_params::vad_min_silence_duration_ms), {}},
        {"-vmsd",  "--vad-max-speech-duration-s",   float_field(&whisper_params::vad_max_speech_duration_s), {}},
        {"-vp",    "--vad-speech-pad-ms",           int_field(&whisper_params::vad_speech_pad_ms), {}},
        {"-vo",    "--vad-samples-overlap",         float_field(&whisper_params::vad_samples_overlap), {}},
    };
    return table;
}

const cli_option * find_option(const char * arg) {
    for (const auto & opt : option_table()) {
        if ((opt.short_form && strcmp(arg, opt.short_form) == 0) || strcmp(arg, opt.long_form) == 0) {
            return &opt;
        }
    }
    return nullptr;
}

} // namespace

void whisper_params_parse(int argc, char ** argv, whisper_params & params) {
    // Set but empty counts as unset.
    const char * device = getenv("WHISPER_ARG_DEVICE");
    if (device != nullptr && device[0] != '\0') {
        params.device = parse_int_value("WHISPER_ARG_DEVICE", device);
    }

    for (int i = 1; i < argc; i++) {
        const char * arg = argv[i];

        if (arg[0] != '-' || strcmp(arg, "-") == 0) {
            params.files.emplace_back(arg);
            continue;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            whisper_print_usage(argc, argv, params);
            whisper_params_exit(0);
        }
        if (strcmp(arg, "--version") == 0) {
            fprintf(stdout, "whisper.cpp version: %s\n", whisper_version());
            whisper_params_exit(0);
        }

        const cli_option * opt = find_option(arg);
        if (!opt) {
            fprintf(stderr, "error: unknown argument: %s\n", arg);
            whisper_print_usage(argc, argv, params);
            whisper_params_exit(0);
        }
        if (opt->set_flag) {
            opt->set_flag(params);
            continue;
        }
        if (i + 1 >= argc) {
            requires_value_error(arg);
        }
        opt->set_value(params, arg, argv[++i]);
    }
}

static const char * bool_text(bool b) {
    return b ? "true" : "false";
}

void whisper_print_usage(int /*argc*/, char ** argv, const whisper_params & params) {
    FILE * o = stderr;
    fprintf(o, "\n");
    fprintf(o, "usage: %s [options] file0 file1 ...\n", argv[0]);
    fprintf(o, "supported audio formats: flac, mp3, ogg, wav\n");
    fprintf(o, "\n");
    fprintf(o, "options:\n");
    fprintf(o, "  -h,        --help                 [default] show this help message and exit\n");
    fprintf(o, "             --version              show version information and exit\n");
    fprintf(o, "  -t N,      --threads N            [%-7d] number of threads to use during computation\n", params.threads);
    fprintf(o, "  -p N,      --processors N         [%-7d] number of processors to use during computation\n", params.processors);
    fprintf(o, "  -ot N,     --offset-t N           [%-7d] time offset in milliseconds\n", params.offset_t);
    fprintf(o, "  -on N,     --offset-n N           [%-7d] segment index offset\n", params.offset_n);
    fprintf(o, "  -d  N,     --duration N           [%-7d] duration of audio to process in milliseconds\n", params.duration);
    fprintf(o, "  -mc N,     --max-context N        [%-7d] maximum number of text context tokens to store\n", params.max_context);
    fprintf(o, "  -ml N,     --max-len N            [%-7d] maximum segment length in characters\n", params.max_len);
    fprintf(o, "  -sow,      --split-on-word        [%-7s] split on word rather than on token\n", bool_text(params.split_on_word));
    fprintf(o, "  -bo N,     --best-of N            [%-7d] number of best candidates to keep\n", params.best_of);
    fprintf(o, "  -bs N,     --beam-size N          [%-7d] beam size for beam search\n", params.beam_size);
    fprintf(o, "  -ac N,     --audio-ctx N          [%-7d] audio context size (0 - all)\n", params.audio_ctx);
    fprintf(o, "  -wt N,     --word-thold N         [%-7.2f] word timestamp probability threshold\n", params.word_thold);
    fprintf(o, "  -et N,     --entropy-thold N      [%-7.2f] entropy threshold for decoder fail\n", params.entropy_thold);
    fprintf(o, "  -lpt N,    --logprob-thold N      [%-7.2f] log probability threshold for decoder fail\n", params.logprob_thold);
    fprintf(o, "  -nth N,    --no-speech-thold N    [%-7.2f] no speech threshold\n", params.no_speech_thold);
    fprintf(o, "  -tp,       --temperature N        [%-7.2f] The sampling temperature, between 0 and 1\n", params.temperature);
    fprintf(o, "  -tpi,      --temperature-inc N    [%-7.2f] The increment of temperature, between 0 and 1\n", params.temperature_inc);
    fprintf(o, "  -debug,    --debug-mode           [%-7s] enable debug mode (eg. dump log_mel)\n", bool_text(params.debug_mode));
    fprintf(o, "  -tr,       --translate            [%-7s] translate from source language to english\n", bool_text(params.translate));
    fprintf(o, "  -di,       --diarize              [%-7s] stereo audio diarization\n", bool_text(params.diarize));
    fprintf(o, "  -tdrz,     --tinydiarize          [%-7s] enable tinydiarize (requires a tdrz model)\n", bool_text(params.tinydiarize));
    fprintf(o, "  -nf,       --no-fallback          [%-7s] do not use temperature fallback while decoding\n", bool_text(params.no_fallback));
    fprintf(o, "  -otxt,     --output-txt           [%-7s] output result in a text file\n", bool_text(params.output_txt));
    fprintf(o, "  -ovtt,     --output-vtt           [%-7s] output result in a vtt file\n", bool_text(params.output_vtt));
    fprintf(o, "  -osrt,     --output-srt           [%-7s] output result in a srt file\n", bool_text(params.output_srt));
    fprintf(o, "  -olrc,     --output-lrc           [%-7s] output result in a lrc file\n", bool_text(params.output_lrc));
    fprintf(o, "  -owts,     --output-words         [%-7s] output script for generating karaoke video\n", bool_text(params.output_wts));
    fprintf(o, "  -fp,       --font-path            [%-7s] path to a monospace font for karaoke video\n", params.font_path.c_str());
    fprintf(o, "  -ocsv,     --output-csv           [%-7s] output result in a CSV file\n", bool_text(params.output_csv));
    fprintf(o, "  -oj,       --output-json          [%-7s] output result in a JSON file\n", bool_text(params.output_json));
    fprintf(o, "  -ojf,      --output-json-full     [%-7s] include more information in the JSON file\n", bool_text(params.output_json_full));
    fprintf(o, "  -of FNAME, --output-file FNAME    [%-7s] output file path (without file extension)\n", "");
    fprintf(o, "  -np,       --no-prints            [%-7s] do not print anything other than the results\n", bool_text(params.no_prints));
    fprintf(o, "  -ps,       --print-special        [%-7s] print special tokens\n", bool_text(params.print_special));
    fprintf(o, "  -pc,       --print-colors         [%-7s] print colors\n", bool_text(params.print_colors));
    fprintf(o, "             --print-confidence     [%-7s] print confidence\n", bool_text(params.print_confidence));
    fprintf(o, "  -pp,       --print-progress       [%-7s] print progress\n", bool_text(params.print_progress));
    fprintf(o, "  -nt,       --no-timestamps        [%-7s] do not print timestamps\n", bool_text(params.no_timestamps));
    fprintf(o, "  -l LANG,   --language LANG        [%-7s] spoken language ('auto' for auto-detect)\n", params.language.c_str());
    fprintf(o, "  -dl,       --detect-language      [%-7s] exit after automatically detecting language\n", bool_text(params.detect_language));
    fprintf(o, "             --prompt PROMPT        [%-7s] initial prompt (max n_text_ctx/2 tokens)\n", params.prompt.c_str());
    fprintf(o, "             --carry-initial-prompt [%-7s] always prepend initial prompt\n", bool_text(params.carry_initial_prompt));
    fprintf(o, "  -m FNAME,  --model FNAME          [%-7s] model path\n", params.model.c_str());
    fprintf(o, "  -f FNAME,  --file FNAME           [%-7s] input audio file path\n", "");
    fprintf(o, "  -oved D,   --ov-e-device DNAME    [%-7s] the OpenVINO device used for encode inference\n", params.ov_e_device.c_str());
    fprintf(o, "  -dtw MODEL --dtw MODEL            [%-7s] compute token-level timestamps\n", params.dtw.c_str());
    fprintf(o, "  -ls,       --log-score            [%-7s] log best decoder scores of tokens\n", bool_text(params.log_score));
    fprintf(o, "  -ng,       --no-gpu               [%-7s] disable GPU\n", bool_text(!params.use_gpu));
    fprintf(o, "  -dev N,    --device N             [%-7d] GPU device ID (default: 0)\n", params.device);
    fprintf(o, "  -fa,       --flash-attn           [%-7s] enable flash attention\n", bool_text(params.flash_attn));
    fprintf(o, "  -nfa,      --no-flash-attn        [%-7s] disable flash attention\n", bool_text(!params.flash_attn));
    fprintf(o, "  -sns,      --suppress-nst         [%-7s] suppress non-speech tokens\n", bool_text(params.suppress_nst));
    fprintf(o, "  --suppress-regex REGEX            [%-7s] regular expression matching tokens to suppress\n", params.suppress_regex.c_str());
    fprintf(o, "  --grammar GRAMMAR                 [%-7s] GBNF grammar to guide decoding\n", params.grammar.c_str());
    fprintf(o, "  --grammar-rule RULE               [%-7s] top-level GBNF grammar rule name\n", params.grammar_rule.c_str());
    fprintf(o, "  --grammar-penalty N               [%-7.1f] scales down logits of nongrammar tokens\n", params.grammar_penalty);
    fprintf(o, "\nVoice Activity Detection (VAD) options:\n");
    fprintf(o, "             --vad                           [%-7s] enable Voice Activity Detection (VAD)\n", bool_text(params.vad));
    fprintf(o, "  -vm FNAME, --vad-model FNAME               [%-7s] VAD model path\n", params.vad_model.c_str());
    fprintf(o, "  -vt N,     --vad-threshold N               [%-7.2f] VAD threshold for speech recognition\n", params.vad_threshold);
    fprintf(o, "  -vspd N,   --vad-min-speech-duration-ms  N [%-7d] VAD min speech duration (0.0-1.0)\n", params.vad_min_speech_duration_ms);
    fprintf(o, "  -vsd N,    --vad-min-silence-duration-ms N [%-7d] VAD min silence duration (to split segments)\n", params.vad_min_silence_duration_ms);
    char vmsd[64];
    if (params.vad_max_speech_duration_s == FLT_MAX) {
        snprintf(vmsd, sizeof(vmsd), "FLT_MAX");
    } else {
        snprintf(vmsd, sizeof(vmsd), "%f", params.vad_max_speech_duration_s);
    }
    fprintf(o, "  -vmsd N,   --vad-max-speech-duration-s   N [%-7s] VAD max speech duration (auto-split longer)\n", vmsd);
    fprintf(o, "  -vp N,     --vad-speech-pad-ms           N [%-7d] VAD speech padding (extend segments)\n", params.vad_speech_pad_ms);
    fprintf(o, "  -vo N,     --vad-samples-overlap         N [%-7.2f] VAD samples overlap (seconds between segments)\n", params.vad_samples_overlap);
    fprintf(o, "\n");
}
