// The stand-in's program format: an affine map per output feature over the mean mel
// energy of each output frame and the positional input (see README.md).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace standin {

struct feature_coefficients {
    float mel_gain = 0.0f;
    float pos_gain = 0.0f;
    float bias = 0.0f;
};

struct affine_program {
    size_t frames = 0;    // output frames T
    size_t features = 0;  // output features per frame F
    std::vector<feature_coefficients> coefficients; // one per feature
    // Port names the program insists on; empty when it takes any.
    std::string mel_name;
    std::string pos_name;
    std::string out_name;
};

// Parses a program file; false with a reason when it is unreadable or malformed.
bool parse_program_file(const char * path, affine_program & program, std::string & error);
bool parse_program_text(const std::string & text, affine_program & program, std::string & error);

bool names_match(const affine_program & program, const char * mel, const char * pos, const char * out);

// out[t*F + f] = mel_gain[f] * m(t) + pos_gain[f] * pos[(t*F + f) % n_pos] + bias[f], where
// m(t) is the mean over bands of frames 2t and 2t+1; n_mel is a multiple of 2T, n_pos > 0.
void run_affine(const affine_program & program, const _Float16 * mel, size_t n_mel,
                const _Float16 * pos, size_t n_pos, _Float16 * out);

} // namespace standin
