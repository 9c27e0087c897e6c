// Writer cost on a synthetic result of 2,000 segments x 30 tokens: the full JSON and the
// karaoke script against the plain-text writer (best of 5 runs each), and the karaoke
// script's size with the 60-character segments the driver asks for. Run:
//   build/bench/transcriber/bench_writers
#include "synthetic_result.h"
#include "whisper-params.h"
#include "writers.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

double best_ms(const std::function<void()> & fn) {
    double best = 1e300;
    for (int i = 0; i < 5; i++) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = ms < best ? ms : best;
    }
    return best;
}

} // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / "lumivane-bench-writers";
    std::filesystem::create_directories(dir);
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

    whisper_params params;
    params.font_path = font;
    params.output_json_full = true;
    const channel_samples none;

    synthetic_result_make(2000, 30);
    auto to_file = [&](const char * name, auto write) {
        return [&, name, write] {
            std::ofstream out(dir / name, std::ios::binary);
            write(out);
        };
    };
    const double txt = best_ms(to_file("t.txt", [&](std::ofstream & o) { output_txt(nullptr, o, params, none); }));
    const double json = best_ms(to_file("t.json", [&](std::ofstream & o) { output_json(nullptr, o, params, none); }));
    const double wts = best_ms(to_file("t.wts", [&](std::ofstream & o) {
        output_wts(nullptr, o, params, none, "in.wav", 600.0f, (dir / "t.wts").string());
    }));

    printf("2000 segments x 30 tokens (best of 5)\n");
    printf("  output_txt        %9.2f ms\n", txt);
    printf("  output_json full  %9.2f ms   ratio to txt %7.1f\n", json, json / txt);
    printf("  output_wts        %9.2f ms   ratio to txt %7.1f\n", wts, wts / txt);

    // Segments of at most 60 characters: about 10 of these tokens each.
    synthetic_result_make(6000, 10);
    {
        std::ofstream out(dir / "60.wts", std::ios::binary);
        output_wts(nullptr, out, params, none, "in.wav", 1200.0f, (dir / "60.wts").string());
    }
    const auto size = std::filesystem::file_size(dir / "60.wts");
    printf("  .wts for 6000 segments of 60 characters: %.1f MiB (%.0f bytes per segment)\n",
           double(size) / (1 << 20), double(size) / 6000.0);
    std::filesystem::remove_all(dir);
    return 0;
}
