// The Corvane wrapper's own cost per encode, against a real encoder's time.
//
// Run by hand from a build directory:
//   bench/neural-engine/lumivane-bench-corvane lib/libane_e5rt_dispatch.so bin/lumivane-make-test-model [REPEATS]
//
// With the base model's shapes (mel 3000 x 80, output 1500 x 512) it times
//   - one whisper_corvane_encode call (conversions + set-input + execute + get-output),
//   - the stand-in's execute alone on a program of the same shapes,
//   - the engine's own encoder (convolutions + 6 layers of 512) on a test model,
// and prints the wrapper's cost (encode - execute) as a share of the engine's encode.
// Goal: under 1%. Medians over REPEATS runs (default 20; 3 for the engine's encoder).
#include "ane-dispatch.h"
#include "whisper-corvane.h"
#include "whisper.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int n_mels = 80, n_ctx = 1500, n_state = 512;
constexpr size_t mel_count = size_t(2) * n_ctx * n_mels, out_count = size_t(n_state) * n_ctx;

double now_ms() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <typename Fn>
double median_ms(int repeats, Fn && fn) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const double start = now_ms();
        fn();
        times.push_back(now_ms() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void write_encoder_dir(const fs::path & dir) {
    fs::create_directories(dir);
    std::ofstream(dir / "ports.txt") << "mel " << mel_count << "\npos " << out_count << "\nenc " << out_count << "\n";
    std::ofstream(dir / "model.mil") << "lumivane-affine 1\nframes " << n_ctx << "\nfeatures " << n_state
                                     << "\ndefault 0.5 1 0.25\n";
    std::vector<uint16_t> pos(out_count, 0x3c00);  // 1.0
    std::ofstream(dir / "pos.f16", std::ios::binary).write(reinterpret_cast<const char *>(pos.data()),
                                                           std::streamsize(pos.size() * 2));
}

// The stand-in's execute alone, on its own program of the same shapes.
double execute_only_ms(const char * standin, const fs::path & dir, int repeats) {
    void * lib = dlopen(standin, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return -1;
    auto compile = reinterpret_cast<ane_e5rt_program_compile_fn>(dlsym(lib, "ane_e5rt_program_compile"));
    auto set_input = reinterpret_cast<ane_e5rt_program_set_input_fp16_fn>(dlsym(lib, "ane_e5rt_program_set_input_fp16"));
    auto execute = reinterpret_cast<ane_e5rt_program_execute_fn>(dlsym(lib, "ane_e5rt_program_execute"));
    auto release = reinterpret_cast<ane_e5rt_program_release_fn>(dlsym(lib, "ane_e5rt_program_release"));
    const char * in_names[] = {"mel", "pos"};
    const char * out_names[] = {"enc"};
    const size_t in_sizes[] = {2 * mel_count, 2 * out_count};
    const size_t out_sizes[] = {2 * out_count};
    void * p = compile((dir / "model.mil").c_str(), (dir / "cache").c_str(), 4, in_names, in_sizes, 2,
                       out_names, out_sizes, 1);
    std::vector<uint16_t> mel(mel_count, 0x3c00), pos(out_count, 0x3c00);
    set_input(p, "mel", mel.data(), mel_count);
    set_input(p, "pos", pos.data(), out_count);
    execute(p);  // warm
    const double ms = median_ms(repeats, [&] { execute(p); });
    release(p);
    dlclose(lib);
    return ms;
}

double wrapper_encode_ms(const char * standin, const fs::path & dir, int repeats) {
    setenv("CORVANE_DYLIB", standin, 1);
    whisper_corvane_context * ctx = whisper_corvane_init(dir.c_str());
    if (!ctx || !whisper_corvane_expect_output(ctx, n_state, n_ctx)) return -1;
    std::vector<float> mel(mel_count), out(out_count);
    for (size_t i = 0; i < mel.size(); ++i) mel[i] = float(i % 977) * 0.001f - 0.4f;
    whisper_corvane_encode(ctx, 2 * n_ctx, n_mels, mel.data(), out.data());  // warm
    const double ms = median_ms(repeats, [&] { whisper_corvane_encode(ctx, 2 * n_ctx, n_mels, mel.data(), out.data()); });
    whisper_corvane_free(ctx);
    return ms;
}

// The engine's own encoder on a test model with the base model's width and depth.
double engine_encode_ms(const char * model_tool, const fs::path & tmp, int repeats, int threads) {
    const fs::path script = tmp / "base.json", model = tmp / "base.bin";
    std::ofstream(script) << R"({"dims": "base", "segments": [{"t0": 0, "t1": 100, "tokens": [" Hi"]}]})";
    std::string cmd = "'";
    cmd.append(model_tool).append("' '").append(script.string()).append("' '").append(model.string()).append("'");
    if (system(cmd.c_str()) != 0) return -1;

    whisper_log_set([](ggml_log_level, const char *, void *) {}, nullptr);
    whisper_context * ctx = whisper_init_from_file_with_params(model.c_str(), whisper_context_default_params());
    if (!ctx) return -1;
    std::vector<float> mel(size_t(2) * n_ctx * n_mels, -0.5f);
    whisper_set_mel(ctx, mel.data(), 2 * n_ctx, n_mels);
    whisper_encode(ctx, 0, threads);  // warm
    const double ms = median_ms(repeats, [&] { whisper_encode(ctx, 0, threads); });
    whisper_free(ctx);
    return ms;
}

} // namespace

int main(int argc, char ** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: lumivane-bench-corvane STANDIN.so MODEL_TOOL [REPEATS]\n");
        return 2;
    }
    unsetenv("CORVANE_ENCODER");
    unsetenv("ANE_STANDIN_TRACE");
    const int repeats = argc > 3 ? atoi(argv[3]) : 20;
    const int threads = int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));

    char tmpl[] = "/tmp/lumivane-bench-corvane-XXXXXX";
    const fs::path tmp = mkdtemp(tmpl);
    const fs::path dir = tmp / "enc";
    write_encoder_dir(dir);

    const double encode = wrapper_encode_ms(argv[1], dir, repeats);
    const double execute = execute_only_ms(argv[1], dir, repeats);
    const double engine = engine_encode_ms(argv[2], tmp, std::max(1, std::min(repeats, 3)), threads);
    fs::remove_all(tmp);
    if (encode < 0 || execute < 0 || engine < 0) {
        fprintf(stderr, "bench failed (encode %.3f, execute %.3f, engine %.3f)\n", encode, execute, engine);
        return 1;
    }
    const double wrapper = std::max(0.0, encode - execute);
    printf("shapes: mel %d x %d, output %d x %d\n", 2 * n_ctx, n_mels, n_ctx, n_state);
    printf("whisper_corvane_encode     %9.3f ms\n", encode);
    printf("stand-in execute alone     %9.3f ms\n", execute);
    printf("wrapper's own cost         %9.3f ms\n", wrapper);
    printf("engine encoder (%d threads) %9.3f ms\n", threads, engine);
    printf("wrapper / engine encoder   %9.3f %%  (goal < 1%%)\n", 100.0 * wrapper / engine);
    return 0;
}
