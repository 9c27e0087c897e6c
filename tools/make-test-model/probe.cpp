// lumivane-model-probe MODEL.bin AUDIO.f32 [options]
//
// Runs the engine once over raw 32-bit float mono 16 kHz samples and prints what it
// produced as one JSON object on standard output. Byte strings (segment and token
// texts) are printed as hex, since a token may hold part of a UTF-8 character.
//
// options: --beam N, --best-of N, --lang CODE|auto, --translate, --detect, --nt,
//          --tdrz, --token-ts, --max-len N, --dtw tiny.en|tiny, --fa, --nfa, --mc N,
//          --temperature T, --threads N, --processors N, --offset-ms N, --duration-ms N, --print-special, --verbose
#include "whisper.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct probe_options {
    std::string model, audio;
    int beam = 0, best_of = -1, max_len = 0, max_context = -1, threads = 1, processors = 1, offset_ms = 0, duration_ms = 0;
    std::string language = "en", dtw;
    float temperature = 0.0f;
    bool translate = false, detect = false, no_timestamps = false, tdrz = false, token_ts = false;
    bool print_special = false, verbose = false;
    int flash_attn = -1;  // -1: the engine's default
};

struct ctx_deleter {
    void operator()(whisper_context * c) const { whisper_free(c); }
};

void quiet_log(ggml_log_level, const char *, void *) {}

// JSON has no infinities: the engine's no-speech probability can be one.
std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string hex(const char * s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char * p = reinterpret_cast<const unsigned char *>(s); *p; ++p) {
        out.push_back(digits[*p >> 4]);
        out.push_back(digits[*p & 15]);
    }
    return out;
}

bool parse_args(int argc, char ** argv, probe_options & o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        const char * v = nullptr;
        if (a == "--beam" && (v = value())) o.beam = atoi(v);
        else if (a == "--best-of" && (v = value())) o.best_of = atoi(v);
        else if (a == "--lang" && (v = value())) o.language = v;
        else if (a == "--max-len" && (v = value())) o.max_len = atoi(v);
        else if (a == "--mc" && (v = value())) o.max_context = atoi(v);
        else if (a == "--threads" && (v = value())) o.threads = atoi(v);
        else if (a == "--processors" && (v = value())) o.processors = atoi(v);
        else if (a == "--temperature" && (v = value())) o.temperature = float(atof(v));
        else if (a == "--offset-ms" && (v = value())) o.offset_ms = atoi(v);
        else if (a == "--duration-ms" && (v = value())) o.duration_ms = atoi(v);
        else if (a == "--dtw" && (v = value())) o.dtw = v;
        else if (a == "--translate") o.translate = true;
        else if (a == "--detect") o.detect = true;
        else if (a == "--nt") o.no_timestamps = true;
        else if (a == "--tdrz") o.tdrz = true;
        else if (a == "--token-ts") o.token_ts = true;
        else if (a == "--fa") o.flash_attn = 1;
        else if (a == "--nfa") o.flash_attn = 0;
        else if (a == "--print-special") o.print_special = true;
        else if (a == "--verbose") o.verbose = true;
        else if (!a.empty() && a[0] != '-') positional.push_back(a);
        else return false;
    }
    if (positional.size() != 2) return false;
    o.model = positional[0];
    o.audio = positional[1];
    return true;
}

bool read_samples(const std::string & path, std::vector<float> & out) {
    std::unique_ptr<FILE, int (*)(FILE *)> f(fopen(path.c_str(), "rb"), fclose);
    if (!f) return false;
    float buf[4096];
    size_t n;
    while ((n = fread(buf, sizeof(float), 4096, f.get())) > 0) out.insert(out.end(), buf, buf + n);
    return !ferror(f.get());
}

