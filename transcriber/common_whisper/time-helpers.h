// Engine times (signed, in units of 10 ms) as text and as sample indices, and the stereo
// speaker estimate. Pure functions: no engine state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "HH:MM:SS.mmm", or with `comma` "HH:MM:SS,mmm"; hours beyond 99 take more digits.
std::string to_timestamp(int64_t t, bool comma = false);

// The sample index of time `t` at `whisper_sample_rate`, limited to [0, n_samples - 1].
int timestamp_to_sample(int64_t t, int n_samples, int whisper_sample_rate);

// "0", "1" or "?" (with `id_only`), otherwise "(speaker 0)" etc.: the channel of `pcmf32s`
// (exactly two vectors of equal length) with more than 1.1 times the other's energy over
// [t0, t1).
std::string estimate_diarization_speaker(const std::vector<std::vector<float>> & pcmf32s, int64_t t0, int64_t t1,
                                         bool id_only = false);
