// Times read_audio_data on one input: bench_read_audio INPUT [REPEATS]
// Prints "samples=N best_ms=T" (the best of the repeats).
#include "audio-input.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char ** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_read_audio INPUT [REPEATS]\n");
        return 2;
    }
    const int repeats = argc > 2 ? atoi(argv[2]) : 3;
    double best_ms = 1e300;
    size_t samples = 0;
    for (int i = 0; i < repeats; i++) {
        std::vector<float> pcm;
        std::vector<std::vector<float>> channels;
        const auto start = std::chrono::steady_clock::now();
        if (!read_audio_data(argv[1], pcm, channels, false)) {
            return 1;
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best_ms = ms < best_ms ? ms : best_ms;
        samples = pcm.size();
    }
    printf("samples=%zu best_ms=%.1f\n", samples, best_ms);
    return 0;
}
