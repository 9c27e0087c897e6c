// Decodes one input with read_audio_data and prints what came out, for the audio tests:
//   audio_probe [--stereo] INPUT
// prints "ok samples=N channels=C mono_mean=M left_mean=L right_mean=R" or "failed".
#include "audio-input.h"

#include <cstdio>
#include <cstring>
#include <numeric>

static double mean(const std::vector<float> & v) {
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

int main(int argc, char ** argv) {
    bool stereo = argc > 2 && strcmp(argv[1], "--stereo") == 0;
    if (argc < 2 || (stereo && argc < 3)) {
        fprintf(stderr, "usage: audio_probe [--stereo] INPUT\n");
        return 2;
    }
    std::vector<float> mono;
    std::vector<std::vector<float>> channels;
    if (!read_audio_data(argv[stereo ? 2 : 1], mono, channels, stereo)) {
        printf("failed\n");
        return 1;
    }
    printf("ok samples=%zu channels=%zu mono_mean=%.6f left_mean=%.6f right_mean=%.6f\n", mono.size(),
           channels.size(), mean(mono), channels.size() > 0 ? mean(channels[0]) : 0.0,
           channels.size() > 1 ? mean(channels[1]) : 0.0);
    for (const auto & c : channels) {
        if (c.size() != mono.size()) {
            printf("channel length mismatch\n");
            return 1;
        }
    }
    return 0;
}
