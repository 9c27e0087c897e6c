// Audio input: a file path, or "-" for standard input, decoded to 16 kHz float samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ma_decoder;

// Decodes `fname` into `pcmf32` (mono, 16 kHz). With `stereo`, `pcmf32` holds the sum of the
// two channels and `pcmf32s` exactly two vectors (left, right). Messages go to standard error.
bool read_audio_data(const std::string & fname, std::vector<float> & pcmf32,
                     std::vector<std::vector<float>> & pcmf32s, bool stereo);

// The common second half for file and standard-input sources, given an opened decoder over
// `source_bytes` bytes of input. Decodes what the data really holds, and refuses a stated
// length that so few bytes cannot hold.
bool read_audio_from_decoder(ma_decoder * decoder, std::vector<float> & pcmf32,
                             std::vector<std::vector<float>> & pcmf32s, bool stereo, uint64_t source_bytes);
