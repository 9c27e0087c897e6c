// LumivaneSpeech: transcribes audio files with a Whisper model.
//
// main() checks the command line, loads the model once, then for each input decodes the
// audio, runs the engine with the live printer installed and writes the requested files.

#include "audio-input.h"
#include "diagnostics.h"
#include "full-params.h"
#include "grammar-parser.h"
#include "output-files.h"
#include "response-file.h"
#include "segment-printer.h"
#include "whisper-params.h"
#include "writers.h"

#include "ggml-backend.h"
#include "whisper.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// True when `path` names something that can be opened for reading as a file. Only regular
// files are opened to find out: opening a named pipe or a device would consume or block it,
// so for those read permission is asked for instead.
bool is_file_exist(const std::string & path) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        return access(path.c_str(), R_OK) == 0;
    }
    FILE * f = fopen(path.c_str(), "rb");
    if (!f) {
        return false;
    }
    fclose(f);
    return true;
}

void cb_log_disable(enum ggml_log_level, const char *, void *) {}

std::string read_whole_file(const std::string & path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string grammar_symbol_name(const grammar_parser::parse_state & state, uint32_t id) {
    for (const auto & [name, symbol_id] : state.symbol_table) {
        if (symbol_id == id) {
            return name;
        }
    }
    return std::to_string(id);
}

// Owns the engine context for the run.
struct context_holder {
    whisper_context * ctx = nullptr;
    context_holder() = default;
    context_holder(const context_holder &) = delete;
    context_holder & operator=(const context_holder &) = delete;
    ~context_holder() { release(); }
    void release() {
        if (ctx) {
            whisper_free(ctx);
            ctx = nullptr;
        }
    }
};

void print_processing_line(const whisper_params & params, const std::string & fname, size_t n_samples) {
    diag_info("\n");
    diag_info("system_info: n_threads = %d / %d | %s\n", params.threads * params.processors,
              (int) std::thread::hardware_concurrency(), whisper_print_system_info());
    diag_info("\n");
    diag_info("%s: processing '%s' (%d samples, %.1f sec), %d threads, %d processors, %d beams + best of %d, "
              "lang = %s, task = %s, %stimestamps = %d ...\n",
              "main", fname.c_str(), (int) n_samples, float(n_samples) / WHISPER_SAMPLE_RATE, params.threads,
              params.processors, params.beam_size, params.best_of, params.language.c_str(),
              params.translate ? "translate" : "transcribe", params.tinydiarize ? "tdrz = 1, " : "",
              params.no_timestamps ? 0 : 1);
    if (params.print_colors) {
        diag_info("%s: color scheme: red (low confidence), yellow (medium), green (high confidence)\n", "main");
    } else if (params.print_confidence) {
        diag_info("%s: confidence: highlighted (low confidence), underlined (medium), dim (high confidence)\n", "main");
    }
    diag_info("\n");
}

// Every requested format, in the fixed order that decides which one may reach standard output.
void write_outputs(whisper_context * ctx, fout_factory & fout, const whisper_params & params,
                   const channel_samples & pcmf32s, const std::string & fname_inp, size_t n_samples) {
    const auto karaoke = [&](whisper_context * c, std::ostream &, const whisper_params & p, const channel_samples & s) {
        const float t_sec = float(n_samples + 1000) / WHISPER_SAMPLE_RATE;
        output_wts(c, fout.stream, p, s, fname_inp, t_sec, fout.path);
    };
    const struct {
        bool wanted;
        const char * ext;
        const char * name;
        std::function<void(whisper_context *, std::ostream &, const whisper_params &, const channel_samples &)> write;
    } outputs[] = {
        {params.output_txt, ".txt", "output_txt", output_txt},
        {params.output_vtt, ".vtt", "output_vtt", output_vtt},
        {params.output_srt, ".srt", "output_srt", output_srt},
        {params.output_wts, ".wts", "output_wts", karaoke},
        {params.output_csv, ".csv", "output_csv", output_csv},
        {params.output_json, ".json", "output_json", output_json},
        {params.output_lrc, ".lrc", "output_lrc", output_lrc},
        {params.log_score, ".score.txt", "output_score", output_score},
    };
    for (const auto & out : outputs) {
        if (out.wanted && fout.open(out.ext, out.name)) {
            out.write(ctx, fout.stream, params, pcmf32s);
        }
    }
}

} // namespace

