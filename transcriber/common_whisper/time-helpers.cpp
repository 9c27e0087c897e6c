#include "time-helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string to_timestamp(int64_t t, bool comma) {
    const int64_t hours = t / 360000;
    const int64_t m = (t % 360000) * 10;
    const int64_t minutes = m / 60000;
    const int64_t seconds = (m - minutes * 60000) / 1000;
    const int64_t millis = m - minutes * 60000 - seconds * 1000;

    char buf[64];
    snprintf(buf, sizeof(buf), "%02d:%02d:%02d%s%03d", (int) hours, (int) minutes, (int) seconds, comma ? "," : ".",
             (int) millis);
    return buf;
}

int timestamp_to_sample(int64_t t, int n_samples, int whisper_sample_rate) {
    // Limited in 64 bits before narrowing, so that times beyond the int range (over 37 hours
    // at 16 kHz) still land on the last sample instead of wrapping.
    const int64_t sample = (t * whisper_sample_rate) / 100;
    return (int) std::max<int64_t>(0, std::min<int64_t>(n_samples - 1, sample));
}

std::string estimate_diarization_speaker(const std::vector<std::vector<float>> & pcmf32s, int64_t t0, int64_t t1,
                                         bool id_only) {
    const int n_samples = (int) pcmf32s[0].size();
    const int is0 = timestamp_to_sample(t0, n_samples, 16000);
    const int is1 = timestamp_to_sample(t1, n_samples, 16000);

    double energy0 = 0.0;
    double energy1 = 0.0;
    for (int j = is0; j < is1; j++) {
        energy0 += std::fabs((double) pcmf32s[0][j]);
        energy1 += std::fabs((double) pcmf32s[1][j]);
    }

    std::string speaker;
    if (energy0 > 1.1 * energy1) {
        speaker = "0";
    } else if (energy1 > 1.1 * energy0) {
        speaker = "1";
    } else {
        speaker = "?";
    }
    return id_only ? speaker : "(speaker " + speaker + ")";
}
