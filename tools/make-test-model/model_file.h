// The engine's ggml model file: header, mel filters, vocabulary, then named tensors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct model_hparams {
    int32_t n_vocab;
    int32_t n_audio_ctx;
    int32_t n_audio_state;
    int32_t n_audio_head;
    int32_t n_audio_layer;
    int32_t n_text_ctx;
    int32_t n_text_state;
    int32_t n_text_head;
    int32_t n_text_layer;
    int32_t n_mels;
    int32_t ftype;  // 1: large matrices in f16
};

enum class tensor_type : int32_t { f32 = 0, f16 = 1 };

struct model_tensor {
    std::string name;
    tensor_type type;
    std::vector<int32_t> ne;      // ggml order: ne[0] varies fastest
    std::vector<float> values;    // converted to the tensor's type when written
};

struct model_file {
    model_hparams hparams;
    int32_t n_mel_filters;
    int32_t n_fft_bins;
    std::vector<float> mel_filters;    // n_mel_filters rows of n_fft_bins
    std::vector<std::string> vocab;    // entries by id; the engine names the rest itself
    std::vector<model_tensor> tensors;
};

// Writes the file; on failure returns false with the reason in `error`.
bool write_model_file(const model_file & model, const std::string & path, std::string & error);