void print_result(whisper_context * ctx, int rc) {
    const int n = whisper_full_n_segments(ctx);
    const int lang_id = whisper_full_lang_id(ctx);
    printf("{\"rc\": %d, \"lang_id\": %d, \"lang\": \"%s\", \"segments\": [", rc, lang_id,
           lang_id >= 0 ? whisper_lang_str(lang_id) : "");
    for (int i = 0; i < n; ++i) {
        printf("%s\n {\"t0\": %" PRId64 ", \"t1\": %" PRId64 ", \"hex\": \"%s\", \"speaker_turn_next\": %s, "
               "\"no_speech_prob\": %s, \"tokens\": [",
               i ? "," : "", whisper_full_get_segment_t0(ctx, i), whisper_full_get_segment_t1(ctx, i),
               hex(whisper_full_get_segment_text(ctx, i)).c_str(),
               whisper_full_get_segment_speaker_turn_next(ctx, i) ? "true" : "false",
               number(whisper_full_get_segment_no_speech_prob(ctx, i)).c_str());
        const int nt = whisper_full_n_tokens(ctx, i);
        for (int j = 0; j < nt; ++j) {
            const whisper_token_data d = whisper_full_get_token_data(ctx, i, j);
            printf("%s{\"id\": %d, \"hex\": \"%s\", \"p\": %s, \"t0\": %" PRId64 ", \"t1\": %" PRId64
                   ", \"t_dtw\": %" PRId64 "}",
                   j ? ", " : "", d.id, hex(whisper_full_get_token_text(ctx, i, j)).c_str(), number(d.p).c_str(),
                   d.t0, d.t1, d.t_dtw);
        }
        printf("]}");
    }
    printf("]}\n");
}

} // namespace

int main(int argc, char ** argv) {
    probe_options o;
    if (!parse_args(argc, argv, o)) {
        fprintf(stderr, "usage: lumivane-model-probe MODEL.bin AUDIO.f32 [options]\n");
        return 2;
    }
    if (!o.verbose) whisper_log_set(quiet_log, nullptr);

    std::vector<float> samples;
    if (!read_samples(o.audio, samples)) {
        fprintf(stderr, "error: cannot read '%s'\n", o.audio.c_str());
        return 2;
    }

    whisper_context_params cparams = whisper_context_default_params();
    cparams.use_gpu = false;
    if (o.flash_attn >= 0) cparams.flash_attn = o.flash_attn == 1;
    if (!o.dtw.empty()) {
        cparams.dtw_token_timestamps = true;
        if (o.dtw == "tiny.en") cparams.dtw_aheads_preset = WHISPER_AHEADS_TINY_EN;
        else if (o.dtw == "tiny") cparams.dtw_aheads_preset = WHISPER_AHEADS_TINY;
        else {
            fprintf(stderr, "error: unknown DTW preset '%s'\n", o.dtw.c_str());
            return 2;
        }
    }
    std::unique_ptr<whisper_context, ctx_deleter> ctx(whisper_init_from_file_with_params(o.model.c_str(), cparams));
    if (!ctx) {
        fprintf(stderr, "error: failed to initialize whisper context\n");
        return 3;
    }

    whisper_full_params p = whisper_full_default_params(o.beam > 1 ? WHISPER_SAMPLING_BEAM_SEARCH : WHISPER_SAMPLING_GREEDY);
    if (o.beam > 1) p.beam_search.beam_size = o.beam;
    if (o.best_of > 0) p.greedy.best_of = o.best_of;
    p.n_threads = o.threads;
    p.print_progress = false;
    p.print_realtime = false;
    p.print_timestamps = false;
    p.print_special = o.print_special;
    p.language = o.language.c_str();
    p.translate = o.translate;
    p.detect_language = o.detect;
    p.no_timestamps = o.no_timestamps;
    p.tdrz_enable = o.tdrz;
    p.token_timestamps = o.token_ts || o.max_len > 0;
    p.max_len = o.max_len;
    if (o.max_context >= 0) p.n_max_text_ctx = o.max_context;
    p.temperature = o.temperature;
    p.offset_ms = o.offset_ms;
    p.duration_ms = o.duration_ms;

    const int rc = whisper_full_parallel(ctx.get(), p, samples.data(), int(samples.size()), o.processors);
    print_result(ctx.get(), rc);
    if (o.verbose) whisper_print_timings(ctx.get());
    return rc == 0 ? 0 : 1;
}