int main(int argc, char ** argv) {
    whisper_params params;
    int n_failed = 0;

    std::vector<std::string> args = expand_response_file(argc, argv);
    std::vector<char *> arg_ptrs;
    for (auto & a : args) {
        arg_ptrs.push_back(a.data());
    }
    arg_ptrs.push_back(nullptr);
    argc = (int) args.size();
    argv = arg_ptrs.data();

    whisper_params_parse(argc, argv, params);

    // Inputs that do not exist are reported, dropped and counted; "-" is standard input.
    std::vector<std::string> inputs;
    for (const auto & f : params.files) {
        if (f != "-" && !is_file_exist(f)) {
            fprintf(stderr, "error: input file not found '%s'\n", f.c_str());
            n_failed++;
            continue;
        }
        inputs.push_back(f);
    }
    params.files = inputs;

    if (params.files.empty()) {
        fprintf(stderr, "error: no input files specified\n");
        whisper_print_usage(argc, argv, params);
        return 2;
    }
    if (!is_file_exist(params.model)) {
        fprintf(stderr, "error: model file not found '%s'\n", params.model.c_str());
        whisper_print_usage(argc, argv, params);
        return 3;
    }
    if (params.language != "auto" && whisper_lang_id(params.language.c_str()) == -1) {
        fprintf(stderr, "error: unknown language '%s'\n", params.language.c_str());
        whisper_print_usage(argc, argv, params);
        return 0;
    }
    if (params.diarize && params.tinydiarize) {
        fprintf(stderr, "error: cannot use both --diarize and --tinydiarize\n");
        whisper_print_usage(argc, argv, params);
        return 0;
    }

    if (params.no_prints) {
        diagnostics_set_quiet(true);
        whisper_log_set(cb_log_disable, nullptr);
    }

    ggml_backend_load_all();

    whisper_context_params cparams = whisper_context_default_params();
    cparams.use_gpu = params.use_gpu;
    cparams.flash_attn = params.flash_attn;
    cparams.gpu_device = params.device;
    if (!params.dtw.empty()) {
        cparams.dtw_token_timestamps = true;
        if (!whisper_dtw_preset(params.dtw, cparams.dtw_aheads_preset)) {
            fprintf(stderr, "error: unknown DTW preset '%s'\n", params.dtw.c_str());
            return 3;
        }
    }

    context_holder context;
    context.ctx = whisper_init_from_file_with_params(params.model.c_str(), cparams);
    if (context.ctx == nullptr) {
        fprintf(stderr, "error: failed to initialize whisper context\n");
        return 3;
    }
    whisper_context * ctx = context.ctx;

    // Built without OpenVINO: returns at once.
    whisper_ctx_init_openvino_encoder(ctx, nullptr, params.ov_e_device.c_str(), nullptr);

    if (!params.grammar.empty()) {
        const std::string text = is_file_exist(params.grammar) ? read_whole_file(params.grammar) : params.grammar;
        params.parsed_grammar = grammar_parser::parse(text.c_str());
        if (params.parsed_grammar.rules.empty()) {
            fprintf(stderr, "error: failed to parse grammar \"%s\"\n", params.grammar.c_str());
            return 4;
        }
        // The engine follows every rule reference blindly: a rule that is used but never
        // defined would crash it mid-decode, so such a grammar is refused here.
        const int64_t undefined = grammar_parser::find_undefined_rule(params.parsed_grammar);
        if (undefined >= 0) {
            fprintf(stderr, "error: grammar rule '%s' is used but never defined\n",
                    grammar_symbol_name(params.parsed_grammar, (uint32_t) undefined).c_str());
            fprintf(stderr, "error: failed to parse grammar \"%s\"\n", params.grammar.c_str());
            return 4;
        }
        fprintf(stderr, "%s: grammar:\n", "main");
        grammar_parser::print_grammar(stderr, params.parsed_grammar);
        fprintf(stderr, "\n");
    }

    for (size_t f = 0; f < params.files.size(); ++f) {
        const std::string & fname_inp = params.files[f];
        const std::string fname_out = f < params.output_files.size() ? params.output_files[f] : "";
        fout_factory fout(fname_out, fname_inp, params);

        std::vector<float> pcmf32;
        std::vector<std::vector<float>> pcmf32s;
        if (!read_audio_data(fname_inp, pcmf32, pcmf32s, params.diarize)) {
            fprintf(stderr, "error: failed to read audio file '%s'\n", fname_inp.c_str());
            n_failed++;
            continue;
        }

        if (!whisper_is_multilingual(ctx) && (params.language != "en" || params.translate)) {
            params.language = "en";
            params.translate = false;
            fprintf(stderr, "%s: WARNING: model is not multilingual, ignoring language and translation options\n", "main");
        }
        if (params.detect_language) {
            params.language = "auto";
        }

        print_processing_line(params, fname_inp, pcmf32.size());

        const bool grammar_wanted = !params.parsed_grammar.rules.empty() && !params.grammar_rule.empty();
        whisper_full_params wparams = whisper_build_full_params(params, grammar_wanted);

        std::vector<const whisper_grammar_element *> grammar_rules;
        if (grammar_wanted) {
            const auto & symbols = params.parsed_grammar.symbol_table;
            const auto rule = symbols.find(params.grammar_rule);
            if (rule == symbols.end()) {
                fprintf(stderr, "%s: warning: grammar rule '%s' not found - skipping grammar sampling\n", "main",
                        params.grammar_rule.c_str());
            } else {
                grammar_rules = params.parsed_grammar.c_rules();
                wparams.grammar_rules = grammar_rules.data();
                wparams.n_grammar_rules = grammar_rules.size();
                wparams.i_start_rule = rule->second;
                wparams.grammar_penalty = params.grammar_penalty;
            }
        }

        print_callback_data user_data = {&params, &pcmf32s, 0};
        wparams.new_segment_callback = fout.segment_printer;
        wparams.new_segment_callback_user_data = &user_data;
        if (params.print_progress) {
            wparams.progress_callback = whisper_print_progress_callback;
            wparams.progress_callback_user_data = &user_data;
        }

        if (whisper_full_parallel(ctx, wparams, pcmf32.data(), (int) pcmf32.size(), params.processors) != 0) {
            fprintf(stderr, "%s: failed to process audio\n", argv[0]);
            context.release();
            return 10;
        }

        write_outputs(ctx, fout, params, pcmf32s, fname_inp, pcmf32.size());
        if (fout.to_stdout && !fout.stdout_used) {
            fprintf(stderr, "warning: '--output-file -' used without any other '--output-*'");
        }
        if (fout.open_failed) {
            n_failed++;
        }
    }

    if (!params.no_prints) {
        whisper_print_timings(ctx);
    }
    context.release();

    if (n_failed > 0) {
        fprintf(stderr, "error: %d input file(s) failed\n", n_failed);
        return 11;
    }
    return 0;
}
